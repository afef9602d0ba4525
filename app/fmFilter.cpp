#include "app/fmFilter.h"

#include "app/LineList.h"
#include "app/fmFilterFriends.h"
#include "app/udmSpam.h"
#include "ui/CommandGuard.h"
#include "ui/Help.h"
#include "ui/Paths.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

#include <QButtonGroup>
#include <QByteArray>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>

#include <algorithm>

namespace {

constexpr int kHelpContext = 50;
constexpr int kMaxWordLength = 255;
// The test field names at most this many matching rules.
constexpr std::size_t kNamedHits = 3;

const char* const kMemoText =
    "During testing is applied special algorithm that cantake measure of SPAM's feints.For "
    "example word \"viagra\" is usually written as \"V-i-a-g-r-a\", \"Vi@gra\" etc. Simple "
    "test can't detect this, that means you would have to add every form of word. Using this "
    "program you do not have to do this. It's just needs to write only one word of SPAM form "
    "and additional forms you do not have to write.";

// `caption`, then the rule lines that match the message, or "no rule".
QString hitsText(const char* caption, const std::vector<std::string>& lines, const TSpamMessageView& message) {
    QStringList named;
    std::size_t hits = 0;
    for (const std::string& line : lines) {
        if (!MatchMailFilter(line, message)) continue;
        if (++hits <= kNamedHits) named << QLatin1Char('"') + ui::toQString(line) + QLatin1Char('"');
    }
    QString text = QLatin1String(caption) + (hits == 0 ? QStringLiteral("no rule") : named.join(QStringLiteral(", ")));
    if (hits > kNamedHits) text += QStringLiteral(" and %1 more").arg(hits - kNamedHits);
    return text;
}

QLabel* boldLabel(QWidget* parent, const char* name, QRect bounds) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setGeometry(bounds);
    return label;
}

}  // namespace

bool IsRefusedWordKey(QChar ch) {
    if (ch.unicode() < 0x80) return IsSpamSeparator(static_cast<unsigned char>(ch.unicode()));
    static const QChar byteFF = ui::fromWindows1250("\xFF").at(0);
    return ch == byteFF;
}

Tffilter::Tffilter(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ffilter"));
    ui::setHelpContext(this, kHelpContext);
    setFixedSize(572, 393);
    createPages();
    setTabOrder();
    FormCreate();
}

Tffilter::~Tffilter() = default;

void Tffilter::Execute(QWidget* parent) {
    Tffilter dialog(parent);
    ui::platform().execDialog(dialog);
}

// The word list and the friends list on pages of their own; "Close" below
// them serves both.
void Tffilter::createPages() {
    Pages = new QTabWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    Pages->setGeometry(4, 4, 564, 352);
    auto* words = new QWidget(Pages);
    words->setObjectName(QStringLiteral("WordsPage"));
    createControls(words);
    createTester(words);
    createButtons(words);
    Pages->addTab(words, QString());
    FriendsPage = new TFriendsPage(Pages);
    Pages->addTab(FriendsPage, QString());
}

void Tffilter::createControls(QWidget* page) {
    ListBox = new TLineList(page);
    ListBox->setObjectName(QStringLiteral("ListBox"));
    ListBox->setGeometry(4, 4, 277, 190);
    Label1 = boldLabel(page, "Label1", QRect(292, 4, 200, 16));
    rSubj = new QRadioButton(page);
    rSubj->setObjectName(QStringLiteral("rSubj"));
    rSubj->setGeometry(304, 22, 220, 18);
    rAddr = new QRadioButton(page);
    rAddr->setObjectName(QStringLiteral("rAddr"));
    rAddr->setGeometry(304, 42, 220, 18);
    Label2 = boldLabel(page, "Label2", QRect(292, 66, 200, 16));
    eText = new QLineEdit(page);
    eText->setObjectName(QStringLiteral("eText"));
    eText->setMaxLength(kMaxWordLength);
    eText->setGeometry(292, 84, 264, 22);
    Label3 = boldLabel(page, "Label3", QRect(292, 112, 220, 16));
    rContent = new QRadioButton(page);
    rContent->setObjectName(QStringLiteral("rContent"));
    rContent->setGeometry(304, 130, 220, 18);
    rStart = new QRadioButton(page);
    rStart->setObjectName(QStringLiteral("rStart"));
    rStart->setGeometry(304, 150, 220, 18);
    // Two independent choices on one parent: each pair is its own group.
    kindGroup_ = new QButtonGroup(this);
    kindGroup_->addButton(rSubj);
    kindGroup_->addButton(rAddr);
    methodGroup_ = new QButtonGroup(this);
    methodGroup_->addButton(rContent);
    methodGroup_->addButton(rStart);
    rSubj->setChecked(true);
    rContent->setChecked(true);
    createExplanation(page);
    for (QWidget* w : {static_cast<QWidget*>(rSubj), static_cast<QWidget*>(rAddr),
                       static_cast<QWidget*>(rContent), static_cast<QWidget*>(rStart),
                       static_cast<QWidget*>(ListBox), static_cast<QWidget*>(eText)})
        ui::setEnterMovesOn(w);
    eText->installEventFilter(this);
}

