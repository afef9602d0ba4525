#pragma once

#include "net/IdBuffer.h"
#include "net/IdComponent.h"
#include "net/IdIOHandler.h"
#include "net/IdRFCReply.h"

#include <climits>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

enum class TIdMaxLineAction { maException, maSplit };
inline constexpr TIdMaxLineAction maException = TIdMaxLineAction::maException;
inline constexpr TIdMaxLineAction maSplit = TIdMaxLineAction::maSplit;

// Where ReadLinesUntil puts the lines: appended to a string list, written
// to a stream each followed by CR LF, or dropped (monostate or nullptr).
using TIdLinesTarget = std::variant<std::monostate, std::vector<std::string>*, std::ostream*>;

// A blocking, buffered TCP connection for line-oriented protocols: lines
// in and out, multi-line data up to a delimiter line, replies parsed into
// LastReply and checked against the codes a command allows. Every call runs
// on the caller's thread and returns when its data has arrived or it failed.
class TIdTCPConnection : public TIdComponent {
public:
    TIdTCPConnection();
    ~TIdTCPConnection() override;

    // Whether the transport's socket is open, after a disconnect check that
    // never raises. A peer's close is only noticed by a read.
    [[nodiscard]] virtual bool IsConnected();
    // Fires hsDisconnecting, closes the socket, frees an owned transport,
    // fires OnDisconnected and hsDisconnected. Safe when not connected.
    virtual void Disconnect();

    // One line without its terminator (empty: LF; with LF a CR before it
    // goes too). maxLength -1 means MaxLineLength, 0 no limit. Raises
    // EIdReadLnMaxLineLengthExceeded (maException), EIdConnClosedGracefully,
    // EIdReadTimeout, EIdSocketError. Returns an empty line when the peer
    // closed with a partial line buffered; the next call raises.
    virtual std::string ReadLine(std::string_view terminator = "\n", int maxLength = -1);
    // Lines up to the delimiter line (compared before unstuffing) into
    // `target`, inside a read work span; returns the number of lines.
    // Raises EIdReadLinesLimitExceeded past MaxReadLinesSize bytes.
    int ReadLinesUntil(TIdLinesTarget target, std::string_view delimiter = ".", bool unstuffDots = true);
    int ReadLinesUntil(std::vector<std::string>& list, std::string_view delimiter = ".", bool unstuffDots = true);
    int ReadLinesUntil(std::ostream& stream, std::string_view delimiter = ".", bool unstuffDots = true);
    int ReadLinesUntil(std::nullptr_t, std::string_view delimiter = ".", bool unstuffDots = true);
    // Exactly `count` bytes into `buffer` (replacing its contents); nothing
    // for a count of 0 or less.
    void ReadBytes(std::string& buffer, int count);
    // The first line that is not blank after trimming, within maxAttempts
    // lines; returned trimmed (empty when every attempt was blank).
    std::string ReadNonEmptyLine(int maxAttempts = INT_MAX);

    // Sends the bytes of `text`. Raises EIdNotConnected, EIdSocketError.
    virtual void WriteText(std::string_view text);
    // Sends `text` and CR LF; a text holding CR or LF raises
    // EIdLineBreakInCommand before anything is sent.
    virtual void WriteLine(std::string_view text);
    // WriteLine(text), then ReadResponse(allowed); returns the reply code.
    virtual int SendCommand(std::string_view text, const std::vector<int>& allowed);
    // The same with one allowed code; -1 accepts every reply.
    int SendCommand(std::string_view text, int allowed);
    // Reads one reply into LastReply and checks its code against `allowed`
    // ({-1}: any); returns the code.
    virtual int ReadResponse(const std::vector<int>& allowed);
    // Reads the lines of one reply (blank lines before it skipped, every
    // line trimmed, a multi-line reply "nnn-" up to its "nnn " line) and
    // parses them into LastReply.
    void GetInternalResponse();
    // Reads one reply line (blank lines before it skipped, trimmed) and
    // parses it into LastReply, for protocols whose status is always a
    // single line: a fourth character "-" opens nothing there.
    void GetSingleLineResponse();
    // Accepts LastReply when its code is allowed ({-1}: any), otherwise
    // raises; returns the code.
    virtual int CheckResponse(const std::vector<int>& allowed);
    // Raises EIdProtocolReplyError for LastReply.
    [[noreturn]] virtual void RaiseExceptionForLastCmdResult();

