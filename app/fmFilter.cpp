#include "app/fmFilter.h"

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
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QRadioButton>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int kHelpContext = 50;
constexpr int kMaxWordLength = 255;

// The row's stored bytes ride in the item, so that a row read from the file
// is written back byte for byte, whatever its encoding.
constexpr int kLineRole = Qt::UserRole;

const char* const kMemoText =
    "During testing is applied special algorithm that cantake measure of SPAM's feints.For "
    "example word \"viagra\" is usually written as \"V-i-a-g-r-a\", \"Vi@gra\" etc. Simple "
    "test can't detect this, that means you would have to add every form of word. Using this "
    "program you do not have to do this. It's just needs to write only one word of SPAM form "
    "and additional forms you do not have to write.";

std::string lineOf(const QListWidgetItem* item) {
    const QByteArray bytes = item->data(kLineRole).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void setLine(QListWidgetItem* item, const std::string& line) {
    item->setText(ui::toQString(line));
    item->setData(kLineRole, QByteArray(line.data(), static_cast<qsizetype>(line.size())));
}

// Equal when letter case (ASCII a to z) is ignored.
bool sameLineIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
        return upper(x) == upper(y);
    });
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
    createControls();
    createButtons();
    setTabOrder();
    FormCreate();
}

Tffilter::~Tffilter() = default;

void Tffilter::Execute(QWidget* parent) {
    Tffilter dialog(parent);
    ui::platform().execDialog(dialog);
}

void Tffilter::createControls() {
    ListBox = new QListWidget(this);
    ListBox->setObjectName(QStringLiteral("ListBox"));
    ListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox->setGeometry(8, 8, 281, 377);
    Label1 = boldLabel(this, "Label1", QRect(300, 8, 200, 16));
    rSubj = new QRadioButton(this);
    rSubj->setObjectName(QStringLiteral("rSubj"));
    rSubj->setGeometry(312, 26, 220, 18);
    rAddr = new QRadioButton(this);
    rAddr->setObjectName(QStringLiteral("rAddr"));
    rAddr->setGeometry(312, 46, 220, 18);
    Label2 = boldLabel(this, "Label2", QRect(300, 72, 200, 16));
    eText = new QLineEdit(this);
    eText->setObjectName(QStringLiteral("eText"));
    eText->setMaxLength(kMaxWordLength);
    eText->setGeometry(300, 90, 264, 22);
    Label3 = boldLabel(this, "Label3", QRect(300, 120, 220, 16));
    rContent = new QRadioButton(this);
    rContent->setObjectName(QStringLiteral("rContent"));
    rContent->setGeometry(312, 138, 220, 18);
    rStart = new QRadioButton(this);
    rStart->setObjectName(QStringLiteral("rStart"));
    rStart->setGeometry(312, 158, 220, 18);
    // Two independent choices on one parent: each pair is its own group.
    kindGroup_ = new QButtonGroup(this);
    kindGroup_->addButton(rSubj);
    kindGroup_->addButton(rAddr);
    methodGroup_ = new QButtonGroup(this);
    methodGroup_->addButton(rContent);
    methodGroup_->addButton(rStart);
    rSubj->setChecked(true);
    rContent->setChecked(true);
    createExplanation();
    for (QWidget* w : {static_cast<QWidget*>(rSubj), static_cast<QWidget*>(rAddr),
                       static_cast<QWidget*>(rContent), static_cast<QWidget*>(rStart),
                       static_cast<QWidget*>(ListBox), static_cast<QWidget*>(eText)})
        ui::setEnterMovesOn(w);
    eText->installEventFilter(this);
}

void Tffilter::createExplanation() {
    Label5 = boldLabel(this, "Label5", QRect(300, 186, 200, 16));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setFocusPolicy(Qt::NoFocus);
    QPalette palette = Memo1->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    Memo1->setPalette(palette);
    Memo1->setGeometry(300, 204, 264, 108);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    Image1->setGeometry(532, 8, 32, 32);
}

