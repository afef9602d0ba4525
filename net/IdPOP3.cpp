#include "net/IdPOP3.h"

#include "message/IdGlobal.h"
#include "message/IdLenientHeader.h"
#include "net/IdExceptions.h"
#include "net/IdHashMessageDigest.h"
#include "net/IdIOHandlerSocket.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

const char* const UnrecognizedReplyFormat = "Unrecognized POP3 Response Header:\n\"%s\"";

namespace {

constexpr int kOK = 1;
constexpr int kErr = 2;

// The commands' words and reply shapes, in the order of TIdPOP3Command.
// "UIDL" alone lists every message; "UIDL n" answers on its status line.
constexpr TIdPOP3CommandForm kCommandForms[] = {
    {"USER", false}, {"PASS", false}, {"APOP", false}, {"CAPA", true}, {"STAT", false}, {"LIST", false},
    {"UIDL", true},  {"UIDL", false}, {"TOP", true},   {"RETR", true}, {"DELE", false}, {"QUIT", false},
};
static_assert(std::size(kCommandForms) == static_cast<std::size_t>(TIdPOP3Command::Quit) + 1);

// The format with its "%s" replaced by `text`.
std::string formatted(std::string_view format, std::string_view text) {
    std::string result(format);
    const std::size_t at = result.find("%s");
    if (at != std::string::npos) result.replace(at, 2, text);
    return result;
}

// The APOP timestamp of a greeting line: from its first "<" through the
// first ">" after it, both brackets included; empty when either is missing.
// Nothing between the brackets is interpreted ("+", "/", "=" occur there).
std::string_view apopTimestamp(std::string_view greeting) {
    const std::size_t open = greeting.find('<');
    if (open == std::string_view::npos) return {};
    const std::size_t close = greeting.find('>', open);
    if (close == std::string_view::npos) return {};
    return greeting.substr(open, close - open + 1);
}

// The text up to the first blank (all of it when there is none).
std::string_view firstWord(std::string_view text) { return text.substr(0, text.find(' ')); }

// The first text entry of a reply ("" for none).
std::string firstText(const TIdRFCReply& reply) { return reply.Text.empty() ? std::string() : reply.Text.front(); }

// The command line of a command in line.
void appendCommandLine(std::string& out, TIdPOP3Command command, int number) {
    out += CommandForm(command).Verb;
    if (number >= 0) {
        out += ' ';
        out += std::to_string(number);
    }
    if (command == TIdPOP3Command::Top) out += " 0";
    out += "\r\n";
}

}  // namespace

const TIdPOP3CommandForm& CommandForm(TIdPOP3Command command) {
    return kCommandForms[static_cast<std::size_t>(command)];
}

TIdPOP3::TIdPOP3() { Port = 110; }

void TIdPOP3::Connect(int timeout) {
    resetSession();
    capabilities_.clear();
    if (UseTLS != TIdUseTLS::utNoTLS) prepareTLSTransport();
    // A failure here has already closed the socket; no QUIT is owed.
    TIdMessageClient::Connect(timeout);
    try {
        // A failed handshake or a refused certificate closes the socket, so
        // not even "QUIT" goes to such a server.
        if (UseTLS == TIdUseTLS::utImplicitTLS) NegotiateTLS(*this);
        ReadResponse({kOK});
        if (UseTLS == TIdUseTLS::utStartTLS) startTLS();
        if (AskCapabilities) readCapabilities();
        logIn();
    } catch (...) {
        closeAfterFailedLogin();
        throw;
    }
}

void TIdPOP3::logIn() {
    if (APOP) {
        const std::string greeting = firstText(LastReply());
        const std::string_view timestamp = apopTimestamp(greeting);
        if (timestamp.empty()) throw EIdException("Server do not support APOP (no timestamp)");
        const std::string digest = MD5Hex(std::string(timestamp) + Password);
        SendCommand("APOP " + Username + " " + digest, kOK);
    } else {
        SendCommand("USER " + Username, kOK);
        SendCommand("PASS " + Password, kOK);
    }
}

// RFC 2449: "+OK" and one capability a line up to "."; a server without the
// command answers "-ERR" and offers nothing beyond RFC 1939.
void TIdPOP3::readCapabilities() {
    Enqueue(TIdPOP3Command::Capa);
    if (beginReply(TIdPOP3Command::Capa, {-1}) != kOK) return;
    std::vector<std::string> lines;
    try {
        ReadLinesUntil(lines, ".", true);
    } catch (...) {
        dropLine();
        throw;
    }
    endReply();
    for (const std::string& line : lines) capabilities_.push_back(UpperCaseAZ(firstWord(Trim(line))));
}

