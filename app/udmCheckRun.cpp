#include "app/udmCheckRun.h"

#include "app/HeaderRow.h"
#include "app/udmCommand.h"
#include "app/udmPOP3.h"
#include "message/IdLenientHeader.h"

#include <algorithm>
#include <set>

TCheckRun::TCheckRun(const TPOP3Rec& account, const TSpamJudge& judge, const TCheckRunOptions& options,
                     TCommandPump& pump, QObject* notifyWindow)
    : client_(TPOP3::CreateClient(account, notifyWindow)), judge_(judge), fastCheck_(options.FastCheck),
      pump_(pump) {
    client_->CharsetDecoding = options.Charsets;
}

TCheckRun::~TCheckRun() = default;

void TCheckRun::Run() {
    pump_.Pump();
    try {
        EndPreviousConnections();
        LogIn();
        // Each command goes out before the work that does not need its
        // reply, which is then done while the server answers.
        client_->Enqueue(TIdPOP3Command::UidlAll);
        client_->Enqueue(TIdPOP3Command::Stat);
        pump_.Pump();
        RetireOldRecords();
        ReadUniqueIds();
        ReadCount();
        ReadHeadersAndSizes();
    } catch (...) {
        End();
        throw;
    }
    End();
}

// The previous run's connection, and any that a download or deletion left
// open, end with "QUIT", which makes earlier deletions take effect. A
// connection the server has dropped meanwhile cannot take it; that must not
// stop this run.
void TCheckRun::EndPreviousConnections() {
    std::set<TPOP3*> previous;
    for (const auto& header : MessageHeaders())
        if (header->Client) previous.insert(header->Client.get());
    for (TPOP3* old : previous) {
        try {
            if (old->IsConnected()) old->Disconnect();
        } catch (const EIdException&) {
        }
    }
}

void TCheckRun::LogIn() {
    client_->AskCapabilities = fastCheck_;
    client_->Connect(-1);
    if (fastCheck_ && client_->HasCapability("PIPELINING")) client_->SetPipelineDepth(kPipelineDepth);
}

// The server has let the run in: the previous run's records are replaced
// now, and their rows, which could show nothing more, leave the list with
// them.
void TCheckRun::RetireOldRecords() {
    retired_.swap(MessageHeaders());
    recordsReplaced_ = true;
    if (TakeOldRows) retiredRows_ = TakeOldRows();
}

// The unique ids are kept with the records: a later command on a new
// connection checks with them that a number still names its message. A
// server without "UIDL" answers "-ERR", which does not stop the run.
void TCheckRun::ReadUniqueIds() { client_->ReceiveUniqueIds(listing_); }

void TCheckRun::ReadCount() {
    count_ = client_->ReceiveCount();
    queueAhead();
}

// Keeps the next messages' "TOP" and "LIST" in line, a window's worth ahead
// of the one being read: the count comes from the server, and a line of a
// command per message would let it claim memory without bound.
void TCheckRun::queueAhead() {
    // More than a window's worth: the next message's commands must be in
    // line before the current one's last reply is read, so that they go out
    // as soon as it is in.
    const std::size_t depth = static_cast<std::size_t>(client_->PipelineDepth());
    if (client_->CommandsInLine() > 2 * depth + 1) return;
    std::vector<std::pair<TIdPOP3Command, int>> commands;
    for (std::size_t added = 0; added < depth && queued_ < count_; ++added) {
        ++queued_;
        commands.emplace_back(TIdPOP3Command::Top, queued_);
        commands.emplace_back(TIdPOP3Command::List, queued_);
    }
    if (!commands.empty()) client_->Enqueue(commands);
}

void TCheckRun::ReadHeadersAndSizes() {
    // The listing is taken apart while the server answers the first "TOP":
    // the answer to "STAT" comes sooner than that work is done.
    const TUniqueIds ids = ParseUniqueIdListing(listing_);
    listing_.clear();
    // Room for a usual mailbox at once; the count itself is the server's
    // word and is not trusted with an allocation.
    rows_.reserve(static_cast<std::size_t>(std::clamp(count_, 0, kRowsReservedAtMost)));
    // Walked in step with the message numbers, which both run upwards: a
    // lookup per message would cost more than reading its header.
    auto id = ids.begin();
    for (int n = 1; n <= count_; ++n) {
        pump_.Pump();
        queueAhead();
        while (id != ids.end() && id->first < n) ++id;
        ReadMessage(n, id != ids.end() && id->first == n ? &id->second : nullptr);
        if (!retired_.empty()) retired_.pop_back();
        if (!retiredRows_.empty()) retiredRows_.pop_back();
    }
}

// "TOP n 0", then "LIST n": the fields are filled while the server answers
// "LIST n", the verdict and the row made while it answers the next "TOP".
// A header that cannot be processed still gives a record: the fields that
// could be read, the raw text where decoding failed, and HeaderError saying
// what went wrong; network and protocol failures end the run.
void TCheckRun::ReadMessage(int number, const std::string* uniqueId) {
    auto record = std::make_unique<TMessageHeader>(client_, number);
    client_->ReceiveHeader(*record->Msg);
    if (client_->HeaderWasCut()) {
        record->HeaderCut = true;
        record->HeaderError = EIdReadLnMaxLineLengthExceeded().Message();
    }
    const TIdLenientFields fields = ReadHeaderFieldsLeniently(*record->Msg, client_->CharsetDecoding);
    if (!fields.Error.empty()) record->HeaderError = fields.Error;
    for (const std::string& name : fields.RawFields) {
        if (name == "To")
            record->RawRecipients = record->Msg->Recipients.Count() > 0 ? record->Msg->Recipients[0].Address() : "";
    }
    record->Msg->Tag = client_->ReceiveSize();
    if (uniqueId) record->UniqueId = *uniqueId;
    const TSpamVerdict verdict = judge_.Judge(*record->Msg, record->Msg->Tag);
    record->SpamReason = SpamReasonLine(verdict);
    if (verdict.Spam) ++ticked_;
    rows_.push_back(THeaderRow::Make(*record, verdict.Spam));
    MessageHeaders().push_back(std::move(record));
}

// "QUIT" and close; after a stop, close without "QUIT" as at any program
// end. A failing "QUIT" loses nothing here: this connection marked nothing
// for deletion.
void TCheckRun::End() {
    try {
        if (pump_.StopRequested())
            client_->Abandon();
        else if (client_->IsConnected())
            client_->Disconnect();
    } catch (const EIdException&) {
        client_->Abandon();
    }
    retired_.clear();
    retiredRows_.clear();
}
