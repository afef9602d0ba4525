#pragma once

#include "app/Settings.h"
#include "app/udmAccounts.h"

#include <QItemSelection>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTreeWidgetItem>

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTextBrowser;
class QToolBar;
class QTreeWidget;
class TMessageHeader;
class TPOP3;
class TPreparedFilters;
struct TSpamRules;

// An underlined label with a hand cursor that acts like a link: a click on
// it (while enabled) emits clicked().
class TLinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit TLinkLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Item data roles of an account in poplist. The item's text shows the name;
// the roles hold the five stored fields as bytes (QByteArray), so that a
// name or password in any 8-bit code page is written back unchanged.
enum AccountRole : int {
    arName = Qt::UserRole + 1,
    arHost,
    arUserName,
    arPassword,
    arPort,
};

// Item data roles of a header list row. rrRecord (column 0) holds the serial
// of the row's own message record, so that every row finds its message
// whatever its "ID" text; rrSortKey holds each column's value for sorting
// (the date as a day count, the size as an integer, the other columns as the
// bytes shown); rrSpam (column 0) the verdict of the check run.
enum RowRole : int {
    rrRecord = Qt::UserRole + 1,
    rrSortKey,
    rrSpam,
};

// A header list row; rows order themselves with Tfmain::headlistCompare on
// the column the list is sorted by.
class THeaderRow : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override;

    // A row can be ticked and selected, never edited, and never has rows
    // below it: the list then lays its rows out without asking each one.
    static constexpr Qt::ItemFlags kFlags =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;

    // What the check run keeps with a row: its record's serial, the verdict
    // and the sort keys (the date as a day count, the size, and the bytes
    // shown in the sender, receiver, subject and ID columns). They are held
    // here rather than as item data, which costs a variant and an
    // allocation each for every row of a run; data() answers the row roles
    // from them, and the shown texts too: those are made when the list
    // asks for them, that is for the rows on screen, not for every row of
    // a run while it waits on the server. A text set on the row wins.
    struct TKeys {
        std::uint64_t Serial = 0;
        bool Spam = false;
        double Date = 0;
        long long Size = 0;
        std::array<std::string, 4> Texts;
    };
    void SetKeys(TKeys keys) { FKeys = std::move(keys); }
    [[nodiscard]] const TKeys* Keys() const { return FKeys ? &*FKeys : nullptr; }
    [[nodiscard]] QVariant data(int column, int role) const override;

private:
    [[nodiscard]] QString KeptText(int column) const;

    std::optional<TKeys> FKeys;
};

// The main window's help context; F1 opens the help page there.
inline constexpr int kMainHelpContext = 30;

// The main window: the account list, the header list, the message view,
// tool bar, menus, status bar and the progress panel.
class Tfmain : public QMainWindow {
    Q_OBJECT

public:
    explicit Tfmain(QWidget* parent = nullptr);
    ~Tfmain() override;

    // Reads the window bounds, the splitter positions and the spam rules
    // from the settings file; a position off every screen goes onto the
    // primary screen.
    void LoadSettings();
    // Writes the nine settings keys from the current values.
    void SaveSettings();

    // The settings kept in memory while the program runs.
    [[nodiscard]] const TSettings& settings() const { return FSettings; }
    // Replaces the three spam rule settings (general rules dialog).
    void SetSpamRules(bool subjectEmpty, int recipients, int mailMaxLen);

    // Sets the English texts of menus, tool hints, columns and links.
    void SetEnglishTexts();
    // Enables the commands from the current state (account selected,
    // FCurrentRow, rows present) and sets the check commands' captions.
    void UpdateCommands();
    // Enables the download commands when `retrieved` is false, and the
    // delete commands when FCurrentRow is 0 or more.
    void UpdateDownloadCommands(bool retrieved);
    // The "Subject" column gets the header list's width minus 478, at
    // least 188.
    void AdjustSubjectColumn();
    // Shows the progress panel with `text` (hidden when empty), the bar at
    // position 1 under maximum `max`, and lets the panel paint.
    void ShowProgress(const QString& text, int max);
    // The platform's default handler opens a file or link.
    void ShellOpen(const QString& target);