bool TIdPOP3::HasCapability(std::string_view name) const {
    const std::string wanted = UpperCaseAZ(name);
    return std::find(capabilities_.begin(), capabilities_.end(), wanted) != capabilities_.end();
}

void TIdPOP3::prepareTLSTransport() {
    if (IOHandler() != nullptr && IOHandler()->Connected()) throw EIdAlreadyConnected();
    auto* tls = dynamic_cast<TIdSSLIOHandlerSocket*>(IOHandler());
    if (tls == nullptr) {
        auto made = std::make_unique<TIdSSLIOHandlerSocket>();
        tls = made.get();
        SetOwnedIOHandler(std::move(made));
    }
    tls->TrustedFingerprint = TrustedFingerprint;
}

void TIdPOP3::startTLS() {
    // Never a quiet fall-back to a plain login: a server without "STLS"
    // ends the connection here, before the user name goes out.
    if (SendCommand("STLS", -1) != kOK)
        throw EIdTLSNotOffered("The server refused to encrypt the connection (STLS), so the user name and "
                               "password were not sent. Its answer: " + std::string(Trim(firstText(LastReply()))));
    // Bytes that came before the encryption began could have been put there
    // by someone on the way; the server must wait for the handshake.
    if (!InputBuffer().Empty()) {
        DisconnectSocket();
        throw EIdTLSError("The server sent more than its answer to STLS before the encryption began; "
                          "the connection was closed.");
    }
    NegotiateTLS(*this);
}

void TIdPOP3::closeAfterFailedLogin() {
    try {
        Disconnect();
    } catch (const EIdException&) {
        // The QUIT could not be sent (the server may already have gone);
        // the socket is closed all the same, and the caller must see why
        // the login failed, not why the goodbye failed.
    }
}

void TIdPOP3::Disconnect() {
    dropLine();
    marks_ = 0;
    markUnsure_ = false;
    try {
        if (IsConnected()) WriteLine("QUIT");
    } catch (...) {
        TIdMessageClient::Disconnect();
        throw;
    }
    TIdMessageClient::Disconnect();
}

void TIdPOP3::Quit() {
    // The answer is awaited: the server removes the marked messages before
    // it answers, so a new connection opened afterwards finds them gone and
    // the mailbox unlocked.
    dropLine();
    try {
        WriteLine("QUIT");
        ReadResponse({kOK});
    } catch (...) {
        Abandon();
        throw;
    }
    Abandon();
}

void TIdPOP3::Abandon() {
    resetSession();
    TIdMessageClient::Disconnect();
}

int TIdPOP3::ReadResponse(const std::vector<int>& allowed) {
    // A POP3 status is one line: "+OK-ready" is a positive status, not the
    // start of a reply whose closing line would never come.
    GetSingleLineResponse();
    TIdRFCReply& reply = LastReply();
    if (SameText(reply.TextCode(), "+OK")) {
        reply.SetNumericCode(kOK);
    } else if (SameText(reply.TextCode(), "-ERR")) {
        reply.SetNumericCode(kErr);
    } else {
        throw EIdException(formatted(UnrecognizedReplyFormat, reply.FormattedText()));
    }
    const int code = CheckResponse(allowed);
    ++repliesAccepted_;
    return code;
}

// --- One command, then its reply

int TIdPOP3::MessageCount() {
    Enqueue(TIdPOP3Command::Stat);
    return ReceiveCount();
}

int TIdPOP3::MessageSize(int messageNumber) {
    Enqueue(TIdPOP3Command::List, messageNumber);
    return ReceiveSize();
}

int TIdPOP3::ListedSize(const TIdRFCReply& reply) {
    const std::string text = firstText(reply);
    if (text.empty()) return -1;
    // "+OK number size", and RFC 1939 lets the server say more after the
    // size ("+OK 1 485 octets"); a reply of the size alone is taken too.
    const std::size_t blank = text.find(' ');
    if (blank == std::string::npos) return StrToIntDef(text, -1);
    return StrToIntDef(firstWord(std::string_view(text).substr(blank + 1)), -1);
}

