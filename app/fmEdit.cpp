#include "app/fmEdit.h"

#include "app/udmAccountSecurity.h"
#include "message/IdGlobal.h"
#include "net/IdStack.h"
#include "ui/Help.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <climits>

namespace {

QFrame* rule(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* label(QWidget* parent, const char* name, const char* text) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    return l;
}

QLineEdit* edit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

// Whether `host` names this machine, where a plain password never leaves it.
bool isLoopback(const QString& host) {
    const QString h = host.trimmed();
    if (h.isEmpty() || h.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) return true;
    return TIdStack::IsIP(ui::fromQString(h)) && h.startsWith(QStringLiteral("127."));
}

// The stored bytes stay as they were unless the user changed the text.
std::string keepBytes(const std::string& original, const QString& text) {
    return ui::toQString(original) == text ? original : ui::fromQString(text);
}

}  // namespace

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
    setRange(INT_MIN, INT_MAX);
    setSingleStep(1);
}

QValidator::State TSpinEdit::validate(QString&, int&) const { return QValidator::Acceptable; }

int TSpinEdit::valueFromText(const QString& text) const {
    return StrToIntDef(ui::fromQString(text), 0);
}

Tfedit::Tfedit(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fedit"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    ui::setHelpContext(this, kAccountHelpContext);
    setWindowIcon(QIcon(QStringLiteral(":/icons/account.png")));
    setFixedSize(358, 398);

    auto* layout = new QVBoxLayout(this);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(CreatePage(), QStringLiteral("General"));
    layout->addWidget(PageControl1);

    auto* buttons = new QHBoxLayout;
    Label7 = label(this, "Label7", "F1 - Help");
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Storno"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);
    buttons->addWidget(Label7);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    eAddress->installEventFilter(this);
    QWidget::setTabOrder(eAddress, eUser);
    QWidget::setTabOrder(eUser, ePassw);
    QWidget::setTabOrder(ePassw, eHost);
    QWidget::setTabOrder(eHost, ePort);
    QWidget::setTabOrder(ePort, cbSecurity);
    QWidget::setTabOrder(cbSecurity, Button1);
    QWidget::setTabOrder(Button1, Button2);
    eAddress->setFocus();
}

QWidget* Tfedit::CreatePage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet1"));
    auto* layout = new QVBoxLayout(page);

    auto* title = new QHBoxLayout;
    Image1 = new QLabel(page);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(32, 32);
    Image1->setPixmap(QIcon(QStringLiteral(":/icons/account.png")).pixmap(32, 32));
    Label6 = label(page, "Label6", "e-Mail account properties");
    QFont bold = Label6->font();
    bold.setBold(true);
    Label6->setFont(bold);
    title->addWidget(Image1);
    title->addWidget(Label6, 1);
    layout->addLayout(title);
    layout->addWidget(rule(page));

    Label1 = label(page, "Label1", "e-Mail address:");
    eAddress = edit(page, "eAddress");
    eAddress->setFont(bold);
    layout->addWidget(Label1);
    layout->addWidget(eAddress);
    layout->addWidget(rule(page));

    auto* login = new QGridLayout;
    Label2 = label(page, "Label2", "User name:");
    eUser = edit(page, "eUser");
    Label3 = label(page, "Label3", "Password:");
    ePassw = edit(page, "ePassw");
    ePassw->setEchoMode(QLineEdit::Password);
    ePassw->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    login->addWidget(Label2, 0, 0);
    login->addWidget(eUser, 0, 1);
    login->addWidget(Label3, 1, 0);
    login->addWidget(ePassw, 1, 1);
    layout->addLayout(login);
    layout->addWidget(rule(page));

    auto* server = new QGridLayout;
    Label4 = label(page, "Label4", "POP3 server:");
    eHost = edit(page, "eHost");
    Label5 = label(page, "Label5", "Port");
    ePort = new TSpinEdit(page);
    ePort->setObjectName(QStringLiteral("ePort"));
    server->addWidget(Label4, 0, 0);
    server->addWidget(eHost, 0, 1);
    server->addWidget(Label5, 1, 0);
    server->addWidget(ePort, 1, 1, Qt::AlignLeft);
    CreateSecurity(server, page);
    layout->addLayout(server);
    layout->addStretch();
    return page;
}

