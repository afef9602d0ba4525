#pragma once

#include "message/IdMessage.h"
#include "net/IdException.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QWidget;
class TCommandPump;
class TPOP3;

// The server answered "-ERR" when asked for the message.
class ERetrieveRefused : public EIdException {
public:
    explicit ERetrieveRefused(std::string_view reply)
        : EIdException("The server refused to send the message: " + std::string(reply)) {}
};

// The message number names another message than the one the check run
// listed under it: another program changed the mailbox meanwhile.
class EMessageMoved : public EIdException {
public:
    EMessageMoved()
        : EIdException("The mailbox has changed since it was checked: the server holds another message under "
                       "this number now. Check the mailbox again to download it.") {}
};

// One message of the last check run: what the run read of it. Plain data:
// building one talks to no server; the commands that act on the message
// (deletion, download) use its client.
class TMessageHeader {
public:
    // A record for message `number` of the run of `client`, with an empty
    // message for the run to read the header into.
    TMessageHeader(std::shared_ptr<TPOP3> client, int number);
    TMessageHeader(const TMessageHeader&) = delete;
    TMessageHeader& operator=(const TMessageHeader&) = delete;

    // The run's client, shared by all records of the run.
    std::shared_ptr<TPOP3> Client;
    // The header read by the run (later the whole message); its Tag holds
    // the size the server listed, -1 when the listing held no number.
    std::unique_ptr<TIdMessage> Msg;
    std::int32_t Number = 0;
    bool Retrieved = false;
    bool Deleted = false;
    // The unique id the run's "UIDL" listing gave this number; empty when the
    // server has no listing or left the number out. A later command on a new
    // connection compares it with "UIDL n" to make sure that n still names
    // this message.
    std::string UniqueId;
    // What went wrong while the header was read, empty when nothing did.
    std::string HeaderError;
    // The header held a line over the length limit, kept cut at the limit:
    // HeaderLines is not the whole header.
    bool HeaderCut = false;
    // The "To" text shown when the field could not be parsed into addresses.
    std::string RawRecipients;
    // Why the check run marked the message, or that its sender is a friend,
    // in one line; empty for any other message.
    std::string SpamReason;
    // Never reused within the process: a header list row keeps it to find
    // its own record, whatever the message's "Message-Id".
    const std::uint64_t Serial;

    // The column texts.
    [[nodiscard]] QString DateText() const;
    [[nodiscard]] std::string SizeText() const;
    [[nodiscard]] std::string SenderText() const;
    [[nodiscard]] std::string RecipientsText() const;
    [[nodiscard]] std::string SubjectText() const;
    [[nodiscard]] std::string IdText() const;

    // Why the body of the downloaded message could not be read whole (its
    // content, not the connection, failed); the parts read before stay.
    std::string BodyError;

    // Downloads the whole message once: lets pending events run, opens and
    // logs in when the client is not connected, confirms with "UIDL n" that
    // the number still names this message (when the run got its unique
    // id), then "RETR n" with the header lines read afresh; Retrieved then
    // holds. A connection that an earlier command left open and the server
    // closed meanwhile is opened again once. Raises ERetrieveRefused on
    // "-ERR", EMessageMoved, and the failures of the connection and of the
    // login. On any failure the record is as before (the check run's
    // header, no parts, no attachment file) and a connection whose reply
    // was left half read is closed without "QUIT"; a failure of the body's
    // content instead keeps what was read, in BodyError, and the record
    // counts as retrieved.
    void Retrieve(TCommandPump& pump);

    // The text for the message view (MessageViewText).
    [[nodiscard]] std::string ViewText() const;

    // Saves the attachment named by an attachment link of the view: the save
    // dialog proposes its safe file name in the folder chosen last (at
    // first the home folder) and asks before replacing a file; the chosen
    // file gets the decoded content (TIdAttachment::SaveCopyOver). A link
    // to a part that is not an attachment, or a cancelled dialog, saves
    // nothing. Raises EConvertError for a link without a part number,
    // EListError for a number that names no part, and EIdException "Error
    // saving attachment.".
    void SaveAttachment(const std::string& link, QWidget* parent) const;

private:
    enum class TAttempt { Fetched, Refused, Moved, Stale };
    [[nodiscard]] TAttempt attemptRetrieve(bool connectionMayBeStale);
    [[nodiscard]] bool fetchWhole();
};

using TMessageHeaders = std::vector<std::unique_ptr<TMessageHeader>>;

// The records of the last check run, in message number order.
[[nodiscard]] TMessageHeaders& MessageHeaders();

// The first record whose Message-Id equals `id` byte for byte, or null.
[[nodiscard]] TMessageHeader* FindHeaderById(std::string_view id);

// The record with that serial, or null when it is no longer held.
[[nodiscard]] TMessageHeader* FindHeaderBySerial(std::uint64_t serial);

// Drops every record; their connections are closed without "QUIT".
void AbandonMessageHeaders();
