// "Remove Message(s)" in the main window: the command's face. The ticked
// rows, or the shown one, are deleted by TDeletion after the user's Yes,
// and the list is read again.
#include "app/fmMain.h"

#include "app/udmDeletion.h"
#include "ui/CommandGuard.h"
#include "ui/Platform.h"

#include <QTextBrowser>
#include <QTreeWidget>

namespace {

// The serial of the record a row belongs to; 0 (no record) when it has none.
std::uint64_t serialOfRow(const QTreeWidgetItem* row) {
    const QVariant serial = row ? row->data(0, rrRecord) : QVariant();
    return serial.isValid() ? serial.toULongLong() : 0;
}

}  // namespace

void Tfmain::mmDelClick() { RunServerCommand(&Tfmain::DeleteMessages); }

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

    TCommandPump::TScope command(FCommands);
    TDeletion deletion(FCommands);
    {
        TProgressScope progress(*this, QStringLiteral("Deleting..."), 8);
        deletion.Run(serials);
    }
    // The list is read again also after a failure, when something was
    // deleted: the rows of deleted messages would otherwise stay listed.
    if (deletion.NeedsRefill()) RefillAfterDeletion(deletion.Failure() != nullptr);
    if (deletion.Failure()) std::rethrow_exception(deletion.Failure());
}

bool Tfmain::DeleteRow(int index) {
    if (index < 0 || index >= headlist->topLevelItemCount()) return false;
    TCommandPump::TScope command(FCommands);
    return TDeletion(FCommands).DeleteRecord(serialOfRow(headlist->topLevelItem(index)));
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
