#include "net/IdTCPConnection.h"

#include "net/IdExceptions.h"
#include "net/IdIOHandlerSocket.h"
#include "net/IdStack.h"

#include <algorithm>
#include <chrono>

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
        if (upper(text[i]) != upper(prefix[i])) return false;
    }
    return true;
}

}  // namespace

TIdTCPConnection::TIdTCPConnection() : input_(this) {}

TIdTCPConnection::~TIdTCPConnection() {
    if (ioHandler_ != nullptr) ioHandler_->Close();
}

void TIdTCPConnection::SetIOHandler(TIdIOHandler* handler) {
    if (handler == ioHandler_) return;
    ownedHandler_.reset();
    ioHandler_ = handler;
}

void TIdTCPConnection::SetOwnedIOHandler(std::unique_ptr<TIdIOHandler> handler) {
    ownedHandler_ = std::move(handler);
    ioHandler_ = ownedHandler_.get();
}

void TIdTCPConnection::ensureIOHandler() {
    if (ioHandler_ != nullptr) return;
    ownedHandler_ = std::make_unique<TIdIOHandlerSocket>();
    ioHandler_ = ownedHandler_.get();
}

void TIdTCPConnection::resetForConnect() {
    input_.Clear();
    closedGracefully_ = false;
}

bool TIdTCPConnection::transportOpen() const { return ioHandler_ != nullptr && ioHandler_->Connected(); }

bool TIdTCPConnection::IsConnected() {
    CheckDisconnect(false, false);
    return transportOpen();
}

void TIdTCPConnection::DoOnDisconnected() {
    if (OnDisconnected) OnDisconnected(*this);
}

void TIdTCPConnection::DisconnectSocket() {
    if (ioHandler_ == nullptr) return;
    closedGracefully_ = true;
    ioHandler_->Close();
}

void TIdTCPConnection::Disconnect() {
    DoStatus(TIdStatus::hsDisconnecting);
    DisconnectSocket();
    if (ownedHandler_) {
        ownedHandler_.reset();
        ioHandler_ = nullptr;
    }
    DoOnDisconnected();
    DoStatus(TIdStatus::hsDisconnected);
}

void TIdTCPConnection::CheckDisconnect(bool raiseIfDisconnected, bool ignoreBuffer) {
    bool disconnected;
    if (closedGracefully_ || ioHandler_ == nullptr) {
        if (transportOpen()) {
            ioHandler_->Close();
            DoStatus(TIdStatus::hsDisconnected);
            DoOnDisconnected();
        }
        disconnected = ioHandler_ != nullptr;
    } else {
        disconnected = !ioHandler_->Connected();
    }
    if (disconnected && (input_.Empty() || ignoreBuffer) && raiseIfDisconnected) throw EIdConnClosedGracefully();
}

int TIdTCPConnection::FillInput(bool raiseIfDisconnected) {
    const int limit = ReadTimeout > 0 ? ReadTimeout : -1;
    CheckDisconnect(raiseIfDisconnected, false);
    if (!transportOpen()) {
        if (raiseIfDisconnected) throw EIdNotConnected();
        return 0;
    }
    int n;
    do {
        n = receiveChunk(limit);
        CheckDisconnect(raiseIfDisconnected, false);
    } while (n == 0 && transportOpen());
    return n;
}

// One receive into the input buffer; 0 when the peer has closed, or when
// the socket was found shut down while bytes are still buffered (those stay
// readable).
int TIdTCPConnection::receiveChunk(int msec) {
    // Received straight into the input buffer's free end: the bytes are
    // copied once, by the kernel.
    const std::size_t size = static_cast<std::size_t>(std::max(1, RecvBufferSize));
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(msec < 0 ? 0 : msec);
    char* room = nullptr;
    int n = TIdIOHandler::kRecvTimedOut;
    while (n == TIdIOHandler::kRecvTimedOut) {
        int slice = -1;
        if (msec >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (room && left.count() <= 0) throw EIdReadTimeout();
            slice = static_cast<int>(std::max<long long>(1, left.count()));
        }
        if (TIdStack::HasIdleHook()) {
            // The hook runs window events, which may close this connection.
            TIdStack::CallIdleHook();
            if (!transportOpen()) throw EIdNotConnected();
            slice = slice < 0 ? TIdStack::kIdleInterval : std::min(slice, TIdStack::kIdleInterval);
        }
        room = input_.Reserve(size);
        n = ioHandler_->RecvWithin(room, size, slice);
    }
    closedGracefully_ = n == 0;
    if (n < 0) {
        const int error = TIdStack::WSGetLastError();
        if (error != kCannotSendAfterShutdown && error != kConnectionAborted) TIdStack::RaiseSocketError(error);
        ioHandler_->Close();
        if (input_.Empty()) TIdStack::RaiseSocketError(error);
        return 0;
    }
    if (ASCIIFilter) {
        for (int i = 0; i < n; ++i) room[i] = static_cast<char>(room[i] & 0x7F);
    }
    input_.Commit(static_cast<std::size_t>(n));
    return n;
}

