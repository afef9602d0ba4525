#include "message/IdMessageCoder.h"

#include "message/IdGlobal.h"
#include "message/IdMessageCoderMIME.h"
#include "message/IdMessageCoderUUE.h"
#include "net/IdExceptions.h"

void BodyReception::ReadLine(TIdTCPStream& stream, std::string& line) {
    FReading = true;
    try {
        line = stream.ReadLine();
    } catch (const EIdReadLnMaxLineLengthExceeded&) {
        // The line is still buffered and the connection sound: a line too
        // long is a fault of the content like any other.
        FReading = false;
        throw;
    }
    FReading = false;
    FReceived += line.size() + 2;
    if (line == FDelimiter) FEnded = true;
}

void BodyReception::CountText(std::size_t bytes) {
    FText += bytes;
    if (FText > FLimits.MaxText) throw EIdMessageTextTooLarge(FLimits.MaxText);
}

void BodyReception::CountFileBytes(std::size_t bytes) {
    FFileBytes += bytes;
    if (FFileBytes > FReceived) throw EIdAttachmentTooLarge();
}

void BodyReception::CountPart() {
    if (++FParts > FLimits.MaxParts) throw EIdTooManyMessageParts(FLimits.MaxParts);
}

void BodyReception::CheckNesting(int depth) const {
    if (depth > FLimits.MaxNesting) throw EIdMessageNestingTooDeep(FLimits.MaxNesting);
}

std::string TIdMessageDecoder::PartField(std::string_view name) const {
    for (const std::string& entry : PartFields) {
        const std::size_t equals = entry.find('=');
        if (equals != std::string::npos && SameText(std::string_view(entry).substr(0, equals), name))
            return entry.substr(equals + 1);
    }
    return {};
}

std::string& TIdMessageDecoder::readLine() {
    FReception.ReadLine(*InputStream, FLine);
    return FLine;
}

TIdMessageDecoderList::TIdMessageDecoderList() {
    FEntries.emplace_back("UUE", std::make_unique<TIdMessageDecoderInfoUUE>());
    FEntries.emplace_back("MIME", std::make_unique<TIdMessageDecoderInfoMIME>());
}

const TIdMessageDecoderList& TIdMessageDecoderList::Instance() {
    static const TIdMessageDecoderList list;
    return list;
}

std::unique_ptr<TIdMessageDecoder> TIdMessageDecoderList::FindPartStart(TIdMessage& msg, std::string_view line,
                                                                        BodyReception& reception) const {
    for (const auto& [name, info] : FEntries) {
        if (auto reader = info->DetectPartStart(msg, line, reception)) return reader;
    }
    return nullptr;
}
