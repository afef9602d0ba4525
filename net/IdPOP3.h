#pragma once

#include "message/IdMessageClient.h"
#include "net/IdSSLIOHandlerSocket.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// "Unrecognized POP3 Response Header:" LF '"' %s '"'.
extern const char* const UnrecognizedReplyFormat;

// The commands this client sends. Which of their replies carry lines up to
// "." is written once, in CommandForm.
enum class TIdPOP3Command : std::uint8_t {
    User, Pass, Apop, Capa, Stat, List, UidlAll, Uidl, Top, Retr, Dele, Quit,
};

struct TIdPOP3CommandForm {
    // The command word; the message number and, for "TOP", the line count
    // 0 follow it.
    std::string_view Verb;
    // A "+OK" reply goes on with lines up to the line ".".
    bool MultiLine;
};

[[nodiscard]] const TIdPOP3CommandForm& CommandForm(TIdPOP3Command command);

// How a whole-message fetch fills the header fields: as header processing
// does, a field that cannot be processed failing the fetch with the body
// left unread; or field by field, a failing field keeping its raw text
// (ReadHeaderFieldsLeniently), so that one bad date or address does not
// keep a message from being read.
enum class TIdHeaderFields : std::uint8_t { Strict, Lenient };

// Unique ids by message number, ordered by number, one per number.
using TUniqueIds = std::vector<std::pair<std::int32_t, std::string>>;

// The "UIDL" listing ("n uid" per line) as unique id by message number;
// lines that do not start with a number and an id are skipped, and the
// first line of a number counts.
[[nodiscard]] TUniqueIds ParseUniqueIdListing(const std::vector<std::string>& lines);

// The unique id listed for the message number, or null.
[[nodiscard]] const std::string* FindUniqueId(const TUniqueIds& ids, std::int32_t number);

// The client side of POP3 as this program uses it: login, CAPA, STAT, LIST,
// UIDL, TOP n 0, RETR, DELE and QUIT. "+OK" maps to reply code 1, "-ERR" to 2.
//
// Commands are put in line and replies read in the order the commands went
// out. A command goes out once fewer than PipelineDepth commands await
// their replies: with the depth 1 the conversation is one command, then its
// reply, the next command going out as soon as that reply is in (the
// caller then works while the server answers); with a larger depth the
// client keeps that many commands in flight (RFC 2449 PIPELINING). The
// operations that send one command and read its reply (MessageCount,
// FetchHeader, ...) use the same line.
class TIdPOP3 : public TIdMessageClient {
public:
    TIdPOP3();

    // Opens the connection, reads the greeting, asks "CAPA" when
    // AskCapabilities is set, and logs in (USER/PASS or APOP). A failure
    // after the socket opened sends QUIT and closes, then passes on:
    // EIdProtocolReplyError for "-ERR", EIdException for an unrecognised
    // reply or an APOP greeting without timestamp.
    // With UseTLS, the connection is encrypted (from the first byte, or by
    // "STLS" after the greeting) and its certificate checked before "CAPA"
    // and the login go out: EIdTLSCertificateError, EIdTLSError, and
    // EIdTLSNotOffered when the server refuses "STLS".
    void Connect(int timeout = -1) override;
    // Sends QUIT when connected (no reply read), then closes; the socket is
    // closed also when sending QUIT raises, and that failure passes on.
    void Disconnect() override;
    // "QUIT", waiting for the server's answer, then closes: when it returns,
    // the server has removed the messages marked on this connection. Raises
    // EIdProtocolReplyError on "-ERR" and the connection's failures when no
    // answer comes; the socket is closed in every case.
    void Quit();
    // Closes the connection without "QUIT", as at program end: the server
    // keeps every message marked on it.
    void Abandon();

    // Reads one single-line reply and maps its status word, in any letter
    // case: "+OK" to 1, "-ERR" to 2; anything else raises EIdException with
    // the message made from UnrecognizedReplyFormat. Then checks the code
    // against `allowed` ({-1}: any).
    int ReadResponse(const std::vector<int>& allowed) override;

    // "STAT": the message count; 0 for a bare "+OK". Raises EConvertError
    // when the text before the first blank (all of it when the size is left
    // out) is not an integer.
    [[nodiscard]] int MessageCount();
    // "LIST n": the size in bytes (the word after the message number,
    // whatever follows it), -1 when the reply holds no number there.
    [[nodiscard]] int MessageSize(int messageNumber);
    // The size in the reply "+OK number size" to "LIST number"; -1 when it
    // has none.
    [[nodiscard]] static int ListedSize(const TIdRFCReply& reply);
    // "UIDL" (messageNumber < 0): appends the listing lines to `list`;
    // "UIDL n": replaces `list` by the reply text. False on "-ERR".
    bool ListUniqueIds(std::vector<std::string>& list, int messageNumber = -1);
    // "TOP n 0": reads the header lines up to "." into msg and fills its
    // fields. True or raises.
    bool FetchHeader(int messageNumber, TIdMessage& msg);
    // "RETR n": the header lines (appended to msg.HeaderLines) and the body
    // (TIdMessageClient::ReceiveMessageBody) into msg; a message without a
    // blank line after its header has no body to read. False on "-ERR",
    // nothing read and msg unchanged. Failures of the connection and of
    // body reception pass on as they are; after any but EIdMessageBodyError
    // (the reply was read to its end) the rest of the reply may be unread,
    // and the caller ends the connection.
    bool FetchMessage(int messageNumber, TIdMessage& msg, TIdHeaderFields fields = TIdHeaderFields::Strict);
    // "DELE n": marks the message; the server removes it after QUIT.
    // Counted in MarksOnConnection. Raises EIdProtocolReplyError on "-ERR".
    bool DeleteMessage(int messageNumber);

