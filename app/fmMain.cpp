#include "app/fmMain.h"

#include "app/MessageView.h"
#include "app/fmEdit.h"
#include "app/udmMessageHeader.h"
#include "net/IdException.h"
#include "ui/Application.h"
#include "ui/CommandGuard.h"
#include "ui/FlatProgressBar.h"
#include "ui/Help.h"
#include "ui/IniFile.h"
#include "ui/Paths.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <vector>

// Resources of a static library must be registered by name, outside any
// namespace.
static void initSkimletResources() { Q_INIT_RESOURCE(skimlet); }

namespace {

// Header list columns: caption width and minimum width, left to right.
constexpr int kColumnWidth[] = {128, 80, 128, 128, 256, 64};
constexpr int kColumnMinWidth[] = {108, 64, 88, 88, 88, 64};
constexpr int kSizeColumn = 1;
constexpr int kSubjectColumn = 4;


std::string roleText(const QListWidgetItem& item, int role) {
    return item.data(role).toByteArray().toStdString();
}

// A selection stays visible (in the active colours) when the list loses
// the focus.
void keepSelectionShown(QWidget* view) {
    QPalette p = view->palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    view->setPalette(p);
}

void paintSplitterHandle(QSplitter* splitter) {
    QSplitterHandle* handle = splitter->handle(1);
    if (!handle) return;
    QPalette p = handle->palette();
    p.setColor(QPalette::Window, QColor(0, 255, 255));
    handle->setPalette(p);
    handle->setAutoFillBackground(true);
}

// Paints grid lines between the cells and right-aligns the size column,
// whoever adds the rows.
class TGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight));
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == kSizeColumn) option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
    }
};

}  // namespace

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

Tfmain::Tfmain(QWidget* parent) : QMainWindow(parent) {
    initSkimletResources();
    setObjectName(QStringLiteral("fmain"));
    setWindowTitle(QStringLiteral("eMail"));
    ui::setHelpContext(this, kMainHelpContext);
    // Design bounds; LoadSettings replaces them.
    setGeometry(314, 294, 599, 516);
    CreateControls();
    CreateActions();
    CreateMenus();
    CreateToolBar();
    ConnectCommands();

    ui::setExceptionHandler([this](const std::exception& e) { evException(e); });
    // The progress notification is seen application-wide.
    qApp->installEventFilter(this);
    FormCreate();
}

Tfmain::~Tfmain() {
    // The connections of the last run end with the window, without "QUIT",
    // as they would with the process.
    AbandonMessageHeaders();
    qApp->removeEventFilter(this);
    ui::setExceptionHandler(nullptr);
}