void Tffilter::createExplanation(QWidget* page) {
    Label5 = boldLabel(page, "Label5", QRect(292, 176, 200, 16));
    Memo1 = new QPlainTextEdit(page);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setFocusPolicy(Qt::NoFocus);
    QPalette palette = Memo1->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    Memo1->setPalette(palette);
    Memo1->setGeometry(292, 194, 264, 96);
    Image1 = new QLabel(page);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    Image1->setGeometry(524, 4, 32, 32);
}

// The test field below the list: what the typed text normalises to, and
// which rules it would meet as a subject and as a sender.
void Tffilter::createTester(QWidget* page) {
    Label6 = boldLabel(page, "Label6", QRect(4, 200, 277, 16));
    eTry = new QLineEdit(page);
    eTry->setObjectName(QStringLiteral("eTry"));
    eTry->setGeometry(4, 218, 277, 22);
    ui::setEnterMovesOn(eTry);
    const auto label = [page](const char* name, QRect bounds) {
        auto* l = new QLabel(page);
        l->setObjectName(QLatin1String(name));
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setGeometry(bounds);
        return l;
    };
    lNormal = label("lNormal", QRect(4, 244, 277, 16));
    lSubjectHits = label("lSubjectHits", QRect(4, 262, 277, 30));
    lSenderHits = label("lSenderHits", QRect(4, 294, 277, 30));
    connect(eTry, &QLineEdit::textChanged, this, ui::guarded([this] { eTryChange(); }));
}

