#include "message/IdMessageCoderMIME.h"

#include "message/IdCoderMIME.h"
#include "message/IdCoderQuotedPrintable.h"
#include "message/IdGlobal.h"
#include "message/IdHeaderWords.h"

namespace {

bool isWholeBodyEncoding(std::string_view encoding) {
    return SameText(encoding, "base64") || SameText(encoding, "quoted-printable");
}

// A header line with its first ": " (colon and blank, exactly) made "=".
std::string asField(std::string_view line) {
    std::string field(line);
    if (const std::size_t colon = field.find(": "); colon != std::string::npos) field.replace(colon, 2, "=");
    return field;
}

}  // namespace

bool IsBoundaryLine(std::string_view line, std::string_view boundary, std::string_view closing) {
    return line.size() == 2 + boundary.size() + closing.size() && line.starts_with("--") &&
           line.ends_with(closing) && SameText(line.substr(2, boundary.size()), boundary);
}

TIdMessageDecoderMIME::TIdMessageDecoderMIME(TIdMessage& owner, BodyReception& reception)
    : TIdMessageDecoder(owner, reception),
      WholeBodyMode(isWholeBodyEncoding(owner.ContentTransferEncoding)),
      PartBoundary(owner.BoundaryStack.CurrentBoundary()) {}

void TIdMessageDecoderMIME::ReadPartHeader() {
    if (WholeBodyMode) return decideKind(Owner.ContentType, Owner.ContentDisposition);
    for (;;) {
        const std::string& line = readLine();
        if (line == ".") {
            PartKind = pkUnknown;
            return;
        }
        if (line.empty()) break;
        addHeaderLine(line);
    }
    const std::string contentType = PartField("Content-Type");
    if (const std::string boundary = BoundaryFromContentType(contentType); !boundary.empty()) {
        Owner.BoundaryStack.PushBoundary(boundary);
        FReception.CheckNesting(Owner.BoundaryStack.Count());
        PartBoundary = boundary;
    }
    decideKind(contentType, PartField("Content-Disposition"));
}

// A line beginning with a TAB or blank continues the field before it.
void TIdMessageDecoderMIME::addHeaderLine(std::string_view line) {
    FReception.CountLine(line.size());
    if (line.front() != '\t' && line.front() != ' ') {
        PartFields.push_back(asField(line));
    } else if (PartFields.empty()) {
        PartFields.push_back(asField(line.substr(1)));
    } else {
        PartFields.back().append(" ").append(line.substr(1));
    }
}

// A part is an attachment when its disposition type is "attachment" or its
// content type holds "NAME" anywhere.
void TIdMessageDecoderMIME::decideKind(std::string_view contentType, std::string_view disposition) {
    if (!SameText(disposition.substr(0, disposition.find(';')), "attachment") &&
        UpperCaseAZ(contentType).find("NAME") == std::string::npos) {
        PartKind = pkText;
        return;
    }
    PartKind = pkAttachment;
    PartFileName = fileName(contentType, disposition);
}

// The file name of the disposition's filename parameter, else of the content
// type's name parameter: a quoted value up to its closing quote, an unquoted
// one with the rest of the field, encoded words decoded. When all charsets
// are decoded, the extended form (RFC 2231) of the parameter of a field
// comes first.
std::string TIdMessageDecoderMIME::fileName(std::string_view contentType, std::string_view disposition) const {
    const TIdCharsetDecoding charsets = FReception.Charsets();
    const std::size_t fileNameAt = UpperCaseAZ(disposition).find("FILENAME");
    if (charsets == TIdCharsetDecoding::AllToUtf8) {
        if (std::optional<std::string> name = ExtendedParameterValue(disposition, "filename")) return *name;
        if (fileNameAt == std::string::npos) {
            if (std::optional<std::string> name = ExtendedParameterValue(contentType, "name")) return *name;
        }
    }
    std::string_view name;
    if (fileNameAt != std::string::npos) {
        name = disposition.substr(std::min(fileNameAt + 9, disposition.size()));
    } else if (const std::size_t typeName = UpperCaseAZ(contentType).find("NAME"); typeName != std::string::npos) {
        name = contentType.substr(std::min(typeName + 5, contentType.size()));
    }
    if (name.starts_with('"')) {
        name.remove_prefix(1);
        name = name.substr(0, name.find('"'));
    }
    try {
        return DecodeHeaderValue(name, charsets);
    } catch (const EIdParseError&) {
        // A broken encoded word must not cost the attachment: the name
        // stays as received.
        return std::string(name);
    }
}