void Tfmain::CreateControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    auto* clientLayout = new QVBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);
    tool = new QToolBar(client);
    tool->setObjectName(QStringLiteral("tool"));
    tool->setFixedHeight(29);
    tool->setIconSize(QSize(16, 16));
    tool->setMovable(false);
    tool->setStyleSheet(QStringLiteral("QToolBar { background: silver; border: 0; }"));
    clientLayout->addWidget(tool);

    Splitter1 = new QSplitter(Qt::Horizontal, client);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setOpaqueResize(true);
    Splitter1->setHandleWidth(3);
    clientLayout->addWidget(Splitter1);

    Panel1 = new QWidget(Splitter1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* panel1Layout = new QVBoxLayout(Panel1);
    panel1Layout->setContentsMargins(0, 0, 0, 0);
    panel1Layout->setSpacing(0);
    Panel5 = new QLabel(Panel1);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFixedHeight(16);
    Panel5->setAlignment(Qt::AlignCenter);
    Panel5->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel1Layout->addWidget(Panel5);
    poplist = new QListWidget(Panel1);
    poplist->setObjectName(QStringLiteral("poplist"));
    poplist->setViewMode(QListView::IconMode);
    poplist->setIconSize(QSize(32, 32));
    poplist->setMovement(QListView::Static);
    poplist->setResizeMode(QListView::Adjust);
    poplist->setWordWrap(true);
    poplist->setEditTriggers(QAbstractItemView::NoEditTriggers);
    poplist->setSelectionMode(QAbstractItemView::SingleSelection);
    poplist->setContextMenuPolicy(Qt::CustomContextMenu);
    keepSelectionShown(poplist);
    panel1Layout->addWidget(poplist);

    Panel2 = new QWidget(Splitter1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* panel2Layout = new QVBoxLayout(Panel2);
    panel2Layout->setContentsMargins(0, 0, 0, 0);
    Splitter2 = new QSplitter(Qt::Vertical, Panel2);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setOpaqueResize(true);
    Splitter2->setHandleWidth(5);
    panel2Layout->addWidget(Splitter2);
    Panel3 = new QWidget(Splitter2);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    CreateHeaderList(Panel3);
    Panel4 = new QWidget(Splitter2);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    CreateDetailPanel(Panel4);

    // The account list and the header list keep their sizes; the rest of
    // the window goes to the header list and the message view.
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    paintSplitterHandle(Splitter1);
    paintSplitterHandle(Splitter2);
    setCentralWidget(client);
    CreateProgressPanel(client);
    CreateStatusBar();
}

void Tfmain::CreateHeaderList(QWidget* parent) {
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    headlist = new QTreeWidget(parent);
    headlist->setObjectName(QStringLiteral("headlist"));
    headlist->setColumnCount(6);
    headlist->setRootIsDecorated(false);
    headlist->setItemsExpandable(false);
    headlist->setUniformRowHeights(true);
    headlist->setAllColumnsShowFocus(true);
    headlist->setSelectionMode(QAbstractItemView::SingleSelection);
    headlist->setSelectionBehavior(QAbstractItemView::SelectRows);
    headlist->setEditTriggers(QAbstractItemView::NoEditTriggers);
    headlist->setContextMenuPolicy(Qt::CustomContextMenu);
    headlist->setItemDelegate(new TGridDelegate(headlist));
    keepSelectionShown(headlist);
    QHeaderView* header = headlist->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    header->setMinimumSectionSize(*std::min_element(std::begin(kColumnMinWidth), std::end(kColumnMinWidth)));
    for (int c = 0; c < 6; ++c) header->resizeSection(c, kColumnWidth[c]);
    headlist->headerItem()->setTextAlignment(kSizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    // Each column has its own minimum width.
    connect(header, &QHeaderView::sectionResized, this, [header](int c, int, int size) {
        if (c >= 0 && c < 6 && size < kColumnMinWidth[c]) header->resizeSection(c, kColumnMinWidth[c]);
    });
    layout->addWidget(headlist);
}

void Tfmain::CreateDetailPanel(QWidget* parent) {
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Panel6 = new QFrame(parent);
    Panel6->setObjectName(QStringLiteral("Panel6"));
    Panel6->setFixedHeight(18);
    Panel6Caption = new QLabel(QStringLiteral("   Detail"), Panel6);
    Panel6Caption->setObjectName(QStringLiteral("Panel6Caption"));
    Panel6Caption->setTextFormat(Qt::PlainText);
    QFont bold = Panel6Caption->font();
    bold.setBold(true);
    Panel6Caption->setFont(bold);
    Panel6Caption->setGeometry(0, 0, 90, 18);
    lDown = new TLinkLabel(Panel6);
    lDown->setObjectName(QStringLiteral("lDown"));
    lDown->move(96, 1);
    lDelete = new TLinkLabel(Panel6);
    lDelete->setObjectName(QStringLiteral("lDelete"));
    lDelete->move(224, 1);
    layout->addWidget(Panel6);

    memo = new ui::LinkedTextView(parent);
    memo->setObjectName(QStringLiteral("memo"));
    memo->setLinePrefix(QString::fromLatin1(AttachmentLinkPrefix.data(), AttachmentLinkPrefix.size()));
    connect(memo, &ui::LinkedTextView::linkClicked, this,
            [this](const QString& target) { ui::runGuarded([&] { memoURLClick(target); }); });
    memo->setFont(QFont(QStringLiteral("Arial"), 8));
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(memo);
}

void Tfmain::CreateProgressPanel(QWidget* parent) {
    infPlace = new QWidget(parent);
    infPlace->setObjectName(QStringLiteral("infPlace"));
    infPlace->setGeometry(8, 54, 0, 0);
    inf = new QFrame(infPlace);
    inf->setObjectName(QStringLiteral("inf"));
    inf->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    inf->setAutoFillBackground(true);
    inf->setGeometry(0, 0, 362, 49);
    inflabel = new QLabel(inf);
    inflabel->setObjectName(QStringLiteral("inflabel"));
    inflabel->setTextFormat(Qt::PlainText);
    QFont bold = inflabel->font();
    bold.setBold(true);
    inflabel->setFont(bold);
    inflabel->setGeometry(16, 8, 270, 16);
    bStop = new QPushButton(QStringLiteral("Stop"), inf);
    bStop->setObjectName(QStringLiteral("bStop"));
    bStop->setGeometry(291, 4, 64, 20);
    bStop->setFocusPolicy(Qt::NoFocus);
    bStop->setAutoDefault(false);
    connect(bStop, &QPushButton::clicked, this, ui::guarded([this] { bStopClick(); }));
    progress = new ui::FlatProgressBar(inf);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setGeometry(7, 25, 348, 16);
    progress->setRange(1, 8);
    inf->hide();
    infPlace->raise();
}

void Tfmain::CreateStatusBar() {
    bar = statusBar();
    bar->setObjectName(QStringLiteral("bar"));
    bar->setSizeGripEnabled(true);
    for (std::size_t i = 0; i < barPanels.size(); ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("barPanel%1").arg(i));
        panel->setTextFormat(Qt::PlainText);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        barPanels[i] = panel;
    }
    barPanels[0]->setFixedWidth(188);
    barPanels[1]->setMinimumWidth(50);
    bar->addWidget(barPanels[0]);
    bar->addWidget(barPanels[1], 1);
}

void Tfmain::FormCreate() {
    SetEnglishTexts();
    FCurrentRow = -1;
    // A broken account file is reported, and the settings are read all the
    // same: otherwise closing the window would write the design bounds over
    // the user's settings.
    ui::runGuarded([this] { LoadAccounts(); });
    ui::runGuarded([this] { LoadSettings(); });
}

void Tfmain::FormActivate() {
    UpdateCommands();
    AdjustSubjectColumn();
}

bool Tfmain::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) ui::runGuarded([this] { FormActivate(); });
    return QMainWindow::event(event);
}

