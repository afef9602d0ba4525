// The check run of the main window: one connection reads the header and the
// size of every waiting message, and the header list is filled from them.
#include "app/fmMain.h"

#include "app/fmMainRun.h"
#include "app/udmPOP3.h"
#include "app/udmSpam.h"
#include "net/IdExceptions.h"
#include "net/IdStack.h"
#include "ui/Application.h"
#include "ui/CommandGuard.h"
#include "ui/TextCodec.h"

#include <QScopeGuard>
#include <QTextBrowser>
#include <QTreeWidget>

#include <ctime>
#include <functional>
#include <set>

namespace {

// Pending events run at most this often while a run waits or fills the list:
// 20 repaints a second keep the window live, and each pump repaints the
// progress bar, which costs more than reading a header.
constexpr qint64 kPumpIntervalMs = 50;

// A monotonic clock of a few milliseconds' resolution, which is plenty for
// spacing pumps and costs a fraction of the precise one: the run asks it
// for every header line.
qint64 CoarseMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

void Tfmain::CheckAccClick() {
    // A run or a deletion is waiting on the network already.
    if (ui::BusyScope::busy()) return;
    ui::BusyScope busy;
    try {
        CheckMessages();
    } catch (const ERunAborted&) {
        // The window was closed; there is nobody left to tell.
    }
}

void Tfmain::PumpRun() {
    if (FRunAborted) throw ERunAborted();
    if (FLastPumpMs >= 0 && CoarseMilliseconds() - FLastPumpMs < kPumpIntervalMs) return;
    ui::processPendingEvents();
    // Counted from the end of the pump: a slow repaint cannot take the
    // whole run.
    FLastPumpMs = CoarseMilliseconds();
    if (FRunAborted) throw ERunAborted();
}

void Tfmain::CheckMessages() {
    if (!SelectedAccountItem()) return;
    TRunScope run(FRunActive, FRunAborted, [this] { PumpRun(); });
    FRecordsReplaced = false;
    // The rows a successful run fills in are ticked by their verdicts, so
    // their count is known without a look at every row.
    int ticked = -1;
    const auto cleanUp = [this, &ticked] {
        if (ticked >= 0)
            ShowSelectedCount(ticked);
        else
            UpdateSelectedCount();
        UpdateCommands();
        ShowProgress(QString(), 8);
    };
    try {
        // Rules and words are read once per run; the verdict is the same as
        // testing every line for every message.
        const TPreparedFilters filters(ReadFilterFile(FiltersFilePath()));
        const TSpamRules rules = SpamRulesOf(FSettings);
        FRunFilters = &filters;
        FRunRules = &rules;
        const auto forgetRun = qScopeGuard([this] {
            FRunFilters = nullptr;
            FRunRules = nullptr;
            FPreparedRows.clear();
        });
        FCurrentRow = -1;
        const TPOP3Rec rec = ReadSelectedAccount().value_or(TPOP3Rec{});
        ShowProgress(QStringLiteral("Check Messages ") + ui::toQString(rec.Name), 8);
        ReadMailbox(TPOP3::CreateClient(rec, this));
        barPanels[0]->setText(QStringLiteral("  POP3 host: ") + ui::toQString(rec.Host));
        ClearHeaderList();
        PumpRun();
        ticked = FillHeaderList(filters, rules);
        if (headlist->topLevelItemCount() > 0) {
            headlist->setCurrentItem(headlist->topLevelItem(0));
            headlist->setFocus();
        }
    } catch (...) {
        // Rows whose records were replaced would show nothing or the wrong
        // thing: the list and the view go with them.
        if (FRecordsReplaced) {
            ClearHeaderList();
            memo->clear();
            FCurrentRow = -1;
        }
        ticked = -1;
        cleanUp();
        throw;
    }
    cleanUp();
}

int Tfmain::ReadMailbox(const std::shared_ptr<TPOP3>& client) {
    PumpRun();
    int count = 0;
    try {
        // The previous run's connection, and any that a download or deletion
        // left open, end with "QUIT". A connection the server has dropped
        // meanwhile cannot take it; that must not stop this run.
        std::set<TPOP3*> previous;
        for (const auto& header : MessageHeaders())
            if (header->Client) previous.insert(header->Client.get());
        for (TPOP3* old : previous) {
            try {
                if (old->IsConnected()) old->Disconnect();
            } catch (const EIdException&) {
            }
        }
        if (client->IsConnected()) client->Disconnect();
        client->Connect(-1);
        // Each command below goes out before the work that does not need
        // its reply, which is then done while the server answers; the
        // exchanges stay one after the other.
        client->SendAhead("UIDL");
        PumpRun();
        // The previous run's records are replaced now, and their rows,
        // which could show nothing more, leave the list with them. Both are
        // destroyed one by one while the server answers, the rest when this
        // ends: freeing them all at once would hold up the list fill.
        TMessageHeaders retired;
        retired.swap(MessageHeaders());
        FPreparedRows.clear();
        FRecordsReplaced = true;
        std::vector<std::unique_ptr<QTreeWidgetItem>> retiredRows = TakeHeaderRows();
        // The unique ids are kept with the records: a later command on a new
        // connection checks with them that a number still names its message.
        std::vector<std::string> listing;
        client->ListUniqueIds(listing, -1);
        client->SendAhead("STAT");
        count = client->MessageCount();
        if (count >= 1) client->SendAhead("TOP 1 0");
        // The listing is taken apart while the server answers the first
        // "TOP": the answer to "STAT" comes sooner than that work is done.
        TUniqueIds ids = ParseUniqueIdListing(listing);
        // Walked in step with the message numbers, which both run upwards:
        // a lookup per message would cost more than reading its header.
        auto id = ids.begin();
        for (int i = 1; i <= count; ++i) {
            PumpRun();
            // "TOP i+1 0" goes out as soon as "LIST i" is answered, before
            // this message's row is built.
            const std::string top = i < count ? "TOP " + std::to_string(i + 1) + " 0" : std::string();
            auto header = std::make_unique<TMessageHeader>(client, i, top);
            while (id != ids.end() && id->first < i) ++id;
            if (id != ids.end() && id->first == i) header->UniqueId = std::move(id->second);
            MessageHeaders().push_back(std::move(header));
            if (FRunFilters && FRunRules)
                FPreparedRows.push_back(MakeHeaderRow(*MessageHeaders().back(), *FRunFilters, *FRunRules));
            if (!retired.empty()) retired.pop_back();
            if (!retiredRows.empty()) retiredRows.pop_back();
        }
    } catch (...) {
        EndConnection(*client);
        throw;
    }
    EndConnection(*client);
    return count;
}

// "QUIT" and close; after the window was closed, close without "QUIT" as at
// any program end. A failing "QUIT" loses nothing here: this connection
// marked nothing for deletion.
void Tfmain::EndConnection(TPOP3& client) {
    try {
        if (FRunAborted)
            client.Abandon();
        else if (client.IsConnected())
            client.Disconnect();
    } catch (const EIdException&) {
        client.Abandon();
    }
}

// Each row is filled before it joins the list, and all join it in one step:
// a row in the list reports every single change to the view, and every
// insertion is a change of its own.
int Tfmain::FillHeaderList(const TPreparedFilters& filters, const TSpamRules& rules) {
    const TMessageHeaders& records = MessageHeaders();
    // Rows built during the run belong to these records only when the run
    // built one for each of them, in order.
    if (FPreparedRows.size() != records.size()) {
        FPreparedRows.clear();
        for (const auto& record : records) {
            FPreparedRows.push_back(MakeHeaderRow(*record, filters, rules));
            PumpRun();
        }
    }
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(FPreparedRows.size()));
    int ticked = 0;
    for (TPreparedRow& prepared : FPreparedRows) {
        rows.append(prepared.Row.release());
        if (prepared.Spam) ++ticked;
    }
    FPreparedRows.clear();
    headlist->addTopLevelItems(rows);
    return ticked;
}

Tfmain::TPreparedRow Tfmain::MakeHeaderRow(const TMessageHeader& record, const TPreparedFilters& filters,
                                           const TSpamRules& rules) {
    auto row = std::make_unique<THeaderRow>(static_cast<QTreeWidget*>(nullptr), QStringList{});
    row->setFlags(THeaderRow::kFlags);
    const bool spam = IsSpamMessage(*record.Msg, record.Msg->Tag, rules, filters);
    row->setCheckState(0, spam ? Qt::Checked : Qt::Unchecked);
    FillHeaderRow(*row, record, spam);
    return {std::move(row), spam};
}

void Tfmain::FillHeaderRow(THeaderRow& row, const TMessageHeader& record, bool spam) {
    // The row shows what it keeps (the date text of `DateText`, the size of
    // `SizeText`, the mark followed by `SenderText`, `RecipientsText`,
    // `SubjectText`, `IdText`); its texts are made when they are shown.
    row.SetKeys({record.Serial, spam, record.Msg->Date, record.Msg->Tag,
                 {(spam ? "!" : "") + record.SenderText(), record.RecipientsText(), record.SubjectText(),
                  record.IdText()}});
}