bool TIdPOP3::ListUniqueIds(std::vector<std::string>& list, int messageNumber) {
    if (messageNumber < 0) {
        Enqueue(TIdPOP3Command::UidlAll);
        return ReceiveUniqueIds(list);
    }
    Enqueue(TIdPOP3Command::Uidl, messageNumber);
    if (beginReply(TIdPOP3Command::Uidl, {-1}) != kOK) return false;
    list = LastReply().Text;
    return true;
}

bool TIdPOP3::FetchHeader(int messageNumber, TIdMessage& msg) {
    Enqueue(TIdPOP3Command::Top, messageNumber);
    ReceiveHeader(msg);
    ReadHeaderFields(msg, CharsetDecoding);
    return true;
}

bool TIdPOP3::FetchMessage(int messageNumber, TIdMessage& msg, TIdHeaderFields fields) {
    Enqueue(TIdPOP3Command::Retr, messageNumber);
    if (beginReply(TIdPOP3Command::Retr, {-1}) != kOK) return false;
    try {
        const bool strict = fields == TIdHeaderFields::Strict;
        const std::string last = ReceiveHeaderLines(msg, "", strict);
        if (!strict) ReadHeaderFieldsLeniently(msg, CharsetDecoding);
        // A header ended by "." is the whole message.
        if (last.empty()) ReceiveMessageBody(msg, ".");
    } catch (const EIdMessageBodyError&) {
        // The rest of the reply was read and dropped: the connection is in
        // step for the next command.
        endReply();
        throw;
    } catch (...) {
        dropLine();
        throw;
    }
    endReply();
    return true;
}

bool TIdPOP3::DeleteMessage(int messageNumber) {
    Enqueue(TIdPOP3Command::Dele, messageNumber);
    try {
        beginReply(TIdPOP3Command::Dele, {kOK});
    } catch (const EIdProtocolReplyError&) {
        throw;  // "-ERR": the server kept the message.
    } catch (...) {
        // The "DELE" went out and no plain answer came back: the server may
        // have marked the message, and "QUIT" would commit it.
        markUnsure_ = true;
        throw;
    }
    ++marks_;
    return true;
}

// --- Commands in line

void TIdPOP3::SetPipelineDepth(int depth) {
    pipelineDepth_ = std::clamp(depth, 1, kMaxPipelineDepth);
    if (pipelineDepth_ == 1) return;
    if (auto* socket = dynamic_cast<TIdIOHandlerSocket*>(IOHandler()); socket && socket->Binding())
        socket->Binding()->SetNoDelay(true);
}

void TIdPOP3::Enqueue(TIdPOP3Command command, int number) {
    queued_.push_back({command, number});
    sendQueued(TRefill::Full);
}

void TIdPOP3::Enqueue(const std::vector<std::pair<TIdPOP3Command, int>>& commands) {
    for (const auto& [command, number] : commands) queued_.push_back({command, number});
    sendQueued(TRefill::Full);
}

void TIdPOP3::sendQueued(TRefill refill) {
    if (sendFailure_) return;
    const std::size_t depth = static_cast<std::size_t>(pipelineDepth_);
    const std::size_t sent = inFlight_.size();
    const std::size_t waiting = sent - (frontArrived_ ? 1 : 0);
    std::size_t room = depth > waiting ? depth - waiting : 0;
    // After a reply the window is refilled half at a time: one send of many
    // commands wakes the server once for all of them.
    if (refill == TRefill::HalfWindow && depth > 1 && waiting > 0 && room < depth / 2) return;
    std::string lines;
    for (; room > 0 && !queued_.empty(); --room) {
        appendCommandLine(lines, queued_.front().command, queued_.front().number);
        inFlight_.push_back(queued_.front().command);
        queued_.pop_front();
    }
    if (lines.empty()) return;
    try {
        WriteText(lines);
    } catch (...) {
        // A server that closed after its last replies refuses what goes
        // ahead of reading them; those replies are still read, as they would
        // be one command at a time, and the failure comes where it belongs.
        if (sent == 0) {
            dropLine();
            throw;
        }
        inFlight_.resize(sent);
        queued_.clear();
        sendFailure_ = std::current_exception();
    }
}

