#pragma once

#include "ui/CommandGuard.h"
#include "ui/Platform.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

// A platform that never blocks: execDialog hands the dialog to the test's
// callback, which drives it and closes it, and then returns its result.
// Help requests and reported errors are recorded.
class SpamFakePlatform : public ui::Platform {
public:
    std::function<void(QDialog&)> onDialog;
    std::vector<std::pair<QString, int>> helpRequests;

    bool confirm(QWidget*, const QString&) override { return false; }
    void showError(QWidget*, const QString&, QPoint) override {}
    std::optional<QString> saveFileName(QWidget*, const QString&) override { return std::nullopt; }
    void shellOpen(const QString&) override {}
    bool trustCertificate(QWidget*, const QString&) override { return false; }
    void showHelp(const QString& helpFile, int helpContext) override {
        helpRequests.emplace_back(helpFile, helpContext);
    }
    int execDialog(QDialog& dialog) override {
        if (onDialog) onDialog(dialog);
        return dialog.result();
    }
};

// Installs a SpamFakePlatform and an error collector for the lifetime of
// the object, and puts the real ones back afterwards.
class SpamPlatformScope {
public:
    SpamPlatformScope() {
        auto platform = std::make_unique<SpamFakePlatform>();
        fake = platform.get();
        ui::setPlatform(std::move(platform));
        previousHandler_ = ui::setExceptionHandler(
            [this](const std::exception& error) { errors.emplace_back(error.what()); });
    }
    ~SpamPlatformScope() {
        ui::setExceptionHandler(std::move(previousHandler_));
        ui::setPlatform(nullptr);
    }
    SpamPlatformScope(const SpamPlatformScope&) = delete;
    SpamPlatformScope& operator=(const SpamPlatformScope&) = delete;

    SpamFakePlatform* fake = nullptr;
    std::vector<std::string> errors;

private:
    ui::ExceptionHandler previousHandler_;
};
