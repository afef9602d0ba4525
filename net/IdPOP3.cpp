#include "net/IdPOP3.h"

#include "message/IdGlobal.h"
#include "net/IdHashMessageDigest.h"

const char* const UnrecognizedReplyFormat = "Unrecognized POP3 Response Header:\n\"%s\"";

namespace {

constexpr int kOK = 1;
constexpr int kErr = 2;

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

}  // namespace

TIdPOP3::TIdPOP3() { Port = 110; }

void TIdPOP3::Connect(int timeout) {
    // A failure here has already closed the socket; no QUIT is owed.
    TIdMessageClient::Connect(timeout);
    try {
        ReadResponse({kOK});
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
    } catch (...) {
        closeAfterFailedLogin();
        throw;
    }
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
    try {
        if (IsConnected()) WriteLine("QUIT");
    } catch (...) {
        TIdMessageClient::Disconnect();
        throw;
    }
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
    return CheckResponse(allowed);
}

int TIdPOP3::MessageCount() {
    SendCommand("STAT", kOK);
    const std::string text = firstText(LastReply());
    if (text.empty()) return 0;
    // "+OK count size": the count must be there; some small servers leave
    // the size out, which changes nothing about the count.
    return StrToInt(firstWord(text));
}

int TIdPOP3::MessageSize(int messageNumber) {
    SendCommand("LIST " + std::to_string(messageNumber), kOK);
    return ListedSize(LastReply());
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
        if (SendCommand("UIDL", -1) != kOK) return false;
        ReadLinesUntil(list, ".", true);
        return true;
    }
    if (SendCommand("UIDL " + std::to_string(messageNumber), -1) != kOK) return false;
    list = LastReply().Text;
    return true;
}

bool TIdPOP3::FetchHeader(int messageNumber, TIdMessage& msg) {
    SendCommand("TOP " + std::to_string(messageNumber) + " 0", kOK);
    ReceiveHeaderLines(msg, ".");
    return true;
}

bool TIdPOP3::DeleteMessage(int messageNumber) {
    SendCommand("DELE " + std::to_string(messageNumber), kOK);
    return true;
}
