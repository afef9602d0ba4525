#include "ui/Platform.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace ui {
namespace {

std::unique_ptr<Platform>& current() {
    static std::unique_ptr<Platform> instance = std::make_unique<QtPlatform>();
    return instance;
}

QUrl urlOf(const QString& target) {
    const QUrl url(target);
    // A plain path opens as a local file; anything with a scheme (http:,
    // mailto:) is handed over as it is.
    if (url.scheme().size() > 1) return url;
    return QUrl::fromLocalFile(target);
}

}  // namespace

Platform& platform() { return *current(); }

std::unique_ptr<Platform> setPlatform(std::unique_ptr<Platform> replacement) {
    auto previous = std::move(current());
    current() = replacement ? std::move(replacement) : std::make_unique<QtPlatform>();
    return previous;
}

bool QtPlatform::confirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

void QtPlatform::showError(QWidget* parent, const QString& text, QPoint topLeft) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Cancel,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.move(topLeft);
    box.exec();
}

std::optional<QString> QtPlatform::saveFileName(QWidget* parent, const QString& suggestedName) {
    const QString name = QFileDialog::getSaveFileName(parent, QString(), suggestedName);
    if (name.isEmpty()) return std::nullopt;
    return name;
}

void QtPlatform::shellOpen(const QString& target) { QDesktopServices::openUrl(urlOf(target)); }

void QtPlatform::showHelp(const QString& helpFile, int helpContext) {
    QUrl url = QUrl::fromLocalFile(helpFile);
    url.setFragment(QStringLiteral("context-%1").arg(helpContext));
    QDesktopServices::openUrl(url);
}

int QtPlatform::execDialog(QDialog& dialog) { return dialog.exec(); }

bool QtPlatform::trustCertificate(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Certificate not accepted"), text, QMessageBox::NoButton,
                    parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton* trust = box.addButton(QStringLiteral("Trust"), QMessageBox::AcceptRole);
    // Refusing is what Enter and Esc do: trusting takes a deliberate click.
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == trust;
}

}  // namespace ui
