#include "app/udmMessageHeader.h"

#include "app/MessageView.h"
#include "app/udmCommand.h"
#include "app/udmPOP3.h"
#include "message/IdGlobal.h"
#include "ui/DateFormat.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>

namespace {

std::uint64_t nextSerial() {
    static std::atomic<std::uint64_t> serial{0};
    return ++serial;
}

}  // namespace

TMessageHeader::TMessageHeader(std::shared_ptr<TPOP3> client, int number)
    : Client(std::move(client)), Msg(std::make_unique<TIdMessage>()), Number(number), Serial(nextSerial()) {}

QString TMessageHeader::DateText() const { return ui::formatMessageDate(Msg->Date); }

std::string TMessageHeader::SizeText() const { return std::to_string(Msg->Tag); }

std::string TMessageHeader::SenderText() const { return Msg->From.Address(); }

std::string TMessageHeader::RecipientsText() const {
    return RawRecipients.empty() ? Msg->Recipients.AddressListText() : RawRecipients;
}

std::string TMessageHeader::SubjectText() const { return Msg->Subject; }

std::string TMessageHeader::IdText() const { return Msg->MessageId; }

std::string TMessageHeader::ViewText() const { return MessageViewText(*Msg, Retrieved, BodyError); }

void TMessageHeader::Retrieve(TCommandPump& pump) {
    if (Retrieved) return;
    pump.Pump();
    TPOP3& client = *Client;
    TAttempt attempt;
    try {
        // A connection left open by an earlier command may have been logged
        // out by the server while the program sat idle; it is opened again
        // once, as long as nothing was marked on it.
        const bool mayReopen = client.IsConnected() && client.MarksOnConnection() == 0;
        if (!client.IsConnected()) client.Connect(-1);
        attempt = attemptRetrieve(mayReopen);
        if (attempt == TAttempt::Stale) {
            client.Abandon();
            client.Connect(-1);
            attempt = attemptRetrieve(false);
        }
    } catch (...) {
        // The reply may be half read, or the user stopped the download: the
        // connection ends, and the next command opens a new one.
        client.Abandon();
        throw;
    }
    switch (attempt) {
    case TAttempt::Fetched: Retrieved = true; return;
    case TAttempt::Moved: throw EMessageMoved();
    case TAttempt::Refused:
    case TAttempt::Stale: throw ERetrieveRefused(Trim(client.LastReply().FormattedText()));
    }
}

// Stale, when `connectionMayBeStale`: the connection was gone before any
// reply, or the first reply was "-ERR" (a server logging a client out may
// answer its next command so before it closes); another try on a new
// connection may do. Otherwise a lost connection passes on, and "-ERR" is
// Refused.
TMessageHeader::TAttempt TMessageHeader::attemptRetrieve(bool connectionMayBeStale) {
    TPOP3& client = *Client;
    const std::uint64_t accepted = client.RepliesAccepted();
    const auto refused = [&] {
        return connectionMayBeStale && client.RepliesAccepted() == accepted + 1 ? TAttempt::Stale : TAttempt::Refused;
    };
    try {
        if (!UniqueId.empty()) {
            std::vector<std::string> reply;
            if (!client.ListUniqueIds(reply, Number)) return refused();
            const TUniqueIds ids = ParseUniqueIdListing(reply);
            const std::string* id = FindUniqueId(ids, Number);
            if (!id || *id != UniqueId) return TAttempt::Moved;
        }
        return fetchWhole() ? TAttempt::Fetched : refused();
    } catch (const EIdConnectionLost&) {
        if (!connectionMayBeStale || client.RepliesAccepted() != accepted) throw;
        return TAttempt::Stale;
    }
}

// "RETR n" into the message, whose header lines are read afresh so that
// each shows once; false on "-ERR".
bool TMessageHeader::fetchWhole() {
    TIdHeaderList kept = Msg->HeaderLines;
    Msg->HeaderLines.Clear();
    bool fetched = false;
    try {
        fetched = Client->FetchMessage(Number, *Msg, TIdHeaderFields::Lenient);
    } catch (const EIdMessageBodyError& failure) {
        BodyError = failure.Message();
        return true;
    } catch (...) {
        // Half a message is no message: its attachment files go with its
        // parts, and the header of the check run comes back.
        Msg->ResetBody();
        Msg->HeaderLines = std::move(kept);
        throw;
    }
    if (!fetched) Msg->HeaderLines = std::move(kept);
    return fetched;
}

namespace {

// The folder the user chose last in the save dialog.
QString& lastSaveFolder() {
    static QString folder;
    return folder;
}

}  // namespace

void TMessageHeader::SaveAttachment(const std::string& link, QWidget* parent) const {
    const int index = PartIndexOfLink(link);
    const auto* part = dynamic_cast<const TIdAttachment*>(&Msg->Parts.Items(index));
    if (!part) return;
    QString folder = lastSaveFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    const QString proposed = QDir(folder).filePath(ui::toQString(SafeFileName(part->AttachedFileName)));
    const std::optional<QString> chosen = ui::platform().saveFileName(parent, proposed);
    if (!chosen || chosen->isEmpty()) return;
    lastSaveFolder() = QFileInfo(*chosen).absolutePath();
    part->SaveCopyOver(QFile::encodeName(*chosen).toStdString());
}

TMessageHeaders& MessageHeaders() {
    static TMessageHeaders headers;
    return headers;
}

TMessageHeader* FindHeaderById(std::string_view id) {
    for (const auto& header : MessageHeaders())
        if (header->Msg->MessageId == id) return header.get();
    return nullptr;
}

TMessageHeader* FindHeaderBySerial(std::uint64_t serial) {
    for (const auto& header : MessageHeaders())
        if (header->Serial == serial) return header.get();
    return nullptr;
}

void AbandonMessageHeaders() {
    TMessageHeaders& headers = MessageHeaders();
    for (const auto& header : headers) {
        if (header->Client) header->Client->Abandon();
    }
    headers.clear();
}
