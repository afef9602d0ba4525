#pragma once

#include "app/udmAccounts.h"
#include "net/IdPOP3.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QObject;

// The POP3 client of one check run: buffers of 32 KiB, USER/PASS login, no
// ASCII filter, a read time-out, and its reading progress reported to the
// main window.
class TPOP3 : public TIdPOP3 {
public:
    TPOP3();

    // No byte from the server for this long ends a command with "Read
    // Timeout".
    static constexpr int kReadTimeout = 60000;
    // The read time-out of clients made from now on (tests shorten it); 0
    // restores kReadTimeout.
    static void SetDefaultReadTimeout(int milliseconds);

    // A new client for the account; `notifyWindow` receives the progress
    // notifications (none when null).
    [[nodiscard]] static std::shared_ptr<TPOP3> CreateClient(const TPOP3Rec& rec,
                                                             QObject* notifyWindow);

    // The OnWork handler: posts the progress notification (1, AWorkCount) to
    // the window, then lets pending events run through the transport's idle
    // hook (or at once when no hook is set). A notification still waiting
    // to be delivered stands for the ones after it: every header line raises
    // OnWork, and one event per line (each stepping the bar, which repaints
    // at once) would cost more than reading the line.
    void POP3Notify(TIdComponent& Sender, TWorkMode AWorkMode, std::int64_t AWorkCount);

    // Counts every reply that passed the status check, so that a caller can
    // tell whether a failure came before or after a command's "+OK".
    int ReadResponse(const std::vector<int>& allowed) override;

    // "TOP number 0" and its header lines into msg, without header
    // processing (TIdMessageClient::ReadHeaderFields fills the fields).
    // `next`, when given, is sent ahead as soon as the whole reply has
    // arrived, before its lines are taken apart (before even its status line
    // is read, when that is a plain "+OK" to a "TOP" sent ahead); when the
    // reply comes in pieces, or a line of it fails, the caller sends it (see
    // SentAhead).
    void ReceiveHeader(int number, TIdMessage& msg, const std::string& next = {});

    // The size from the reply to `list` ("LIST number"). `next`, when
    // given, is sent ahead as soon as that reply's status line is known to
    // be positive (a plain "+OK" to a "LIST" sent ahead is known once it is
    // whole in the buffer), before the size is taken from it.
    [[nodiscard]] int ReceiveSize(const std::string& list, const std::string& next = {});

    // Sends a command line now; the next SendCommand with the same text
    // only reads its reply. The caller works while the server answers; the
    // exchange on the wire stays one command, then its reply. A different
    // command first reads and drops the reply sent ahead, so the connection
    // stays in step.
    void SendAhead(const std::string& command);
    // The command sent ahead whose reply has not been read, or empty.
    [[nodiscard]] const std::string& SentAhead() const { return FSentAhead; }
    int SendCommand(std::string_view text, const std::vector<int>& allowed) override;
    using TIdPOP3::SendCommand;
    [[nodiscard]] std::uint64_t RepliesAccepted() const { return FRepliesAccepted; }

    // Reads and drops the rest of a multi-line reply up to its "." line,
    // cutting over-long lines into pieces instead of failing on them, so
    // that the next command's reply is read in step. The amount dropped is
    // bounded by MaxReadLinesSize.
    void SkipRestOfReply();

    // Closes the connection without "QUIT", as at program end.
    void Abandon();

    // Opens a new connection and logs in; the new connection carries no
    // deletion marks yet.
    void Connect(int timeout = -1) override;

    // "DELE n" on this connection, counted in MarksOnConnection. Raises
    // EIdProtocolReplyError on "-ERR".
    bool MarkDeleted(int messageNumber);
    // The "DELE" commands the server accepted on the open connection. They
    // take effect at "QUIT" and are lost when the connection ends otherwise.
    [[nodiscard]] int MarksOnConnection() const { return FMarks; }
    // Whether the open connection may carry a mark: one was accepted, or a
    // "DELE" went out whose answer was neither "+OK" nor "-ERR".
    [[nodiscard]] bool MayHaveMarks() const { return FMarks > 0 || FMarkUnsure; }

    // "QUIT", waiting for the server's answer, then closes: when it returns,
    // the server has removed the messages marked on this connection. Raises
    // EIdProtocolReplyError on "-ERR" and the connection's failures when no
    // answer comes; the socket is closed in every case.
    void Quit();

private:
    // Waits until the next reply's status line is whole in the input
    // buffer (giving up, with 0, past a few hundred bytes); returns the
    // length of that line with its end when it is a plain "+OK" line, which
    // the status check is bound to accept, else 0.
    std::size_t BufferedPositiveStatus();
    // Sends `next` (as SendAhead), then reads the awaited reply whose status
    // BufferedPositiveStatus found positive.
    void SendThenReadPositiveReply(const std::string& next);

    QPointer<QObject> FNotifyWindow;
    // The command sent ahead whose reply has not been read, or empty.
    std::string FSentAhead;
    // True while a posted notification has not been delivered (or dropped).
    std::shared_ptr<bool> FNotifyPending = std::make_shared<bool>(false);
    std::uint64_t FRepliesAccepted = 0;
    int FMarks = 0;
    bool FMarkUnsure = false;
};

