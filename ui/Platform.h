#pragma once

#include <QPoint>
#include <QString>
#include <memory>
#include <optional>

class QDialog;
class QWidget;

namespace ui {

// Every modal question and every effect outside the program goes through
// this interface, so that tests replace it and never need a person.
class Platform {
public:
    virtual ~Platform() = default;

    // A Yes/No warning question; true for Yes.
    virtual bool confirm(QWidget* parent, const QString& text) = 0;

    // The error dialog: the message, the error icon and one "Cancel" button,
    // its top-left corner at `topLeft` (global coordinates).
    virtual void showError(QWidget* parent, const QString& text, QPoint topLeft) = 0;

    // The save-file dialog with an overwrite prompt; empty when cancelled.
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& suggestedName) = 0;

    // The platform's default handler "opens" a file or a link.
    virtual void shellOpen(const QString& target) = 0;

    // Opens the help page at the section of a help context number.
    virtual void showHelp(const QString& helpFile, int helpContext) = 0;

    // Runs one of our own dialogs modally and returns its result code.
    virtual int execDialog(QDialog& dialog) = 0;

    // Shows why a server's certificate was refused and asks whether to
    // trust it all the same; true for "Trust".
    virtual bool trustCertificate(QWidget* parent, const QString& text) = 0;
};

// The platform in use; the real one unless a test installed its own.
[[nodiscard]] Platform& platform();

// Installs a replacement (tests) and returns the previous one; nullptr
// restores the real platform.
std::unique_ptr<Platform> setPlatform(std::unique_ptr<Platform> replacement);

// The real platform, backed by Qt's dialogs and QDesktopServices.
class QtPlatform : public Platform {
public:
    bool confirm(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text, QPoint topLeft) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& suggestedName) override;
    void shellOpen(const QString& target) override;
    void showHelp(const QString& helpFile, int helpContext) override;
    int execDialog(QDialog& dialog) override;
    bool trustCertificate(QWidget* parent, const QString& text) override;
};

}  // namespace ui
