// Deleting messages on the server: the ticked rows, or the shown one, are
// deleted after the user's Yes, and the list is read again.
#include "app/fmMain.h"

#include "app/fmMainRun.h"
#include "app/udmPOP3.h"
#include "ui/CommandGuard.h"
#include "ui/Platform.h"

#include <QTextBrowser>
#include <QTreeWidget>

#include <algorithm>

namespace {

// The serial of the record a row belongs to; 0 (no record) when it has none.
std::uint64_t serialOfRow(const QTreeWidgetItem* row) {
    const QVariant serial = row ? row->data(0, rrRecord) : QVariant();
    return serial.isValid() ? serial.toULongLong() : 0;
}

// Closes the connections without "QUIT": the server keeps every message, so
// the records of marks made on them are taken back.
void abandonAll(const std::vector<std::shared_ptr<TPOP3>>& clients) {
    for (const auto& client : clients) client->Abandon();
    for (const auto& record : MessageHeaders())
        if (std::find(clients.begin(), clients.end(), record->Client) != clients.end()) record->Deleted = false;
}

// Whether a connection may carry a mark that its "QUIT" commits.
bool mayHaveMarks(const std::vector<std::shared_ptr<TPOP3>>& clients) {
    return std::any_of(clients.begin(), clients.end(), [](const auto& client) { return client->MayHaveMarks(); });
}

}  // namespace

void Tfmain::mmDelClick() {
    // A check run or a deletion is waiting on the network already.
    if (ui::BusyScope::busy()) return;
    ui::BusyScope busy;
    try {
        DeleteMessages();
    } catch (const ERunAborted&) {
        // The window was closed; there is nobody left to tell.
    }
}

void Tfmain::DeleteMessages() {
    // The rows are taken as the user confirms them, each by its own record:
    // the list may be sorted or ticked while the deletions wait.
    std::vector<std::uint64_t> serials;
    for (int i = headlist->topLevelItemCount() - 1; i >= 0; --i) {
        const QTreeWidgetItem* row = headlist->topLevelItem(i);
        if (row->checkState(0) == Qt::Checked) serials.push_back(serialOfRow(row));
    }
    QString question = QStringLiteral("Delete selected Messages, Really?");
    if (serials.empty()) {
        if (FCurrentRow < 0 || FCurrentRow >= headlist->topLevelItemCount()) return;
        serials.push_back(serialOfRow(headlist->topLevelItem(FCurrentRow)));
        question = QStringLiteral("Delete selected Message, Really?");
    }
    if (!ui::platform().confirm(this, question)) return;

    TRunScope run(FRunActive, FRunAborted, [this] { PumpRun(); });
    ShowProgress(QStringLiteral("Deleting..."), 8);
    std::vector<std::shared_ptr<TPOP3>> used;
    std::exception_ptr failure;
    bool refill = false;
    try {
        for (const std::uint64_t serial : serials)
            if (DeleteRecord(serial, used)) refill = true;
    } catch (const ERunAborted&) {
        // Closing the window ends the connection as the program's end
        // would, without "QUIT".
        abandonAll(used);
        ShowProgress(QString(), 8);
        throw;
    } catch (const EMailboxChanged&) {
        // The list no longer tells which message a row means.
        failure = std::current_exception();
        refill = true;
    } catch (...) {
        failure = std::current_exception();
    }
    // The list is read again also after a failure that may have followed a
    // deletion (a "DELE" answered with neither "+OK" nor "-ERR"): the rows
    // of deleted messages would otherwise stay listed.
    if (mayHaveMarks(used)) refill = true;
    EndDeletion(used, failure);
    ShowProgress(QString(), 8);
    if (refill) RefillAfterDeletion(failure != nullptr);
    if (failure) std::rethrow_exception(failure);
}

bool Tfmain::DeleteRow(int index) {
    if (index < 0 || index >= headlist->topLevelItemCount()) return false;
    std::vector<std::shared_ptr<TPOP3>> used;
    return DeleteRecord(serialOfRow(headlist->topLevelItem(index)), used);
}

// Deletes the message of the record with that serial and notes its client
// in `used`; a record no longer held is skipped.
bool Tfmain::DeleteRecord(std::uint64_t serial, std::vector<std::shared_ptr<TPOP3>>& used) {
    TMessageHeader* record = serial != 0 ? FindHeaderBySerial(serial) : nullptr;
    if (!record) return false;
    if (std::find(used.begin(), used.end(), record->Client) == used.end()) used.push_back(record->Client);
    return record->DeleteOnServer();
}

// Ends the deletion's connections with "QUIT" and waits for the answer, so
// that what the user confirmed happens now, whatever the refill finds
// later; also after a refused "DELE", which keeps the marks made before it.
// A failure of "QUIT" becomes the command's failure unless there is one.
void Tfmain::EndDeletion(const std::vector<std::shared_ptr<TPOP3>>& used, std::exception_ptr& failure) {
    for (const auto& client : used) {
        try {
            if (client->IsConnected()) client->Quit();
        } catch (const ERunAborted&) {
            abandonAll(used);
            ShowProgress(QString(), 8);
            throw;
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
}

// Clears the list and the view and reads the mailbox of the account selected
// now; with none selected the list stays empty. After a failed deletion a
// failing refill is reported on its own, and the deletion's failure follows.
void Tfmain::RefillAfterDeletion(bool failed) {
    ClearHeaderList();
    memo->clear();
    FCurrentRow = -1;
    UpdateSelectedCount();
    UpdateCommands();
    if (!failed) {
        CheckMessages();
        return;
    }
    try {
        CheckMessages();
    } catch (const ERunAborted&) {
        throw;
    } catch (...) {
        ui::reportCurrentException();
    }
}
