// "Check Messages" in the main window: the command's face. The run itself is
// TCheckRun; the window shows its progress and takes its rows.
#include "app/fmMain.h"

#include "app/udmCheckRun.h"
#include "app/udmSpamReason.h"
#include "ui/CommandGuard.h"
#include "ui/TextCodec.h"

#include <QTextBrowser>
#include <QTreeWidget>

void Tfmain::RunServerCommand(void (Tfmain::*command)()) {
    if (ui::BusyScope::busy()) return;
    ui::BusyScope busy;
    try {
        (this->*command)();
    } catch (const ERunAborted&) {
        // The user stopped it, or closed the window: nobody is to be told.
    }
}

void Tfmain::CheckAccClick() { RunServerCommand(&Tfmain::CheckMessages); }

void Tfmain::CheckMessages() {
    if (!SelectedAccountItem()) return;
    TCommandPump::TScope command(FCommands);
    // The rows a successful run fills in are ticked by their verdicts, so
    // their count is known without a look at every row.
    int ticked = -1;
    try {
        // Rules, words and friends are read once per run; the verdict is the
        // same as testing every line for every message.
        const TSpamJudge judge(ReadFilterFile(FiltersFilePath()), SpamRulesOf(FSettings),
                               TFriendsList(ReadFilterFile(FriendsFilePath())));
        FCurrentRow = -1;
        const TPOP3Rec rec = ReadSelectedAccount().value_or(TPOP3Rec{});
        TProgressScope progress(*this, QStringLiteral("Check Messages ") + ui::toQString(rec.Name), 8);
        const TIdCharsetDecoding charsets =
            FSettings.AllCharsets ? TIdCharsetDecoding::AllToUtf8 : TIdCharsetDecoding::Written;
        TCheckRun run(rec, judge, {FSettings.FastCheck, charsets}, FCommands, this);
        run.TakeOldRows = [this] { return TakeHeaderRows(); };
        try {
            run.Run();
        } catch (...) {
            // Rows whose records were replaced would show nothing or the
            // wrong thing: the list and the view go with them.
            if (run.RecordsReplaced()) {
                ClearHeaderList();
                memo->clear();
                FCurrentRow = -1;
            }
            throw;
        }
        barPanels[0]->setText(QStringLiteral("  POP3 host: ") + ui::toQString(rec.Host));
        ClearHeaderList();
        FCommands.Pump();
        FillHeaderList(run.TakeRows());
        ticked = run.Ticked();
        if (headlist->topLevelItemCount() > 0) {
            headlist->setCurrentItem(headlist->topLevelItem(0));
            headlist->setFocus();
        }
    } catch (...) {
        UpdateSelectedCount();
        UpdateCommands();
        throw;
    }
    ShowSelectedCount(ticked);
    UpdateCommands();
}

// Each row is filled before it joins the list, and all join it in one step:
// a row in the list reports every single change to the view, and every
// insertion is a change of its own.
void Tfmain::FillHeaderList(std::vector<std::unique_ptr<QTreeWidgetItem>> rows) {
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (auto& row : rows) items.append(row.release());
    headlist->addTopLevelItems(items);
}