    // --- Commands in line

    // Puts a command in line (`number`: its message number, none below 0);
    // it goes out at once when the depth allows. A command's arguments are
    // numbers only: user name and password go out with Connect.
    void Enqueue(TIdPOP3Command command, int number = -1);
    // Puts commands (command, message number) in line; those the depth
    // allows go out in one send.
    void Enqueue(const std::vector<std::pair<TIdPOP3Command, int>>& commands);
    // The replies, each to the oldest command still awaiting one, which
    // must be of the kind named (an internal error otherwise). They fail as
    // the operations above do.
    [[nodiscard]] int ReceiveCount();
    [[nodiscard]] int ReceiveSize();
    // The reply to "UIDL": false on "-ERR", else the listing appended.
    bool ReceiveUniqueIds(std::vector<std::string>& list);
    // The reply to "TOP n 0": the header lines into msg, its fields left for
    // the caller to fill (TIdMessageClient::ReadHeaderFields), which can
    // then be done while the server answers the next command.
    void ReceiveHeader(TIdMessage& msg);
    // Commands put in line whose replies have not been read.
    [[nodiscard]] std::size_t CommandsInLine() const { return queued_.size() + inFlight_.size(); }

    // The most commands in flight at once; small enough that neither side
    // can block on a full send buffer while the other waits for it to read.
    static constexpr int kMaxPipelineDepth = 64;
    // How many commands may await their replies at once (1 to
    // kMaxPipelineDepth). Above 1 the commands that go out together leave
    // at once instead of waiting for the acknowledgement of the ones before
    // (no Nagle delay), which would otherwise cost a round trip each.
    void SetPipelineDepth(int depth);
    [[nodiscard]] int PipelineDepth() const { return pipelineDepth_; }

    // Whether the server listed the capability (first word of a CAPA line,
    // any letter case) when Connect asked for them.
    [[nodiscard]] bool HasCapability(std::string_view name) const;

    // The "DELE" commands the server accepted on the open connection. They
    // take effect at "QUIT" and are lost when the connection ends otherwise.
    [[nodiscard]] int MarksOnConnection() const { return marks_; }
    // Whether the open connection may carry a mark: one was accepted, or a
    // "DELE" went out whose answer was neither "+OK" nor "-ERR".
    [[nodiscard]] bool MayHaveMarks() const { return marks_ > 0 || markUnsure_; }
    // Replies that passed the status check so far, so that a caller can tell
    // whether a failure came before or after a command's "+OK".
    [[nodiscard]] std::uint64_t RepliesAccepted() const { return repliesAccepted_; }

    std::string Username;
    std::string Password;
    bool APOP = false;
    bool AskCapabilities = false;
    TIdUseTLS UseTLS = TIdUseTLS::utNoTLS;
    // A certificate the user trusted for this account although it did not
    // verify (see TIdSSLIOHandlerSocket::TrustedFingerprint).
    std::string TrustedFingerprint;

private:
    struct Queued {
        TIdPOP3Command command;
        int number;
    };

    void logIn();
    void readCapabilities();
    // Disconnect after a failed login, keeping a QUIT failure from hiding
    // the login failure.
    void closeAfterFailedLogin();
    // Sends the commands in line that the depth allows, in one write; after
    // a reply (HalfWindow) only once half the window is free.
    enum class TRefill { Full, HalfWindow };
    void sendQueued(TRefill refill);
    // Reads the status of the reply to the oldest command in flight, which
    // must be `expected`; returns its code.
    int beginReply(TIdPOP3Command expected, const std::vector<int>& allowed);
    // The reply to the oldest command in flight has been read (or is
    // whole in the input buffer): the next commands may go out.
    void endReply();
    // Whether the rest of a multi-line reply whose status has been read is
    // whole in the input buffer.
    [[nodiscard]] bool replyEndBuffered();
    // Forgets the commands in line after a failure: the connection is out
    // of step, and its callers end it.
    void dropLine();
    void resetSession();
    // Makes the transport a TLS one for a connection with UseTLS.
    void prepareTLSTransport();
    // "STLS", then the handshake on the same socket.
    void startTLS();

    std::deque<Queued> queued_;
    // A send of commands ahead of replies still to be read failed: those
    // replies are read first, and the failure raised where the reply to a
    // command that never went out is awaited.
    std::exception_ptr sendFailure_;
    std::deque<TIdPOP3Command> inFlight_;
    // The oldest command in flight has its reply whole in the buffer and no
    // longer counts against the depth.
    bool frontArrived_ = false;
    std::vector<std::string> capabilities_;
    std::uint64_t repliesAccepted_ = 0;
    int pipelineDepth_ = 1;
    int marks_ = 0;
    bool markUnsure_ = false;
};