void Tfedit::CreateSecurity(QGridLayout* server, QWidget* page) {
    Label8 = label(page, "Label8", "Security");
    cbSecurity = new QComboBox(page);
    cbSecurity->setObjectName(QStringLiteral("cbSecurity"));
    for (const TIdUseTLS mode : {TIdUseTLS::utNoTLS, TIdUseTLS::utImplicitTLS, TIdUseTLS::utStartTLS})
        cbSecurity->addItem(QString::fromLatin1(SecurityModeName(mode)), static_cast<int>(mode));
    Label9 = label(page, "Label9", "The password is sent unencrypted.");
    Label9->setWordWrap(true);
    server->addWidget(Label8, 2, 0);
    server->addWidget(cbSecurity, 2, 1, Qt::AlignLeft);
    server->addWidget(Label9, 3, 0, 1, 2);
    // Only the user's own pick counts as a choice, not one the port made.
    connect(cbSecurity, &QComboBox::activated, this, [this] {
        FSecurityChosen = true;
        UpdateSecurityWarning();
    });
    connect(ePort, &QSpinBox::valueChanged, this, [this] { ePortChange(); });
    connect(eHost, &QLineEdit::textChanged, this, [this] { UpdateSecurityWarning(); });
    UpdateSecurityWarning();
}

TIdUseTLS Tfedit::SecurityValue() const { return static_cast<TIdUseTLS>(cbSecurity->currentData().toInt()); }

void Tfedit::SetSecurity(TIdUseTLS mode, bool chosen) {
    cbSecurity->setCurrentIndex(cbSecurity->findData(static_cast<int>(mode)));
    FSecurityChosen = chosen;
    UpdateSecurityWarning();
}

void Tfedit::ePortChange() {
    if (FSecurityChosen) return;
    const int port = PortValue();
    if (port == 995) SetSecurity(TIdUseTLS::utImplicitTLS, false);
    if (port == 110) SetSecurity(TIdUseTLS::utNoTLS, false);
}

void Tfedit::UpdateSecurityWarning() {
    Label9->setVisible(SecurityValue() == TIdUseTLS::utNoTLS && !isLoopback(eHost->text()));
}

bool Tfedit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == eAddress.data() && event->type() == QEvent::FocusOut) eAddressExit();
    return QDialog::eventFilter(watched, event);
}

void Tfedit::Button1Click() {
    if (eAddress->text().isEmpty()) return;
    accept();
}

void Tfedit::eAddressExit() {
    const QString address = eAddress->text();
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at < 1) return;
    if (eUser->text().isEmpty()) eUser->setText(address.left(at));
    if (eHost->text().isEmpty()) eHost->setText(address.mid(at + 1));
}

int Tfedit::PortValue() const { return StrToIntDef(ui::fromQString(ePort->text()), 0); }

int EditAccountDialog(QWidget* parent, TPOP3Rec& rec, const QString& caption) {
    Tfedit dialog(parent);
    dialog.setWindowTitle(caption);
    dialog.eAddress->setText(ui::toQString(rec.Name));
    dialog.eHost->setText(ui::toQString(rec.Host));
    dialog.eUser->setText(ui::toQString(rec.UserName));
    dialog.ePassw->setText(ui::toQString(rec.Password));
    dialog.ePort->setValue(rec.Port);
    // A mode other than the one its port suggests was the user's choice.
    dialog.SetSecurity(rec.Security.Mode,
                       rec.Security.Mode != DefaultSecurity(std::to_string(rec.Port)).Mode);
    if (ui::platform().execDialog(dialog) != QDialog::Accepted) return QDialog::Rejected;
    const std::string oldHost = rec.Host;
    const std::int32_t oldPort = rec.Port;
    rec.Name = keepBytes(rec.Name, dialog.eAddress->text());
    rec.Host = keepBytes(rec.Host, dialog.eHost->text());
    rec.UserName = keepBytes(rec.UserName, dialog.eUser->text());
    rec.Password = keepBytes(rec.Password, dialog.ePassw->text());
    rec.Port = dialog.PortValue();
    rec.Security.Mode = dialog.SecurityValue();
    // A certificate was trusted for one server only.
    if (rec.Host != oldHost || rec.Port != oldPort) rec.Security.TrustedFingerprint.clear();
    return QDialog::Accepted;
}