    // Fills the account list from accounts.dat; throws on a read or
    // conversion error, keeping the accounts read before it.
    void LoadAccounts();
    // Writes the whole account list to accounts.dat.
    void SaveAccounts();
    // The selected account, or nothing when none is selected; throws
    // EConvertError when its port is not an integer.
    [[nodiscard]] std::optional<TPOP3Rec> ReadSelectedAccount() const;
    void NewAccount();
    void EditAccount();
    void DeleteAccount();
    // The selected item of poplist, or nullptr.
    [[nodiscard]] QListWidgetItem* SelectedAccountItem() const;
    // Appends an account item to poplist.
    QListWidgetItem* AddAccountItem(const TAccountFields& fields);
    // The stored fields of an account item.
    [[nodiscard]] static TAccountFields AccountFieldsOf(const QListWidgetItem& item);
    // Writes the fields into an account item (caption and four sub-items).
    static void SetAccountItem(QListWidgetItem& item, const TAccountFields& fields);

    // Appends a header list row with the six column texts and an unticked
    // check box; the check run attaches its record under rrRecord.
    QTreeWidgetItem* AddHeaderRow(const QStringList& texts);

    // "Check Messages": reads the selected account's mailbox into
    // MessageHeaders and fills the header list; throws the run's failure
    // after its clean-up.
    void CheckMessages();
    // One connection that refills MessageHeaders; returns the message count.
    int ReadMailbox(const std::shared_ptr<TPOP3>& client);
    // "Remove Message(s)": after the user's Yes, deletes on the server the
    // messages of the ticked rows, bottom row first, or, with nothing
    // ticked, that of the shown row (FCurrentRow); with neither it does
    // nothing. Each message is deleted only after its number was confirmed
    // to still name it. The deletion's connection then ends with "QUIT",
    // which makes the deletions take effect, and after at least one
    // accepted deletion (or a mailbox found changed) the list is cleared and
    // read again for the account selected at that moment. A failure ends
    // the deletions at its row and is thrown after that clean-up; a failure
    // of the refill that follows it is reported on its own.
    void DeleteMessages();
    // Deletes the message of one header list row; true when the server
    // accepted it. A row whose record is no longer held is skipped (false).
    bool DeleteRow(int index);
    // The record a row belongs to, or null when it is no longer held.
    [[nodiscard]] static TMessageHeader* RecordOfRow(const QTreeWidgetItem* row);
    // The order of two rows in a column: negative puts `Item1` first. Dates
    // newest first, sizes smallest first, texts by unsigned bytes.
    [[nodiscard]] static int headlistCompare(const QTreeWidgetItem& Item1, const QTreeWidgetItem& Item2,
                                             int Data);
    // Sorts all rows by the column; the shown row stays FCurrentRow.
    void headlistColumnClick(int Column);
    // Shows the row's message in the view and makes it FCurrentRow.
    void ShowMessageDetail(QTreeWidgetItem* row);
    // Status bar panel 1: the number of ticked rows.
    void UpdateSelectedCount();
    // The same when the count is known.
    void ShowSelectedCount(int ticked);
    void headlistClick();
    // Removes every row without running the selection handler for them.
    void ClearHeaderList();
    // Takes every row out of the list, as ClearHeaderList does, and hands
    // them over undestroyed.
    [[nodiscard]] std::vector<std::unique_ptr<QTreeWidgetItem>> TakeHeaderRows();

    // Command handlers; each control of a command runs the same one. They
    // are virtual so that a window built on this one can extend them.
    virtual void NewAccClick();
    virtual void DelAccClick();
    virtual void EditAccClick();
    virtual void Exit1Click();
    virtual void CheckAccClick();
    virtual void lDownClick();
    virtual void mmDelClick();
    virtual void mmSpamClick();
    virtual void mmAllClick();
    virtual void mmUnselClick();
    virtual void NastavenSPAMfiltr1Click();
    virtual void Obecnpravidla1Click();
    virtual void lHelpClick();
    virtual void About1Click();
    // "Stop" on the progress panel (and Esc while it shows): the command
    // that waits on the server ends at its next pump, its connection
    // closed without "QUIT", as after a failure but without an error.
    virtual void bStopClick();
    // Runs for a row that became selected and for one that lost the
    // selection alike.
    virtual void headlistSelectItem(QTreeWidgetItem* Item, bool Selected);

    // The index of the header list row shown in the message view, or -1.
    int FCurrentRow = -1;