int TIdPOP3::beginReply(TIdPOP3Command expected, const std::vector<int>& allowed) {
    if (inFlight_.empty() && sendFailure_) {
        const std::exception_ptr failure = sendFailure_;
        dropLine();
        std::rethrow_exception(failure);
    }
    if (inFlight_.empty() || inFlight_.front() != expected)
        throw std::logic_error("POP3 reply read for a command that is not the next in line");
    int code;
    try {
        code = ReadResponse(allowed);
    } catch (...) {
        dropLine();
        throw;
    }
    if (code != kOK || !CommandForm(expected).MultiLine) endReply();
    return code;
}

void TIdPOP3::endReply() {
    if (!inFlight_.empty()) inFlight_.pop_front();
    frontArrived_ = false;
    sendQueued(TRefill::HalfWindow);
}

bool TIdPOP3::replyEndBuffered() {
    // The reply's end is nearly always the last thing received: looking
    // there first spares a scan of the whole reply. Replies arrive in
    // order, so a later reply's end there means this one is whole too.
    const std::string_view bytes = InputBuffer().View();
    if (bytes.ends_with("\n.\r\n") || bytes.ends_with("\n.\n")) return true;
    return bytes.starts_with(".\r\n") || bytes.starts_with(".\n") || bytes.find("\n.\r\n") != bytes.npos ||
           bytes.find("\n.\n") != bytes.npos;
}

void TIdPOP3::dropLine() {
    queued_.clear();
    inFlight_.clear();
    frontArrived_ = false;
    sendFailure_ = nullptr;
}

void TIdPOP3::resetSession() {
    dropLine();
    marks_ = 0;
    markUnsure_ = false;
}

int TIdPOP3::ReceiveCount() {
    beginReply(TIdPOP3Command::Stat, {kOK});
    const std::string text = firstText(LastReply());
    if (text.empty()) return 0;
    // "+OK count size": the count must be there; some small servers leave
    // the size out, which changes nothing about the count.
    return StrToInt(firstWord(text));
}

int TIdPOP3::ReceiveSize() {
    beginReply(TIdPOP3Command::List, {kOK});
    return ListedSize(LastReply());
}

bool TIdPOP3::ReceiveUniqueIds(std::vector<std::string>& list) {
    if (beginReply(TIdPOP3Command::UidlAll, {-1}) != kOK) return false;
    try {
        ReadLinesUntil(list, ".", true);
    } catch (...) {
        dropLine();
        throw;
    }
    endReply();
    return true;
}

void TIdPOP3::ReceiveHeader(TIdMessage& msg) {
    beginReply(TIdPOP3Command::Top, {kOK});
    // Once the whole reply is in, the next command can go out before its
    // lines are taken apart.
    if (replyEndBuffered()) {
        frontArrived_ = true;
        sendQueued(TRefill::HalfWindow);
    }
    try {
        ReceiveHeaderLines(msg, ".", false);
    } catch (...) {
        dropLine();
        throw;
    }
    endReply();
}

// --- Unique ids

// Servers list the numbers in order, so the ids are collected in a vector
// and sorted only when a listing is out of order: a tree of 2,000 nodes
// cost more than the server's reply to the next command.
TUniqueIds ParseUniqueIdListing(const std::vector<std::string>& lines) {
    TUniqueIds ids;
    ids.reserve(lines.size());
    for (const std::string& line : lines) {
        std::string_view rest = Trim(line);
        const std::size_t blank = rest.find_first_of(" \t");
        if (blank == std::string_view::npos) continue;
        const std::string_view digits = rest.substr(0, blank);
        std::int32_t number = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (error != std::errc() || end != digits.data() + digits.size() || number < 1) continue;
        rest = Trim(rest.substr(blank));
        const std::string_view id = rest.substr(0, rest.find_first_of(" \t"));
        if (!id.empty()) ids.emplace_back(number, std::string(id));
    }
    const auto byNumber = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(ids.begin(), ids.end(), byNumber)) std::stable_sort(ids.begin(), ids.end(), byNumber);
    // The stable order keeps the first line of a repeated number first.
    const auto sameNumber = [](const auto& a, const auto& b) { return a.first == b.first; };
    ids.erase(std::unique(ids.begin(), ids.end(), sameNumber), ids.end());
    return ids;
}

const std::string* FindUniqueId(const TUniqueIds& ids, std::int32_t number) {
    const auto id = std::lower_bound(ids.begin(), ids.end(), number,
                                     [](const auto& entry, std::int32_t n) { return entry.first < n; });
    return id != ids.end() && id->first == number ? &id->second : nullptr;
}