std::string TIdMessageDecoderMIME::PartContentType() const {
    return WholeBodyMode ? Owner.ContentType : PartField("Content-Type");
}

TIdMessageDecoderMIME::Encoding TIdMessageDecoderMIME::contentEncoding() const {
    const std::string encoding = WholeBodyMode ? Owner.ContentTransferEncoding : PartField("Content-Transfer-Encoding");
    if (SameText(encoding, "base64")) return Encoding::Base64;
    if (SameText(encoding, "quoted-printable")) return Encoding::QuotedPrintable;
    // "7bit", "8bit", "binary" and anything unknown pass unchanged.
    return Encoding::Identity;
}

TIdMessageDecoderMIME::BoundaryLine TIdMessageDecoderMIME::boundaryLine(std::string_view line) const {
    // With no boundary open, "--" and "----" are content like any line.
    if (PartBoundary.empty() || !line.starts_with("--")) return BoundaryLine::None;
    if (IsBoundaryLine(line, PartBoundary)) return BoundaryLine::NextPart;
    if (IsBoundaryLine(line, PartBoundary, "--")) return BoundaryLine::Closing;
    return BoundaryLine::None;
}

std::unique_ptr<TIdMessageDecoder> TIdMessageDecoderMIME::ReadPartBody(ByteSink& destination, bool& messageEnded) {
    messageEnded = false;
    const Encoding encoding = contentEncoding();
    std::unique_ptr<TIdDecoder> decoder;
    if (encoding == Encoding::Base64) decoder = std::make_unique<TIdDecoderMIME>();
    if (encoding == Encoding::QuotedPrintable) decoder = std::make_unique<TIdDecoderQuotedPrintable>();
    // The pending line was counted when the reception loop read it.
    std::string pending = std::exchange(PendingLine, {});
    for (;;) {
        std::string& line = pending.empty() ? readLine() : pending;
        if (line == ".") {
            messageEnded = true;
            return nullptr;
        }
        switch (boundaryLine(line)) {
            case BoundaryLine::NextPart:
                return std::make_unique<TIdMessageDecoderMIME>(Owner, FReception);
            case BoundaryLine::Closing:
                Owner.BoundaryStack.PopBoundary();
                return nullptr;
            case BoundaryLine::None:
                break;
        }
        writeContent(line, encoding, decoder.get(), destination);
        pending.clear();
    }
}

// Base64 lines are decoded when not empty. Other lines lose a leading "."
// (the dot-stuffing of the server) and are written, or decoded as
// quoted-printable, followed by CR LF.
void TIdMessageDecoderMIME::writeContent(std::string& line, Encoding encoding, TIdDecoder* decoder,
                                         ByteSink& destination) {
    if (encoding == Encoding::Base64) {
        if (!line.empty()) decoder->DecodeToStream(line, destination);
        return;
    }
    const std::size_t from = line.starts_with('.') ? 1 : 0;
    line += "\r\n";
    const std::string_view content = std::string_view(line).substr(from);
    if (decoder != nullptr) {
        decoder->DecodeToStream(content, destination);
    } else {
        destination.Write(content);
    }
}

std::unique_ptr<TIdMessageDecoder> TIdMessageDecoderInfoMIME::DetectPartStart(TIdMessage& msg, std::string_view line,
                                                                              BodyReception& reception) const {
    // With no boundary open, a line "--" is content.
    const std::string boundary = msg.BoundaryStack.CurrentBoundary();
    if (!boundary.empty() && IsBoundaryLine(line, boundary)) return std::make_unique<TIdMessageDecoderMIME>(msg, reception);
    if (!isWholeBodyEncoding(msg.ContentTransferEncoding)) return nullptr;
    auto reader = std::make_unique<TIdMessageDecoderMIME>(msg, reception);
    reader->PendingLine = line;
    return reader;
}