void Tfmain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ui::runGuarded([this] { AdjustSubjectColumn(); });
}

void Tfmain::closeEvent(QCloseEvent* event) {
    ui::runGuarded([this] { SaveSettings(); });
    // A command waiting on the network ends at its next pump, its
    // connection closed without "QUIT".
    FCommands.RequestStop();
    event->accept();
}

bool Tfmain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == ui::kProgressEvent) return evMessage(event);
    if (event->type() != QEvent::KeyPress) return QMainWindow::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    // Esc stops the command while its panel shows in this window; in a
    // dialog it keeps its own meaning.
    if (key == Qt::Key_Escape && FCommands.Active() && inf->isVisible() && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        bStopClick();
        return true;
    }
    if (watched == poplist.data()) return poplistKeyDown(key);
    if (watched == headlist.data()) return headlistKeyDown(key);
    return QMainWindow::eventFilter(watched, event);
}

void Tfmain::bStopClick() { FCommands.RequestStop(); }

// Check runs from now on keep several commands in flight when the server
// allows it; the choice is written at once.
void Tfmain::mmFastCheckClick() {
    FSettings.FastCheck = mmFastCheck->isChecked();
    SaveSettings();
}

// Check runs from now on decode the header texts of every character set to
// UTF-8, or as narrowly as before; the rows already listed stay as they are.
void Tfmain::mmAllCharsetsClick() {
    FSettings.AllCharsets = mmAllCharsets->isChecked();
    SaveSettings();
}

bool Tfmain::evMessage(QEvent* event) {
    const long long count = static_cast<ui::ProgressEvent*>(event)->lParam();
    if (progress->maximum() < count) {
        // Steps beyond the maximum only show activity: forward, then wrap.
        if (progress->value() < progress->maximum())
            progress->setValue(std::max(progress->value() + 1, progress->minimum()));
        else
            progress->setValue(progress->minimum());
    } else {
        progress->setValue(static_cast<int>(std::max<long long>(count, progress->minimum())));
    }
    return true;
}

bool Tfmain::poplistKeyDown(int key) {
    switch (key) {
    case Qt::Key_Insert: ui::runGuarded([this] { NewAccClick(); }); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: ui::runGuarded([this] { EditAccClick(); }); return true;
    case Qt::Key_Delete: ui::runGuarded([this] { DelAccClick(); }); return true;
    default: return false;
    }
}

bool Tfmain::headlistKeyDown(int key) {
    if (key != Qt::Key_Delete) return false;
    ui::runGuarded([this] { mmDelClick(); });
    return true;
}

void Tfmain::evException(const std::exception& error) {
    const auto* own = dynamic_cast<const EIdException*>(&error);
    const QString text = own ? ui::toQString(own->Message()) : ui::toQString(error.what());
    ui::platform().showError(this, text, pos() + QPoint(50, 50));
}

