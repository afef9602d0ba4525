#include "app/fmAbout.h"

#include "app/fmMain.h"
#include "ui/Platform.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

// The build passes these in (CMakeLists.txt); a build without them still
// says what it is.
#ifndef SKIMLET_VERSION
#define SKIMLET_VERSION "0"
#endif
#ifndef SKIMLET_BUILD_DATE
#define SKIMLET_BUILD_DATE "000000"
#endif
#ifndef SKIMLET_REVISION
#define SKIMLET_REVISION "unknown"
#endif

namespace {

QLabel* label(QWidget* parent, const char* name, const QRect& bounds) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(bounds);
    return label;
}

TLinkLabel* link(QWidget* parent, const char* name, const QRect& bounds) {
    auto* link = new TLinkLabel(parent);
    link->setObjectName(QString::fromLatin1(name));
    link->setGeometry(bounds);
    QFont font = link->font();
    font.setBold(true);
    link->setFont(font);
    QPalette palette = link->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    link->setPalette(palette);
    return link;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setFixedSize(371, 252);
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(8, 8, 358, 209);
    Panel1->setFont(QFont(QStringLiteral("Times New Roman")));
    ProgramIcon = label(Panel1, "ProgramIcon", QRect(8, 8, 32, 32));
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(QPixmap(QStringLiteral(":/icons/skimlet.png")));
    ProductName = label(Panel1, "ProductName", QRect(56, 8, 290, 21));
    QFont title(QStringLiteral("Times New Roman"));
    title.setBold(true);
    title.setPixelSize(19);
    ProductName->setFont(title);
    Panel2 = new QFrame(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::HLine | QFrame::Plain);
    Panel2->setGeometry(48, 32, 300, 1);
    Comments = label(Panel1, "Comments", QRect(48, 46, 297, 77));
    Comments->setWordWrap(true);
    QFont body(QStringLiteral("Times New Roman"));
    body.setPixelSize(13);
    Comments->setFont(body);
    Copyright = label(Panel1, "Copyright", QRect(144, 142, 206, 16));
    QFont bold = Copyright->font();
    bold.setBold(true);
    Copyright->setFont(bold);
    www = link(Panel1, "www", QRect(144, 160, 206, 16));
    eml = link(Panel1, "eml", QRect(144, 176, 206, 16));
    OKButton = new QPushButton(this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(271, 224, 75, 25);
    // The default button takes Enter; Esc closes a dialog as well.
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(www, &TLinkLabel::clicked, this, [this] { wwwClick(); });
    connect(eml, &TLinkLabel::clicked, this, [this] { emlClick(); });
    FormCreate();
}

void TAboutBox::FormCreate() {
    setWindowTitle(QStringLiteral("About ..."));
    ProductName->setText(QStringLiteral("Skimlet"));
    Comments->setText(VersionLine() + QStringLiteral(
        "\nCheck of messages on the POP3 server with ability to delete message from the server, without "
        "urgency to download it. Next, you can safely download attachments due to that it don't try to run "
        "any of them."));
    Copyright->setText(QStringLiteral("Copyright (C) the Skimlet developers"));
    www->setText(QStringLiteral("https://skimlet.example.org/"));
    eml->setText(QStringLiteral("skimlet@example.org"));
    OKButton->setText(QStringLiteral("OK"));
}

void TAboutBox::Execute(QWidget* parent) {
    TAboutBox box(parent);
    ui::platform().execDialog(box);
}

QString TAboutBox::VersionLine() {
    return QStringLiteral("Version " SKIMLET_VERSION " EN build " SKIMLET_BUILD_DATE "-" SKIMLET_REVISION);
}

void TAboutBox::wwwClick() { ui::platform().shellOpen(www->text()); }

void TAboutBox::emlClick() { ui::platform().shellOpen(QStringLiteral("mailto:") + eml->text()); }