std::string TIdTCPConnection::ReadLine(std::string_view terminator, int maxLength) {
    std::string line;
    readLineInto(line, terminator, maxLength);
    return line;
}

void TIdTCPConnection::readLineInto(std::string& line, std::string_view terminator, int maxLength) {
    if (terminator.empty()) terminator = "\n";
    const std::size_t limit = static_cast<std::size_t>(std::max(0, maxLength < 0 ? MaxLineLength : maxLength));
    readLnSplit_ = false;
    std::size_t scanned = 0;
    std::size_t found = std::string_view::npos;
    for (;;) {
        if (!input_.Empty()) {
            const std::string_view data = input_.View();
            // Step back so that a terminator cut across two chunks is seen.
            const std::size_t back = std::min(scanned, terminator.size() - 1);
            found = terminator.size() == 1 ? data.find(terminator.front(), scanned)
                                           : data.find(terminator, scanned - back);
            scanned = data.size();
        }
        if (found != std::string_view::npos) {
            if (limit != 0 && found > limit && takeTooLongLine(line, limit)) return;
            break;
        }
        if (limit != 0 && input_.Size() > limit && takeTooLongLine(line, limit)) return;
        if (pendingLineCap_ != 0 && input_.Size() > pendingLineCap_) throw EIdReadLinesLimitExceeded(MaxReadLinesSize);
        CheckDisconnect(true, true);
        if (FillInput(true) == 0) {
            line.clear();
            return;
        }
    }
    input_.ExtractInto(line, found + terminator.size());
    line.resize(found);
    if (terminator.size() == 1 && terminator.front() == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
}

// A line longer than the limit: raises with maException, otherwise hands
// out the first `maxLength` bytes and leaves the rest for the next read.
bool TIdTCPConnection::takeTooLongLine(std::string& line, std::size_t maxLength) {
    if (MaxLineAction == maException) throw EIdReadLnMaxLineLengthExceeded();
    readLnSplit_ = true;
    input_.ExtractInto(line, maxLength);
    return true;
}

int TIdTCPConnection::ReadLinesUntil(TIdLinesTarget target, std::string_view delimiter, bool unstuffDots) {
    BeginWork(wmRead, 0);
    int count = 0;
    const std::uint64_t start = input_.TotalRemoved();
    const auto deliver = [&](std::string_view line) {
        // A line that starts with the delimiter's dot had an extra dot put
        // in front by the sender.
        if (unstuffDots && line.starts_with("..")) line.remove_prefix(1);
        ++count;
        if (auto* list = std::get_if<std::vector<std::string>*>(&target); list != nullptr && *list != nullptr) {
            (*list)->emplace_back(line);
        } else if (auto* stream = std::get_if<std::ostream*>(&target); stream != nullptr && *stream != nullptr) {
            (*stream)->write(line.data(), static_cast<std::streamsize>(line.size())).write("\r\n", 2);
        }
    };
    std::string line;
    try {
        for (;;) {
            if (takeBufferedLine(delimiter, start, deliver)) break;
            pendingLineCap_ = pendingLineCap(delimiter, start);
            readLineInto(line, "\n", -1);
            pendingLineCap_ = 0;
            if (line == delimiter) break;
            checkGathered(start);
            deliver(line);
        }
    } catch (...) {
        pendingLineCap_ = 0;
        EndWork(wmRead);
        throw;
    }
    EndWork(wmRead);
    return count;
}

// The fast path of ReadLinesUntil: hands out every complete line already
// buffered straight from the buffer, without copying it first. Returns
// true when the delimiter line was consumed.
template <typename Deliver>
bool TIdTCPConnection::takeBufferedLine(std::string_view delimiter, std::uint64_t start, Deliver& deliver) {
    readLnSplit_ = false;
    const std::size_t limit = static_cast<std::size_t>(std::max(0, MaxLineLength));
    for (;;) {
        const std::string_view data = input_.View();
        const std::size_t lf = data.find('\n');
        if (lf == std::string_view::npos || (limit != 0 && lf > limit)) return false;
        std::string_view line = data.substr(0, lf);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line == delimiter) {
            input_.Remove(lf + 1);
            return true;
        }
        if (MaxReadLinesSize > 0 &&
            input_.TotalRemoved() + lf + 1 - start > static_cast<std::uint64_t>(MaxReadLinesSize))
            throw EIdReadLinesLimitExceeded(MaxReadLinesSize);
        deliver(line);
        input_.Remove(lf + 1);
    }
}

int TIdTCPConnection::ReadLinesUntil(std::vector<std::string>& list, std::string_view delimiter, bool unstuffDots) {
    return ReadLinesUntil(TIdLinesTarget(&list), delimiter, unstuffDots);
}

