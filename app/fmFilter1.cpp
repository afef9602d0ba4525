#include "app/fmFilter1.h"

#include "message/IdGlobal.h"
#include "ui/CommandGuard.h"
#include "ui/Help.h"
#include "ui/Paths.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>

#include <limits>

namespace {

constexpr int kHelpContext = 40;

QLabel* label(QWidget* parent, const char* name, QRect bounds, bool bold, Qt::Alignment align) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setAlignment(align | Qt::AlignVCenter);
    l->setWordWrap(true);
    if (bold) {
        QFont font = l->font();
        font.setBold(true);
        l->setFont(font);
    }
    l->setGeometry(bounds);
    return l;
}

// A spin edit that steps by 1 and imposes no bound of its own.
QSpinBox* spinEdit(QWidget* parent, const char* name, QRect bounds, int value) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QLatin1String(name));
    spin->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    spin->setSingleStep(1);
    spin->setValue(value);
    spin->setGeometry(bounds);
    return spin;
}

int integerOf(const QSpinBox* spin) { return StrToIntDef(ui::fromQString(spin->cleanText()), 0); }

}  // namespace

TfFilter1::TfFilter1(const TSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setObjectName(QStringLiteral("fFilter1"));
    ui::setHelpContext(this, kHelpContext);
    setFixedSize(365, 342);
    createControls();
    cEmpty->setChecked(settings.SubjectEmpty);
    SetEnglishTexts();
}

TfFilter1::~TfFilter1() = default;

bool TfFilter1::Execute(QWidget* parent, TSettings& settings) {
    TfFilter1 dialog(settings, parent);
    if (ui::platform().execDialog(dialog) != QDialog::Accepted) return false;
    settings = dialog.Values();
    return true;
}

void TfFilter1::createControls() {
    const Qt::Alignment right = Qt::AlignRight;
    Label1 = label(this, "Label1", QRect(12, 16, 300, 20), true, Qt::AlignLeft);
    Label5 = label(this, "Label5", QRect(12, 64, 230, 20), false, right);
    cEmpty = new QCheckBox(this);
    cEmpty->setObjectName(QStringLiteral("cEmpty"));
    cEmpty->setGeometry(252, 64, 20, 20);
    Label2 = label(this, "Label2", QRect(12, 104, 230, 40), false, right);
    eRecpt = spinEdit(this, "eRecpt", QRect(252, 112, 80, 24), settings_.Recipients);
    Label3 = label(this, "Label3", QRect(12, 160, 230, 40), false, right);
    eLen = spinEdit(this, "eLen", QRect(252, 168, 80, 24), settings_.MailMaxLen);
    Label4 = label(this, "Label4", QRect(336, 168, 24, 24), true, Qt::AlignLeft);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    Image1->setGeometry(321, 8, 32, 32);
    Button1 = new QPushButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(96, 296, 82, 28);
    Button2 = new QPushButton(this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(188, 296, 82, 28);
    connect(Button1, &QPushButton::clicked, this, ui::guarded([this] { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    for (QWidget* w : {static_cast<QWidget*>(cEmpty), static_cast<QWidget*>(eRecpt),
                       static_cast<QWidget*>(eLen)})
        ui::setEnterMovesOn(w);
    QWidget::setTabOrder(cEmpty, eRecpt);
    QWidget::setTabOrder(eRecpt, eLen);
    QWidget::setTabOrder(eLen, Button1);
    QWidget::setTabOrder(Button1, Button2);
}

void TfFilter1::SetEnglishTexts() {
    setWindowTitle(QStringLiteral("SPAM General Rules"));
    Label1->setText(QStringLiteral("Each mail is suspicious IF:"));
    Label5->setText(QStringLiteral("Has empty subject"));
    Label2->setText(QStringLiteral("Is for more than one receiver...(in-mass mail)"));
    Label3->setText(QStringLiteral("Is larger than...(immoderate large attachments(size))"));
    Label4->setText(QStringLiteral("kB"));
    Button1->setText(QStringLiteral("OK"));
    Button2->setText(QStringLiteral("Storno"));
}

TSettings TfFilter1::Values() const {
    TSettings values = settings_;
    values.SubjectEmpty = cEmpty->isChecked();
    values.Recipients = integerOf(eRecpt);
    values.MailMaxLen = integerOf(eLen);
    return values;
}

void TfFilter1::Button1Click() { accept(); }

