#include "app/udmDeletion.h"

#include "app/udmCommand.h"
#include "app/udmMessageHeader.h"
#include "app/udmPOP3.h"
#include "message/IdGlobal.h"

#include <algorithm>

void TDeletion::Run(const std::vector<std::uint64_t>& serials) {
    try {
        for (const std::uint64_t serial : serials)
            if (DeleteRecord(serial)) refill_ = true;
    } catch (const ERunAborted&) {
        abandonAll();
        throw;
    } catch (const EMailboxChanged&) {
        // The list no longer tells which message a row means.
        failure_ = std::current_exception();
        refill_ = true;
    } catch (...) {
        failure_ = std::current_exception();
    }
    // A "DELE" answered with neither "+OK" nor "-ERR" may have marked its
    // message, and the "QUIT" below commits whatever it did.
    if (std::any_of(used_.begin(), used_.end(), [](const auto& client) { return client->MayHaveMarks(); }))
        refill_ = true;
    endConnections();
}

bool TDeletion::DeleteRecord(std::uint64_t serial) {
    TMessageHeader* record = serial != 0 ? FindHeaderBySerial(serial) : nullptr;
    if (!record) return false;
    if (std::find(used_.begin(), used_.end(), record->Client) == used_.end()) used_.push_back(record->Client);
    return deleteOnServer(*record);
}

bool TDeletion::deleteOnServer(TMessageHeader& record) {
    pump_.Pump();
    if (record.Deleted) return true;
    TPOP3& client = *record.Client;
    // A connection left open by an earlier command may have been logged out
    // by the server while the program sat idle. Such a connection is opened
    // again once, as long as nothing was marked on it: the confirmation
    // that comes first only reads, so repeating it on a new connection is
    // safe, and marks of a lost connection are gone anyway.
    const bool wasOpen = client.IsConnected();
    const bool mayReopen = wasOpen && client.MarksOnConnection() == 0;
    if (!wasOpen) client.Connect(-1);
    Identity identity;
    try {
        identity = identify(record);
    } catch (const EIdConnectionLost&) {
        if (!mayReopen) throw;
        identity = Identity::Refused;
    }
    // A server logging a client out may answer its next command "-ERR"
    // before it closes.
    if (identity == Identity::Refused && mayReopen) {
        client.Abandon();
        client.Connect(-1);
        identity = identify(record);
    }
    switch (identity) {
    case Identity::Same: break;
    case Identity::Refused: throw EConfirmationRefused(Trim(client.LastReply().FormattedText()));
    case Identity::NotWhole: throw EMessageNotIdentified(EMessageNotIdentified::Reason::HeaderNotWhole);
    case Identity::Twin: throw EMessageNotIdentified(EMessageNotIdentified::Reason::SameAsAnother);
    case Identity::Other: throw EMailboxChanged();
    }
    record.Deleted = client.DeleteMessage(record.Number);
    return record.Deleted;
}

TDeletion::Identity TDeletion::identify(TMessageHeader& record) {
    if (record.UniqueId.empty()) return compareHeader(record);
    std::vector<std::string> reply;
    if (!record.Client->ListUniqueIds(reply, record.Number)) return Identity::Refused;
    const TUniqueIds ids = ParseUniqueIdListing(reply);
    const std::string* id = FindUniqueId(ids, record.Number);
    return id && *id == record.UniqueId ? Identity::Same : Identity::Other;
}

// Whether another message of the same check run has exactly this header and
// size: the server could hand either one back for this number.
bool TDeletion::hasTwinInRun(const TMessageHeader& record) {
    const std::string text = record.Msg->HeaderLines.Text();
    for (const auto& other : MessageHeaders()) {
        if (other.get() == &record || other->Client != record.Client || other->Msg->Tag != record.Msg->Tag) continue;
        if (other->Msg->HeaderLines.Text() == text) return true;
    }
    return false;
}

// Without unique ids the header as received and the size stand for the
// message: its trace fields ("Received", dates, ids) differ from one
// delivery to the next, and two copies of one message differ in size when
// their bodies do. It costs "TOP n 0" and "LIST n" per deletion. The lines
// are what counts, so the header's fields are not processed.
TDeletion::Identity TDeletion::compareHeader(TMessageHeader& record) {
    if (record.HeaderCut || record.Msg->HeaderLines.Count() == 0) return Identity::NotWhole;
    if (hasTwinInRun(record)) return Identity::Twin;
    TPOP3& client = *record.Client;
    TIdMessage probe;
    try {
        client.Enqueue(TIdPOP3Command::Top, record.Number);
        client.ReceiveHeader(probe);
    } catch (const EIdProtocolReplyError&) {
        return Identity::Refused;
    }
    // A line the kept header did not have whole: another message.
    if (client.HeaderWasCut() || probe.HeaderLines.Text() != record.Msg->HeaderLines.Text()) return Identity::Other;
    try {
        return client.MessageSize(record.Number) == record.Msg->Tag ? Identity::Same : Identity::Other;
    } catch (const EIdProtocolReplyError&) {
        return Identity::Refused;
    }
}

// Ends the connections with "QUIT" and waits for the answer, so that what
// the user confirmed happens now, whatever the refill finds later; also
// after a refused "DELE", which keeps the marks made before it. A failure
// of "QUIT" becomes the command's failure unless there is one.
void TDeletion::endConnections() {
    for (const auto& client : used_) {
        try {
            if (client->IsConnected()) client->Quit();
        } catch (const ERunAborted&) {
            abandonAll();
            throw;
        } catch (...) {
            if (!failure_) failure_ = std::current_exception();
        }
    }
}

void TDeletion::abandonAll() {
    for (const auto& client : used_) client->Abandon();
    for (const auto& record : MessageHeaders())
        if (std::find(used_.begin(), used_.end(), record->Client) != used_.end()) record->Deleted = false;
}
