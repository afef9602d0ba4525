#include "message/IdMessageClient.h"

#include "message/IdGlobal.h"
#include "message/IdHeaderWords.h"
#include "message/IdTempFiles.h"
#include "net/IdExceptions.h"

#include <algorithm>
#include <unistd.h>
#include <utility>

namespace {

// Splits a "Newsgroups" value at its commas. A comma between the first and
// the second double quote of the current piece belongs to the piece; every
// piece is trimmed and kept when something is left.
std::vector<std::string> splitNewsGroups(std::string_view text) {
    std::vector<std::string> groups;
    const auto keep = [&](std::string_view piece) {
        piece = Trim(piece);
        if (!piece.empty()) groups.emplace_back(piece);
    };
    std::size_t start = 0;
    int quotes = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            ++quotes;
        } else if (text[i] == ',' && quotes != 1) {
            keep(text.substr(start, i - start));
            start = i + 1;
            quotes = 0;
        }
    }
    keep(text.substr(start));
    return groups;
}

}  // namespace

std::string TIdMessageClient::ReceiveHeaderLines(TIdMessage& msg, std::string_view alternateTerminator,
                                                 bool readFields) {
    BeginWork(wmRead);
    std::string line;
    try {
        // A server that never ends the header must not fill memory: the
        // header may gather no more than a multi-line reply.
        const std::uint64_t start = InputBuffer().TotalRemoved();
        // Most headers fit in this many lines and bytes; the list need not
        // grow step by step to get there.
        constexpr int kUsualHeaderLines = 32;
        constexpr std::size_t kUsualHeaderBytes = 2048;
        msg.HeaderLines.Reserve(kUsualHeaderLines, kUsualHeaderBytes);
        headerWasCut_ = false;
        for (;;) {
            readHeaderLine(line, start);
            if (alternateTerminator.empty() && line == ".") break;
            if (line == alternateTerminator) break;
            if (MaxReadLinesSize > 0 &&
                InputBuffer().TotalRemoved() - start > static_cast<std::uint64_t>(MaxReadLinesSize))
                throw EIdReadLinesLimitExceeded(MaxReadLinesSize);
            // Blank lines are skipped: after "TOP n 0" the blank line that
            // ends the header comes before the ".".
            if (line.empty()) continue;
            msg.HeaderLines.Add(line);
        }
        if (readFields) ReadHeaderFields(msg, CharsetDecoding);
    } catch (...) {
        EndWork(wmRead);
        throw;
    }
    EndWork(wmRead);
    return line;
}

void TIdMessageClient::readHeaderLine(std::string& line, std::uint64_t start) {
    if (LongHeaderLines == TIdLongHeaderLines::Raise) {
        readLineInto(line, "\n", -1);
        return;
    }
    const TIdMaxLineAction saved = MaxLineAction;
    MaxLineAction = maSplit;
    try {
        readLineInto(line, "\n", -1);
        if (ReadLnSplit()) {
            // The pieces after the first continue the same line; none of
            // them may end the header, and the multi-line bound still
            // counts every byte read.
            headerWasCut_ = true;
            std::string rest;
            do {
                readLineInto(rest, "\n", -1);
                if (MaxReadLinesSize > 0 &&
                    InputBuffer().TotalRemoved() - start > static_cast<std::uint64_t>(MaxReadLinesSize))
                    throw EIdReadLinesLimitExceeded(MaxReadLinesSize);
            } while (ReadLnSplit());
        }
    } catch (...) {
        MaxLineAction = saved;
        throw;
    }
    MaxLineAction = saved;
}