void Tfmain::ShowProgress(const QString& text, int max) {
    const bool shown = !text.isEmpty();
    inflabel->setText(text);
    if (!shown) {
        inf->hide();
        infPlace->resize(0, 0);
    }
    // Set while the panel is hidden where possible: a visible bar repaints
    // the window at once on every change, and the panel paints below anyway.
    progress->setValue(1);
    // The bar's minimum stays 1; a smaller maximum would move it.
    progress->setMaximum(std::max(max, progress->minimum()));
    if (shown) {
        infPlace->resize(inf->size());
        infPlace->raise();
        inf->show();
    }
    ui::processPendingEvents();
}

void Tfmain::ShellOpen(const QString& target) { ui::platform().shellOpen(target); }

void Tfmain::AdjustSubjectColumn() {
    headlist->header()->resizeSection(kSubjectColumn, std::max(headlist->width() - 478, 188));
}

void Tfmain::UpdateCommands() {
    QListWidgetItem* account = SelectedAccountItem();
    for (QAction* a : {CheckAcc, DelAcc, EditAcc, mDelete, tEdit, tDel, tCheck, mmCheck, mEdit})
        a->setEnabled(account != nullptr);
    for (QAction* a : {mNew, tNew, NewAcc}) a->setEnabled(true);
    const bool shown = FCurrentRow >= 0;
    for (QAction* a : {tDelete, mDel, mmDel, mTrust}) a->setEnabled(shown);
    lDelete->setEnabled(shown);
    const bool rows = headlist->topLevelItemCount() > 0;
    for (QAction* a : {tSpam, tAll, tUnsel, mmSpam, mmAll, mmUnsel}) a->setEnabled(rows);
    if (!shown) {
        for (QAction* a : {mDownload, mmDownload, tDownload}) a->setEnabled(false);
        lDown->setEnabled(false);
    }
    const QString caption =
        account ? QStringLiteral("Check Messages (") + ui::captionText(roleText(*account, arName)) +
                      QStringLiteral(")")
                : QStringLiteral("Check Messages");
    CheckAcc->setText(caption);
    mmCheck->setText(caption);
}

void Tfmain::UpdateDownloadCommands(bool retrieved) {
    for (QAction* a : {mDownload, mmDownload, tDownload}) a->setEnabled(!retrieved);
    lDown->setEnabled(!retrieved);
    const bool shown = FCurrentRow >= 0;
    for (QAction* a : {tDelete, mDel, mmDel}) a->setEnabled(shown);
    lDelete->setEnabled(shown);
}

void Tfmain::SetSpamRules(bool subjectEmpty, int recipients, int mailMaxLen) {
    FSettings.SubjectEmpty = subjectEmpty;
    FSettings.Recipients = recipients;
    FSettings.MailMaxLen = mailMaxLen;
}

void Tfmain::LoadSettings() {
    const ui::IniFile ini(ui::settingsFilePath(kSettingsFileName));
    FSettings = readSettings(ini);
    mmFastCheck->setChecked(FSettings.FastCheck);
    mmAllCharsets->setChecked(FSettings.AllCharsets);
    setGeometry(FSettings.Left, FSettings.Top, FSettings.Width, FSettings.Height);
    MoveOntoScreen();
    // The splitters divide the space they have now, so the layouts give
    // them the window's size first, even before the window is shown.
    layout()->activate();
    centralWidget()->layout()->activate();
    Splitter1->setSizes({FSettings.SplitVertical, FSettings.Width - FSettings.SplitVertical});
    Panel2->layout()->activate();
    Splitter2->setSizes({FSettings.SplitHorizontal, FSettings.Height - FSettings.SplitHorizontal});
}

void Tfmain::MoveOntoScreen() {
    const QRect frame(pos(), QSize(std::max(width(), 1), std::max(height(), 1)));
    const auto screens = QGuiApplication::screens();
    const bool seen = std::any_of(screens.begin(), screens.end(),
                                  [&](const QScreen* s) { return s->geometry().intersects(frame); });
    QScreen* primary = QGuiApplication::primaryScreen();
    // A monitor that has been removed leaves the window nowhere to be seen.
    if (!seen && primary) move(primary->availableGeometry().topLeft() + QPoint(20, 20));
}

void Tfmain::SaveSettings() {
    const QRect frame = geometry();
    FSettings.Top = frame.top();
    FSettings.Left = frame.left();
    FSettings.Height = frame.height();
    FSettings.Width = frame.width();
    FSettings.SplitVertical = Splitter1->sizes().value(0);
    FSettings.SplitHorizontal = Splitter2->sizes().value(0);
    ui::IniFile ini(ui::settingsFilePath(kSettingsFileName));
    writeSettings(ini, FSettings);
    ini.save();
}