void Tffilter::createButtons(QWidget* page) {
    const auto button = [](QWidget* parent, const char* name, QRect bounds) {
        auto* b = new QPushButton(parent);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(bounds);
        return b;
    };
    Button1 = button(page, "Button1", QRect(292, 296, 82, 26));
    Button2 = button(page, "Button2", QRect(383, 296, 82, 26));
    Button4 = button(page, "Button4", QRect(474, 296, 82, 26));
    // "Close" closes the dialog from either page.
    Button3 = button(this, "Button3", QRect(482, 362, 82, 26));
    // Enter in the Delete button moves on instead of deleting.
    Button4->setAutoDefault(false);
    ui::setEnterMovesOn(Button4);
    connect(Button1, &QPushButton::clicked, this, ui::guarded([this] { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this, ui::guarded([this] { Button2Click(); }));
    connect(Button4, &QPushButton::clicked, this, ui::guarded([this] { Button4Click(); }));
    connect(Button3, &QPushButton::clicked, this, &QDialog::reject);
    // Only the user's own moves in the list count as a click; selecting a
    // row from code (Add, Delete) leaves the editor alone.
    connect(ListBox, &TLineList::rowClicked, this, ui::guarded([this] { ListBoxClick(); }));
}

void Tffilter::setTabOrder() {
    QWidget::setTabOrder(rSubj, rAddr);
    QWidget::setTabOrder(rAddr, eText);
    QWidget::setTabOrder(eText, rContent);
    QWidget::setTabOrder(rContent, rStart);
    QWidget::setTabOrder(rStart, Button1);
    QWidget::setTabOrder(Button1, Button2);
    QWidget::setTabOrder(Button2, Button4);
    QWidget::setTabOrder(Button4, Button3);
    QWidget::setTabOrder(Button3, ListBox);
    QWidget::setTabOrder(ListBox, eTry);
}

void Tffilter::FormCreate() {
    // A file that cannot be read is reported on its own, so that the
    // dialog still gets its texts and opens with an empty list.
    ui::runGuarded([this] { ListBox->AddLines(ReadFilterFile(FiltersFilePath())); });
    Button2->setEnabled(ListBox->SelectedIndex() >= 0);
    SetEnglishTexts();
    eTryChange();
}

void Tffilter::SetEnglishTexts() {
    setWindowTitle(QStringLiteral("Spam filter"));
    Pages->setTabText(0, QStringLiteral("Spam words"));
    Pages->setTabText(1, QStringLiteral("Friends"));
    Label6->setText(QStringLiteral("Try a text:"));
    Label1->setText(QStringLiteral("Filter:"));
    rSubj->setText(QStringLiteral("Subject"));
    rAddr->setText(QStringLiteral("Address of sender (from)"));
    Label2->setText(QStringLiteral("Text:"));
    Label3->setText(QStringLiteral("Method of filtering:"));
    rContent->setText(QStringLiteral("Text contains..."));
    rStart->setText(QStringLiteral("Text begin on..."));
    Label5->setText(QStringLiteral("Important"));
    Button1->setText(QStringLiteral("Add"));
    Button2->setText(QStringLiteral("Save"));
    Button4->setText(QStringLiteral("Delete"));
    Button3->setText(QStringLiteral("Close"));
    Memo1->clear();
    Memo1->setPlainText(QString::fromLatin1(kMemoText));
}

std::vector<std::string> Tffilter::Lines() const { return ListBox->Lines(); }

void Tffilter::ListBoxClick() {
    const int index = ListBox->SelectedIndex();
    Button2->setEnabled(index >= 0);
    rSubj->setChecked(true);
    rContent->setChecked(true);
    eText->clear();
    if (index < 0 || index >= ListBox->count()) return;
    const TMailFilter rule = ParseMailFilter(ListBox->LineAt(index));
    (rule.Kind == fkAddress ? rAddr : rSubj)->setChecked(true);
    eText->setText(ui::toQString(rule.FilterText));
    (rule.Contains ? rContent : rStart)->setChecked(true);
}

std::string Tffilter::ComposeLine() const {
    std::string line = rSubj->isChecked() ? "Subject: " : "Address: ";
    line += rContent->isChecked() ? "%" : "=";
    return line + ui::fromQString(eText->text());
}

bool Tffilter::TextIsBlank() const {
    // Trimming removes spaces and control characters from both ends, so
    // the text is blank when nothing else is in it.
    const std::string text = ui::fromQString(eText->text());
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

// The test field follows the list, so it is shown anew with every write.
void Tffilter::SaveToFile() {
    eTryChange();
    WriteFilterFile(FiltersFilePath(), Lines());
}

void Tffilter::Button1Click() {
    if (TextIsBlank()) return;
    ListBox->AddUnique(ComposeLine());
    // Written also for a duplicate, so the file always mirrors the list.
    SaveToFile();
}

void Tffilter::Button2Click() {
    if (TextIsBlank()) return;
    ListBox->ReplaceSelected(ComposeLine());
    SaveToFile();
}

void Tffilter::Button4Click() {
    ListBox->DeleteSelected();
    SaveToFile();
}

void Tffilter::eTryChange() {
    const std::string text = ui::fromQString(eTry->text());
    lNormal->setText(QStringLiteral("Normalised: ") + ui::toQString(NormalizeSpamText(text)));
    TSpamMessageView asSubject;
    asSubject.Subject = text;
    TSpamMessageView asSender;
    asSender.FromAddress = text;
    const std::vector<std::string> lines = Lines();
    lSubjectHits->setText(hitsText("As subject: ", lines, asSubject));
    lSenderHits->setText(hitsText("As sender: ", lines, asSender));
}

bool Tffilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == eText && event->type() == QEvent::KeyPress) {
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        if (std::any_of(typed.begin(), typed.end(), IsRefusedWordKey)) return true;
    }
    return QDialog::eventFilter(watched, event);
}
