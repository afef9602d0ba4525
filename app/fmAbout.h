#pragma once

#include <QDialog>
#include <QPointer>

class QFrame;
class QLabel;
class QPushButton;
class TLinkLabel;

// The About box: the product name, the version of this build and a short
// description, and two links to the makers, a web page and a mail address.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // Opens the box modally; it is gone when it closes.
    static void Execute(QWidget* parent);

    // The first line of Comments: "Version ", the program's version, " EN
    // build ", then the build's date (yymmdd) and revision.
    [[nodiscard]] static QString VersionLine();

    // The web page and "mailto:" with the mail address, to the platform's
    // default handlers.
    void wwwClick();
    void emlClick();

    QPointer<QFrame> Panel1;
    QPointer<QLabel> ProgramIcon;
    QPointer<QLabel> ProductName;
    QPointer<QFrame> Panel2;
    QPointer<QLabel> Comments;
    QPointer<QLabel> Copyright;
    QPointer<TLinkLabel> www;
    QPointer<TLinkLabel> eml;
    QPointer<QPushButton> OKButton;

private:
    void FormCreate();
};