int TIdTCPConnection::ReadLinesUntil(std::ostream& stream, std::string_view delimiter, bool unstuffDots) {
    return ReadLinesUntil(TIdLinesTarget(&stream), delimiter, unstuffDots);
}

int TIdTCPConnection::ReadLinesUntil(std::nullptr_t, std::string_view delimiter, bool unstuffDots) {
    return ReadLinesUntil(TIdLinesTarget(), delimiter, unstuffDots);
}

// Without a line length limit nothing else stops a line that never ends
// from filling the memory. The delimiter line itself does not count towards
// the limit, so the bound leaves room for it.
std::size_t TIdTCPConnection::pendingLineCap(std::string_view delimiter, std::uint64_t start) const {
    if (MaxLineLength > 0 || MaxReadLinesSize <= 0) return 0;
    const std::uint64_t gathered = input_.TotalRemoved() - start;
    const std::uint64_t limit = static_cast<std::uint64_t>(MaxReadLinesSize);
    const std::uint64_t left = gathered < limit ? limit - gathered : 0;
    return static_cast<std::size_t>(left + delimiter.size() + 2);
}

void TIdTCPConnection::checkGathered(std::uint64_t start) {
    if (MaxReadLinesSize > 0 && input_.TotalRemoved() - start > static_cast<std::uint64_t>(MaxReadLinesSize))
        throw EIdReadLinesLimitExceeded(MaxReadLinesSize);
}

void TIdTCPConnection::ReadBytes(std::string& buffer, int count) {
    if (count <= 0) {
        buffer.clear();
        return;
    }
    while (input_.Size() < static_cast<std::size_t>(count)) {
        FillInput(true);
        CheckDisconnect(true, true);
    }
    input_.ExtractInto(buffer, static_cast<std::size_t>(count));
}

std::string TIdTCPConnection::ReadNonEmptyLine(int maxAttempts) {
    std::string line;
    for (int i = 0; i < maxAttempts && line.empty(); ++i) line = trimmed(ReadLine("\n"));
    return line;
}

void TIdTCPConnection::WriteText(std::string_view text) {
    if (text.empty()) return;
    CheckDisconnect(true, true);
    if (!transportOpen()) throw EIdNotConnected();
    std::size_t sent = 0;
    while (sent < text.size()) {
        const int n = ioHandler_->Send(text.data() + sent, text.size() - sent);
        const int error = n < 0 ? TIdStack::WSGetLastError() : 0;
        closedGracefully_ = n == 0;
        CheckDisconnect(true, false);
        if (n < 0) {
            if (error == kConnectionAborted || error == kConnectionReset || error == kCannotSendAfterShutdown)
                DisconnectSocket();
            TIdStack::RaiseSocketError(error);
        }
        DoWork(wmWrite, n);
        sent += static_cast<std::size_t>(n);
    }
}

void TIdTCPConnection::WriteLine(std::string_view text) {
    if (text.find_first_of("\r\n") != std::string_view::npos) throw EIdLineBreakInCommand();
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text).append("\r\n");
    WriteText(line);
}

int TIdTCPConnection::SendCommand(std::string_view text, const std::vector<int>& allowed) {
    WriteLine(text);
    return ReadResponse(allowed);
}

int TIdTCPConnection::SendCommand(std::string_view text, int allowed) {
    return SendCommand(text, std::vector<int>{allowed});
}

int TIdTCPConnection::ReadResponse(const std::vector<int>& allowed) {
    GetInternalResponse();
    return CheckResponse(allowed);
}

void TIdTCPConnection::GetInternalResponse() {
    const std::uint64_t start = input_.TotalRemoved();
    std::vector<std::string> lines{ReadNonEmptyLine()};
    const std::string& first = lines.front();
    if (first.size() > 3 && first[3] == '-') {
        // "nnn-" opens a multi-line reply that the line "nnn " closes; a
        // line shorter than four characters ends it too.
        const std::string marker = first.substr(0, 3) + " ";
        for (;;) {
            lines.push_back(ReadNonEmptyLine());
            checkGathered(start);
            const std::string& line = lines.back();
            if (line.size() < 4 || startsWithIgnoringCase(line, marker)) break;
        }
    }
    lastReply_.ParseResponse(lines);
}

void TIdTCPConnection::GetSingleLineResponse() { lastReply_.ParseResponse({ReadNonEmptyLine()}); }

int TIdTCPConnection::CheckResponse(const std::vector<int>& allowed) {
    const int code = lastReply_.NumericCode();
    if (allowed.size() == 1 && allowed.front() == -1) return code;
    if (std::find(allowed.begin(), allowed.end(), code) == allowed.end()) RaiseExceptionForLastCmdResult();
    return code;
}

void TIdTCPConnection::RaiseExceptionForLastCmdResult() {
    throw EIdProtocolReplyError(lastReply_.NumericCode(), lastReply_.FormattedText());
}
