#pragma once

#include "app/HeaderRow.h"
#include "app/Settings.h"
#include "app/udmAccounts.h"
#include "app/udmCommand.h"
#include "ui/LinkedTextView.h"

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
#include <string_view>
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
class QToolBar;
class QTreeWidget;
class TMessageHeader;

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
    // How the account is secured (TIdUseTLS) and the fingerprint of a
    // certificate the user trusted for it.
    arSecurity,
    arTrustedFingerprint,
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

    // Runs one command that talks to the server (a check run, a deletion, a
    // download) unless another one is waiting on the network already; a
    // run the user stopped, or ended by closing the window, ends quietly.
    void RunServerCommand(void (Tfmain::*command)());

    // "Check Messages": reads the selected account's mailbox into
    // MessageHeaders and fills the header list; throws the run's failure
    // after its clean-up.
    void CheckMessages();
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
    // The connection stays open.
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
    // The one place that puts a record into the message view: its view
    // text, with the sections formatted once it is retrieved.
    void ShowRecord(const TMessageHeader& record);

    // "Download message": downloads the whole message of the shown row
    // (FCurrentRow) once, then shows it; a retrieved one is shown from
    // memory. Throws the download's failure after its clean-up (the
    // progress panel hidden, the view as it was).
    void DownloadMessage();
    // Formats the first occurrence of a section line (Courier New, 12
    // points, bold, red) and, when the view lists attachments, their lines
    // as bold bulleted paragraphs; then puts the caret at the start.
    void FormatSection(std::string_view sectionLine);
    // A click on a link in the view: an attachment link saves that
    // attachment; a web or mail link ("http", "https", "mailto") goes to
    // the platform's default handler; any other scheme does nothing.
    void memoURLClick(const QString& URLText);
    // Saves the attachment of the link when the shown row's message is
    // retrieved; nothing otherwise.
    void SaveAttachmentLink(const QString& link);
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
    // "Always trust this sender": the shown row's sender address joins the
    // friends list unless it is there; rows keep their verdicts until the
    // next check run. Throws when the message has no sender address.
    virtual void mTrustClick();
    virtual void NastavenSPAMfiltr1Click();
    virtual void Obecnpravidla1Click();
    virtual void lHelpClick();
    virtual void About1Click();
    virtual void mmFastCheckClick();
    virtual void mmAllCharsetsClick();
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
    // The message view: plain text whose links can be clicked (memoURLClick).
    QPointer<ui::LinkedTextView> memo;
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
    // "Fast check (pipelining)": a checkable item, the setting CHECK/PIPELINING.
    QPointer<QAction> mmFastCheck;
    // "Decode all character sets": a checkable item, the setting
    // DISPLAY/ALL_CHARSETS.
    QPointer<QAction> mmAllCharsets;
    QPointer<QAction> NastavenSPAMfiltr1, Obecnpravidla1, Npovda1, About1;
    // Tool buttons.
    QPointer<QAction> tNew, tEdit, tDel, tCheck, tDownload, tDelete, tSpam, tAll, tUnsel, lHelp;
    // Context menu items.
    QPointer<QAction> CheckAcc, NewAcc, DelAcc, EditAcc;
    QPointer<QAction> mDownload, mDel, mmSpam, mmAll, mmUnsel, mTrust;

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
    // Puts the rows of a check run into the list in one step.
    void FillHeaderList(std::vector<std::unique_ptr<QTreeWidgetItem>> rows);
    void RefillAfterDeletion(bool failed);

    TSettings FSettings;
    bool FAccountsLoadFailed = false;
    bool FClearingRows = false;
    // A recount of the ticked rows is waiting for the event loop.
    bool FCountPending = false;
    // The network command under way, if any, and the user's wish to stop it.
    TCommandPump FCommands;
};

// Shows the main window's progress panel for as long as it lives.
class TProgressScope {
public:
    TProgressScope(Tfmain& window, const QString& text, int max) : window_(window) { window_.ShowProgress(text, max); }
    ~TProgressScope() { window_.ShowProgress(QString(), 8); }
    TProgressScope(const TProgressScope&) = delete;
    TProgressScope& operator=(const TProgressScope&) = delete;

private:
    Tfmain& window_;
};
