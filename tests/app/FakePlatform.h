#pragma once

// A ui::Platform that records what the program asked of the desktop and
// answers from the test's script, so that window tests never need a person.
#include "ui/Platform.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class FakePlatform : public ui::Platform {
public:
    struct Error {
        QString text;
        QPoint topLeft;
    };

    std::vector<Error> errors;
    std::vector<QString> confirmations;
    std::vector<QString> opened;
    std::vector<std::pair<QString, int>> help;
    std::vector<QString> dialogs;
    std::vector<QString> trustQuestions;
    bool trustAnswer = false;

    bool confirmAnswer = true;
    std::optional<QString> saveAnswer;
    std::vector<QString> saveSuggestions;
    // Drives a dialog while it is shown; it may fill fields and click
    // buttons. Without it the dialog is cancelled.
    std::function<void(QDialog&)> onDialog;

    bool confirm(QWidget*, const QString& text) override {
        confirmations.push_back(text);
        return confirmAnswer;
    }
    void showError(QWidget*, const QString& text, QPoint topLeft) override {
        errors.push_back({text, topLeft});
    }
    std::optional<QString> saveFileName(QWidget*, const QString& suggested) override {
        saveSuggestions.push_back(suggested);
        return saveAnswer;
    }
    void shellOpen(const QString& target) override { opened.push_back(target); }
    void showHelp(const QString& helpFile, int helpContext) override {
        help.emplace_back(helpFile, helpContext);
    }
    bool trustCertificate(QWidget*, const QString& text) override {
        trustQuestions.push_back(text);
        return trustAnswer;
    }
    int execDialog(QDialog& dialog) override {
        dialogs.push_back(dialog.objectName());
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        if (onDialog) onDialog(dialog);
        const int result = dialog.result();
        dialog.hide();
        return result;
    }
};

// Installs a FakePlatform for the lifetime of the object.
class FakePlatformScope {
public:
    FakePlatformScope() {
        auto fake = std::make_unique<FakePlatform>();
        fake_ = fake.get();
        previous_ = ui::setPlatform(std::move(fake));
    }
    ~FakePlatformScope() { ui::setPlatform(std::move(previous_)); }
    FakePlatformScope(const FakePlatformScope&) = delete;
    FakePlatformScope& operator=(const FakePlatformScope&) = delete;

    FakePlatform* operator->() const { return fake_; }
    FakePlatform& operator*() const { return *fake_; }

private:
    FakePlatform* fake_ = nullptr;
    std::unique_ptr<ui::Platform> previous_;
};