// A number no longer names the message that the check run listed under it:
// another program changed the mailbox meanwhile.
class EMailboxChanged : public EIdException {
public:
    EMailboxChanged()
        : EIdException("The mailbox has changed since it was checked. Nothing more was deleted; "
                       "the list is read again.") {}

protected:
    explicit EMailboxChanged(const std::string& message) : EIdException(message) {}
};

// The server answered "-ERR" when asked which message a number names, so
// nothing tells that the number still names the listed message; the mailbox
// may or may not have changed, and the list is read again all the same.
class EConfirmationRefused : public EMailboxChanged {
public:
    explicit EConfirmationRefused(std::string_view reply)
        : EMailboxChanged("The server refused to confirm which message it holds under that number (" +
                          std::string(reply) + "). Nothing more was deleted; the list is read again.") {}
};

// Without unique ids a message is known by its header and its size; one
// whose header could not be read whole (or is empty), or that shares both
// with another message of the check run, cannot be told apart from others,
// so it is not deleted.
class EMessageNotIdentified : public EIdException {
public:
    enum class Reason { HeaderNotWhole, SameAsAnother };
    explicit EMessageNotIdentified(Reason reason)
        : EIdException(reason == Reason::HeaderNotWhole
                           ? "This server lists no unique ids and the message's header could not be read "
                             "whole, so it cannot be told apart from other messages. It was not deleted; "
                             "nothing more was deleted."
                           : "This server lists no unique ids and another message has the same header and "
                             "size, so it cannot be told apart from that one. It was not deleted; nothing "
                             "more was deleted.") {}
};

// One message of the last check run.
class TMessageHeader {
public:
    // Fetches the header (TOP number 0) and the size (LIST number) of the
    // message. A header that cannot be processed, or one with an over-long
    // line, still gives a record: the fields that could be read, the raw
    // text where decoding failed, and HeaderError saying what went wrong.
    // Network and protocol failures raise.
    // `next`, when given, is the command that follows: it is sent as soon as
    // the status of the answer to "LIST number" is in, before the size is
    // read from it; a record that is made has always sent it.
    TMessageHeader(std::shared_ptr<TPOP3> client, int number, const std::string& next = {});
    // Releases the message; a connected client is disconnected ("QUIT").
    ~TMessageHeader();
    TMessageHeader(const TMessageHeader&) = delete;
    TMessageHeader& operator=(const TMessageHeader&) = delete;

    std::shared_ptr<TPOP3> Client;
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
    // The header held a line over the length limit: the rest of it was
    // dropped, so HeaderLines is not the whole header.
    bool HeaderCut = false;
    // The "To" text shown when the field could not be parsed into addresses.
    std::string RawRecipients;
    // Never reused within the process: a header list row keeps it to find
    // its own record, whatever the message's "Message-Id".
    const std::uint64_t Serial;

    // Deletes this message on the server: opens the client's connection when
    // it is closed, confirms that Number still names this message, then
    // "DELE Number". True once the server accepted it; a record sends
    // "DELE" at most once. Raises EMailboxChanged when the number names
    // another message now (nothing is sent for it), EConfirmationRefused
    // when the server will not say, EMessageNotIdentified when the message
    // cannot be singled out, EIdProtocolReplyError when the server refuses
    // the deletion, and the connection's failures.
    bool DeleteOnServer();

    // The column texts.
    [[nodiscard]] QString DateText() const;
    [[nodiscard]] std::string SizeText() const;
    [[nodiscard]] std::string SenderText() const;
    [[nodiscard]] std::string RecipientsText() const;
    [[nodiscard]] std::string SubjectText() const;
    [[nodiscard]] std::string IdText() const;

    // The text for the message view: before a download the header lines as
    // received, each followed by CR LF.
    [[nodiscard]] std::string ViewText() const;

private:
    enum class Identity { Same, Other, Refused, NotWhole, Twin };

    void ReadFieldsLeniently();
    // Whether Number names this message on the open connection: by "UIDL n"
    // when the check run listed a unique id, else by the header "TOP n 0"
    // compared byte for byte and then the size "LIST n". Refused: the server
    // answered "-ERR"; NotWhole: the kept header was cut or is empty; Twin:
    // another message of the run has the same header and size.
    [[nodiscard]] Identity IdentifyOnServer();
    [[nodiscard]] Identity CompareHeaderOnServer();
    [[nodiscard]] bool HasTwinInRun() const;
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

// Unique ids by message number, ordered by number, one per number.
using TUniqueIds = std::vector<std::pair<std::int32_t, std::string>>;

// The "UIDL" listing ("n uid" per line) as unique id by message number;
// lines that do not start with a number and an id are skipped, and the
// first line of a number counts.
[[nodiscard]] TUniqueIds ParseUniqueIdListing(const std::vector<std::string>& lines);

// The unique id listed for the message number, or null.
[[nodiscard]] const std::string* FindUniqueId(const TUniqueIds& ids, std::int32_t number);

// A date in the user's locale: the short date with a four-digit year, one
// space and the long time without a time zone; the time is left out at
// exactly midnight. Empty for a value outside the years 1 to 9999.
[[nodiscard]] QString FormatMessageDate(double value);

// Fills the header fields of a message from its HeaderLines as header
// processing does, but field by field: a field whose decoding fails keeps
// its raw text (an address list: one item holding the text as its address)
// and the other fields are still filled. Returns the names of the fields
// that kept their raw text. Throws nothing of the EIdException family.
std::vector<std::string> ReadHeaderFieldsLeniently(TIdMessage& msg);