void TIdMessageClient::ReadHeaderFields(TIdMessage& msg, TIdCharsetDecoding charsets) {
    const TIdHeaderList& headers = msg.HeaderLines;
    const auto value = [&](std::string_view name) { return headers.GetFieldValue(name); };
    const auto decoded = [&](std::string_view name) { return DecodeHeaderValue(value(name), charsets); };
    const auto addresses = [&](std::string_view name) {
        return DecodeHeaderValue(value(name), charsets, TIdHeaderText::Addresses);
    };

    msg.ContentType = value("Content-Type");
    msg.CharSet = CharSetFromContentType(msg.ContentType);
    msg.ContentTransferEncoding = value("Content-Transfer-Encoding");
    msg.ContentDisposition = value("Content-Disposition");
    msg.Subject = decoded("Subject");
    msg.From.SetText(addresses("From"));
    msg.MessageId = value("Message-Id");
    msg.NewsGroups = splitNewsGroups(value("Newsgroups"));
    msg.Recipients.ParseAddressList(addresses("To"));
    msg.CCList.ParseAddressList(addresses("Cc"));
    msg.Organization = value("Organization");
    msg.ReceiptRecipient.SetText(value("Disposition-Notification-To"));
    if (msg.ReceiptRecipient.Text().empty()) msg.ReceiptRecipient.SetText(value("Return-Receipt-To"));
    msg.References = value("References");
    // Reply-To and Sender are kept as received, encoded words included.
    msg.ReplyTo.ParseAddressList(value("Reply-To"));
    msg.Date = InternetDateToLocal(value("Date"));
    msg.Sender.SetText(value("Sender"));
    const std::string priority = value("Priority");
    msg.Priority = ParsePriority(priority.empty() ? value("X-Priority") : priority);
    msg.BoundaryStack.PushBoundary(BoundaryFromContentType(msg.ContentType));
}

// ---------------------------------------------------------------------------
// Body reception

namespace {

// A read work span, ended on every way out.
class ReadWorkSpan {
public:
    explicit ReadWorkSpan(TIdComponent& component) : component_(component) { component_.BeginWork(wmRead); }
    ~ReadWorkSpan() { component_.EndWork(wmRead); }
    ReadWorkSpan(const ReadWorkSpan&) = delete;
    ReadWorkSpan& operator=(const ReadWorkSpan&) = delete;

private:
    TIdComponent& component_;
};

// The lines of a text part: CR LF, LF or CR ends a line, a final line break
// adds no empty line, and a NUL byte ends the text. Each line's string is
// counted against the bound on text (its bytes are counted already).
std::vector<std::string> splitLines(std::string_view text, BodyReception& reception) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        reception.CountText(BodyReception::kLineOverhead);
        lines.emplace_back(text.substr(start, end - start));
        start = end + (text.substr(end).starts_with("\r\n") ? 2 : 1);
    }
    return lines;
}

// Text in a declared charset as UTF-8, when all charsets are decoded, the
// charset is not UTF-8 already, the bytes convert cleanly and what they grow
// by fits the bound on text; nothing otherwise, and the bytes stay.
std::optional<std::string> convertedText(std::string_view bytes, std::string_view charset,
                                         BodyReception& reception) {
    charset = Trim(charset);
    charset = charset.substr(0, charset.find_first_of(" \t"));
    if (reception.Charsets() != TIdCharsetDecoding::AllToUtf8 || charset.empty() || IsUtf8Charset(charset))
        return std::nullopt;
    std::optional<std::string> text = ConvertToUtf8(charset, bytes);
    if (!text || text->size() <= bytes.size()) return text;
    const std::size_t growth = text->size() - bytes.size();
    if (!reception.RoomForText(growth)) return std::nullopt;
    reception.CountText(growth);
    return text;
}

}  // namespace

void TIdMessageClient::ReceiveMessageBody(TIdMessage& msg, std::string_view delimiter) {
    if (msg.NoDecode) {
        ReadLinesUntil(msg.Body, delimiter, true);
        return;
    }
    const ReadWorkSpan span(*this);
    BodyReception reception(delimiter, BodyLimits, CharsetDecoding);
    try {
        receiveBodyLines(msg, reception);
    } catch (const EIdException& failure) {
        if (reception.ReadFailed()) throw;
        // The content failed, not the connection: read the rest of the
        // reply so that the next command meets its own reply.
        if (drainReply(delimiter, reception)) throw EIdMessageBodyError(failure.Message());
        TIdTCPConnection::Disconnect();
        throw EIdException(failure.Message());
    }
}

// Line by line up to the delimiter: a line that starts a part hands the
// reading to that part's reader (and to the readers of the parts after it);
// every other line goes to the body.
void TIdMessageClient::receiveBodyLines(TIdMessage& msg, BodyReception& reception) {
    TIdTCPStream stream(*this);
    std::string line;
    bool messageEnded = false;
    while (!messageEnded) {
        reception.ReadLine(stream, line);
        if (reception.Ended()) return;
        if (auto reader = TIdMessageDecoderList::Instance().FindPartStart(msg, line, reception)) {
            readParts(msg, std::move(reader), messageEnded);
        } else {
            addBodyLine(msg, line, reception);
        }
    }
}