    // Receives one chunk into the input buffer; returns its size, 0 when
    // the peer closed while bytes are still buffered.
    virtual int FillInput(bool raiseIfDisconnected = true);
    // Notices a closed connection; raises EIdConnClosedGracefully when
    // asked and nothing buffered is left (or ignoreBuffer).
    virtual void CheckDisconnect(bool raiseIfDisconnected = true, bool ignoreBuffer = false);

    // A transport set from outside is used and not freed; Connect creates
    // and owns one when none is set.
    void SetIOHandler(TIdIOHandler* handler);
    // Makes `handler` the transport, owned and freed as one Connect made.
    void SetOwnedIOHandler(std::unique_ptr<TIdIOHandler> handler);
    [[nodiscard]] TIdIOHandler* IOHandler() const { return ioHandler_; }
    [[nodiscard]] TIdRFCReply& LastReply() { return lastReply_; }
    [[nodiscard]] TIdManagedBuffer& InputBuffer() { return input_; }
    // Whether the last ReadLine returned a piece cut at the length limit.
    [[nodiscard]] bool ReadLnSplit() const { return readLnSplit_; }
    [[nodiscard]] bool ClosedGracefully() const { return closedGracefully_; }

    bool ASCIIFilter = false;
    int MaxLineLength = 16384;
    TIdMaxLineAction MaxLineAction = maException;
    int ReadTimeout = 0;
    int RecvBufferSize = 32768;
    int SendBufferSize = 32768;
    // Upper bound of the bytes one ReadLinesUntil or one multi-line reply
    // may gather; 0 means no limit.
    std::int64_t MaxReadLinesSize = 64 * 1024 * 1024;
    TNotifyEvent OnDisconnected;

    static constexpr int kCannotSendAfterShutdown = 10058;
    static constexpr int kConnectionAborted = 10053;
    static constexpr int kConnectionReset = 10054;

protected:
    virtual void DoOnDisconnected();
    // Closes the socket without events (a failed connect, destruction).
    virtual void DisconnectSocket();
    // Makes the owned socket transport when none is set.
    void ensureIOHandler();
    // Empties the input buffer and clears the closed flag for a new
    // connection.
    void resetForConnect();
    // ReadLine into `line`, whose room is reused: a reader of many lines
    // need not allocate for each.
    void readLineInto(std::string& line, std::string_view terminator, int maxLength);

private:
    [[nodiscard]] bool transportOpen() const;
    bool takeTooLongLine(std::string& line, std::size_t maxLength);
    int receiveChunk(int msec);
    void checkGathered(std::uint64_t start);
    [[nodiscard]] std::size_t pendingLineCap(std::string_view delimiter, std::uint64_t start) const;
    template <typename Deliver>
    bool takeBufferedLine(std::string_view delimiter, std::uint64_t start, Deliver& deliver);

    TIdIOHandler* ioHandler_ = nullptr;
    std::unique_ptr<TIdIOHandler> ownedHandler_;
    TIdManagedBuffer input_;
    TIdRFCReply lastReply_;
    bool closedGracefully_ = false;
    bool readLnSplit_ = false;
    // While ReadLinesUntil waits for the end of a line with no line length
    // limit: the most bytes that line may gather before the reply is over
    // MaxReadLinesSize (0: no bound), so one endless line is bounded too.
    std::size_t pendingLineCap_ = 0;
};