void Tffilter::createButtons() {
    const auto button = [this](const char* name, QRect bounds) {
        auto* b = new QPushButton(this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(bounds);
        return b;
    };
    Button1 = button("Button1", QRect(300, 322, 82, 26));
    Button2 = button("Button2", QRect(391, 322, 82, 26));
    Button4 = button("Button4", QRect(482, 322, 82, 26));
    Button3 = button("Button3", QRect(482, 358, 82, 26));
    // Enter in the Delete button moves on instead of deleting.
    Button4->setAutoDefault(false);
    ui::setEnterMovesOn(Button4);
    connect(Button1, &QPushButton::clicked, this, ui::guarded([this] { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this, ui::guarded([this] { Button2Click(); }));
    connect(Button4, &QPushButton::clicked, this, ui::guarded([this] { Button4Click(); }));
    connect(Button3, &QPushButton::clicked, this, &QDialog::reject);
    // Only the user's own moves in the list count as a click; selecting a
    // row from code (Add, Delete) leaves the editor alone.
    connect(ListBox, &QListWidget::itemClicked, this, ui::guarded([this] { ListBoxClick(); }));
    connect(ListBox, &QListWidget::currentRowChanged, this, ui::guarded([this] {
                if (!selectingFromCode_) ListBoxClick();
            }));
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
}

void Tffilter::FormCreate() {
    // A file that cannot be read is reported on its own, so that the
    // dialog still gets its texts and opens with an empty list.
    ui::runGuarded([this] {
        for (const std::string& line : ReadFilterFile(FiltersFilePath())) {
            auto* item = new QListWidgetItem(ListBox);
            setLine(item, line);
        }
    });
    Button2->setEnabled(selectedIndex() >= 0);
    SetEnglishTexts();
}

void Tffilter::SetEnglishTexts() {
    setWindowTitle(QStringLiteral("Spam filter"));
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

std::vector<std::string> Tffilter::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(ListBox->count()));
    for (int i = 0; i < ListBox->count(); ++i) lines.push_back(lineOf(ListBox->item(i)));
    return lines;
}

int Tffilter::selectedIndex() const {
    const QList<QListWidgetItem*> selected = ListBox->selectedItems();
    return selected.isEmpty() ? -1 : ListBox->row(selected.first());
}

void Tffilter::selectIndex(int index) {
    selectingFromCode_ = true;
    const auto done = qScopeGuard([this] { selectingFromCode_ = false; });
    if (index < 0) {
        ListBox->clearSelection();
        ListBox->setCurrentRow(-1);
    } else {
        ListBox->setCurrentRow(index);
    }
}

void Tffilter::ListBoxClick() {
    const int index = selectedIndex();
    Button2->setEnabled(index >= 0);
    rSubj->setChecked(true);
    rContent->setChecked(true);
    eText->clear();
    if (index < 0 || index >= ListBox->count()) return;
    const TMailFilter rule = ParseMailFilter(lineOf(ListBox->item(index)));
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

int Tffilter::IndexOfLine(const std::string& line) const {
    for (int i = 0; i < ListBox->count(); ++i) {
        if (sameLineIgnoringCase(lineOf(ListBox->item(i)), line)) return i;
    }
    return -1;
}

void Tffilter::AppendLine(const std::string& line) {
    auto* item = new QListWidgetItem(ListBox);
    setLine(item, line);
    selectIndex(ListBox->count() - 1);
}

void Tffilter::SaveToFile() const { WriteFilterFile(FiltersFilePath(), Lines()); }

void Tffilter::Button1Click() {
    if (TextIsBlank()) return;
    const std::string line = ComposeLine();
    if (IndexOfLine(line) < 0) AppendLine(line);
    // Written also for a duplicate, so the file always mirrors the list.
    SaveToFile();
}

void Tffilter::Button2Click() {
    if (TextIsBlank()) return;
    const std::string line = ComposeLine();
    if (IndexOfLine(line) < 0) {
        const int index = selectedIndex();
        if (ListBox->count() == 0) {
            AppendLine(line);
        } else if (index >= 0 && index < ListBox->count()) {
            setLine(ListBox->item(index), line);
        }
    }
    SaveToFile();
}

void Tffilter::Button4Click() {
    const int index = selectedIndex();
    if (index >= 0 && index < ListBox->count()) {
        // Removing the current row moves the current row: not a user click.
        selectingFromCode_ = true;
        const auto done = qScopeGuard([this] { selectingFromCode_ = false; });
        delete ListBox->takeItem(index);
    }
    const int count = ListBox->count();
    selectIndex(index < 0 || count == 0 ? -1 : std::min(index, count - 1));
    SaveToFile();
}

bool Tffilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == eText && event->type() == QEvent::KeyPress) {
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        if (std::any_of(typed.begin(), typed.end(), IsRefusedWordKey)) return true;
    }
    return QDialog::eventFilter(watched, event);
}