    // Controls, under their own names.
    QPointer<QToolBar> tool;
    QPointer<QWidget> Panel1;
    QPointer<QLabel> Panel5;
    QPointer<QListWidget> poplist;
    QPointer<QSplitter> Splitter1;
    QPointer<QWidget> Panel2;
    QPointer<QWidget> Panel3;
    QPointer<QTreeWidget> headlist;
    QPointer<QSplitter> Splitter2;
    QPointer<QWidget> Panel4;
    QPointer<QWidget> Panel6;
    QPointer<QLabel> Panel6Caption;
    QPointer<TLinkLabel> lDown;
    QPointer<TLinkLabel> lDelete;
    QPointer<QTextBrowser> memo;
    QPointer<QStatusBar> bar;
    std::array<QPointer<QLabel>, 2> barPanels;
    // Holds the progress panel over the header list: a widget without a
    // layout, so that showing or hiding the panel does not lay out the
    // whole window again. Sized as the panel while it shows, empty
    // otherwise, so it never catches clicks meant for the list.
    QPointer<QWidget> infPlace;
    QPointer<QFrame> inf;
    QPointer<QLabel> inflabel;
    QPointer<QProgressBar> progress;
    // Ends the command in progress at once, as closing the window would.
    QPointer<QPushButton> bStop;
    QPointer<QMenu> pop3popup;
    QPointer<QMenu> headpopup;
    QPointer<QMenu> Accounts1, Messages1, SPAMfilter1, Help1;

    // Main menu items.
    QPointer<QAction> mNew, mDelete, mEdit, Exit1, mmCheck, mmDownload, mmDel;
    QPointer<QAction> NastavenSPAMfiltr1, Obecnpravidla1, Npovda1, About1;
    // Tool buttons.
    QPointer<QAction> tNew, tEdit, tDel, tCheck, tDownload, tDelete, tSpam, tAll, tUnsel, lHelp;
    // Context menu items.
    QPointer<QAction> CheckAcc, NewAcc, DelAcc, EditAcc;
    QPointer<QAction> mDownload, mDel, mmSpam, mmAll, mmUnsel;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void evException(const std::exception& error);
    bool evMessage(QEvent* event);
    bool poplistKeyDown(int key);
    bool headlistKeyDown(int key);
    void CreateControls();
    void CreateHeaderList(QWidget* parent);
    void CreateDetailPanel(QWidget* parent);
    void CreateProgressPanel(QWidget* parent);
    void CreateStatusBar();
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void ConnectCommands();
    QAction* NewAction(const char* name, int icon);
    void MoveOntoScreen();
    void ConnectHeaderList();
    void headlistSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    // A row built for the list, ticked when its message was judged spam.
    struct TPreparedRow {
        std::unique_ptr<QTreeWidgetItem> Row;
        bool Spam = false;
    };
    // Puts the rows of the records into the list; returns how many are
    // ticked.
    int FillHeaderList(const TPreparedFilters& filters, const TSpamRules& rules);
    [[nodiscard]] TPreparedRow MakeHeaderRow(const TMessageHeader& record, const TPreparedFilters& filters,
                                             const TSpamRules& rules);
    void FillHeaderRow(THeaderRow& row, const TMessageHeader& record, bool spam);
    void EndConnection(TPOP3& client);
    bool DeleteRecord(std::uint64_t serial, std::vector<std::shared_ptr<TPOP3>>& used);
    void EndDeletion(const std::vector<std::shared_ptr<TPOP3>>& used, std::exception_ptr& failure);
    void RefillAfterDeletion(bool failed);
    // Lets pending events run during a check run, at most every few
    // milliseconds; ends the run when the window was closed meanwhile.
    void PumpRun();

    TSettings FSettings;
    bool FAccountsLoadFailed = false;
    // A check run is under way; the window was closed during it; the run
    // has replaced the previous run's records.
    bool FRunActive = false;
    bool FRunAborted = false;
    bool FRecordsReplaced = false;
    bool FClearingRows = false;
    // A recount of the ticked rows is waiting for the event loop.
    bool FCountPending = false;
    // When pending events last ran during a run (coarse monotonic
    // milliseconds), or -1.
    qint64 FLastPumpMs = -1;
    // The word list and rules of the run under way, and the rows built from
    // its records while the server was answering; the list takes them in
    // one pass once every header is read.
    const TPreparedFilters* FRunFilters = nullptr;
    const TSpamRules* FRunRules = nullptr;
    std::vector<TPreparedRow> FPreparedRows;
};