void TIdMessageClient::addBodyLine(TIdMessage& msg, std::string_view line, BodyReception& reception) {
    if (line.starts_with("..")) line.remove_prefix(1);
    reception.CountLine(line.size());
    if (std::optional<std::string> converted = convertedText(line, msg.CharSet, reception)) {
        msg.Body.push_back(std::move(*converted));
    } else {
        msg.Body.emplace_back(line);
    }
}

// Each reader stores its part and hands over the reader of the next one.
void TIdMessageClient::readParts(TIdMessage& msg, std::unique_ptr<TIdMessageDecoder> reader, bool& messageEnded) {
    while (reader) {
        reader->InputStream = std::make_unique<TIdTCPStream>(*this);
        reader->ReadPartHeader();
        if (reader->Declined()) {
            for (const std::string& line : reader->DeclinedLines) addBodyLine(msg, line, reader->Reception());
            return;
        }
        switch (reader->PartKind) {
            case pkText:
                reader = StoreTextPart(std::move(reader), messageEnded);
                break;
            case pkAttachment:
                reader = StoreAttachmentPart(std::move(reader), messageEnded);
                break;
            default:
                throw EIdException("Unknown Message Part Type.");
        }
    }
}

std::unique_ptr<TIdMessageDecoder> TIdMessageClient::StoreTextPart(std::unique_ptr<TIdMessageDecoder> reader,
                                                                   bool& messageEnded) {
    BodyReception& reception = reader->Reception();
    reception.CountPart();
    MemorySink buffer;
    CheckedSink bounded(buffer, [&](std::size_t size) { reception.CountText(size); });
    std::unique_ptr<TIdMessageDecoder> next = reader->ReadPartBody(bounded, messageEnded);
    TIdText& part = reader->Owner.Parts.Add<TIdText>();
    part.SetContentType(reader->PartField("Content-Type"));
    part.SetContentTransfer(reader->PartField("Content-Transfer-Encoding"));
    const std::optional<std::string> converted =
        convertedText(buffer.Data(), CharSetFromContentType(reader->PartContentType()), reception);
    part.Body = splitLines(converted ? std::string_view(*converted) : buffer.Data(), reception);
    return next;
}

std::unique_ptr<TIdMessageDecoder> TIdMessageClient::StoreAttachmentPart(std::unique_ptr<TIdMessageDecoder> reader,
                                                                         bool& messageEnded) {
    BodyReception& reception = reader->Reception();
    reception.CountPart();
    const AttachmentFile file = AttachmentFolder::Process().CreateFile();
    std::unique_ptr<TIdMessageDecoder> next;
    try {
        FileSink sink(file.fd);
        CheckedSink bounded(sink, [&](std::size_t size) { reception.CountFileBytes(size); });
        next = reader->ReadPartBody(bounded, messageEnded);
        sink.Close();
    } catch (...) {
        // A part that failed is not added; its file must not linger.
        ::unlink(file.path.c_str());
        throw;
    }
    TIdAttachment& part = reader->Owner.Parts.Add<TIdAttachment>();
    part.SetContentType(reader->PartField("Content-Type"));
    part.SetContentTransfer(reader->PartField("Content-Transfer-Encoding"));
    part.SetContentDisposition(reader->PartField("Content-Disposition"));
    part.AttachedFileName = reader->PartFileName;
    part.TakeStoredFile(file.path);
    return next;
}

// Reads and drops lines up to the delimiter line. A line longer than the
// line limit comes in pieces, and a piece after the first is never taken
// for the delimiter. False when more than MaxBodyDrainSize bytes came first.
bool TIdMessageClient::drainReply(std::string_view delimiter, const BodyReception& reception) {
    if (reception.Ended()) return true;
    const TIdMaxLineAction action = MaxLineAction;
    MaxLineAction = maSplit;
    const int piece = MaxLineLength > 0 ? MaxLineLength : 16384;
    const std::uint64_t start = InputBuffer().TotalRemoved();
    std::string line;
    bool continued = false;
    bool found = false;
    try {
        while (!found && InputBuffer().TotalRemoved() - start <= static_cast<std::uint64_t>(MaxBodyDrainSize)) {
            readLineInto(line, "\n", piece);
            found = !continued && line == delimiter;
            continued = ReadLnSplit();
        }
    } catch (...) {
        MaxLineAction = action;
        throw;
    }
    MaxLineAction = action;
    return found;
}
