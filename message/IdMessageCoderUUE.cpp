#include "message/IdMessageCoderUUE.h"

#include "message/IdCoderXXE.h"
#include "message/IdGlobal.h"

#include <utility>

namespace {

// Whether the first data line of a block shorter than one full line reads
// as a line of `alphabet`: its length character is in the alphabet and the
// line is as long as that many bytes take (give or take the trailing blanks
// a mailer may have cut and one checksum character).
bool fitsAlphabet(std::string_view line, std::string_view alphabet) {
    const char first = line.front() == ' ' && alphabet == kUUEAlphabet ? '`' : line.front();
    const std::size_t bytes = alphabet.find(first);
    if (bytes == std::string_view::npos || bytes == 0) return false;
    const std::size_t length = 1 + 4 * ((bytes + 2) / 3);
    return line.size() + 3 >= length && line.size() <= length + 1;
}

}  // namespace

TIdMessageDecoderUUE::TIdMessageDecoderUUE(TIdMessage& owner, BodyReception& reception, std::string beginLine,
                                           std::string fileName)
    : TIdMessageDecoder(owner, reception), FBeginLine(std::move(beginLine)) {
    PartKind = pkAttachment;
    PartFileName = std::move(fileName);
}

void TIdMessageDecoderUUE::ReadPartHeader() {
    FFirstLine = readLine();
    if (FFirstLine.empty()) {
        // Without a data line there is no alphabet to decode the block with.
        DeclinedLines = {FBeginLine, FFirstLine};
        return;
    }
    if (FFirstLine.front() == 'M' || fitsAlphabet(FFirstLine, kUUEAlphabet)) {
        FDecoder = std::make_unique<TIdDecoderUUE>();
    } else if (FFirstLine.front() == 'h' || fitsAlphabet(FFirstLine, kXXEAlphabet)) {
        FDecoder = std::make_unique<TIdDecoderXXE>();
    } else {
        throw EIdException("Unrecognized UUE encoding scheme.");
    }
}

std::unique_ptr<TIdMessageDecoder> TIdMessageDecoderUUE::ReadPartBody(ByteSink& destination, bool& messageEnded) {
    messageEnded = false;
    const std::string fillOnly(1, FDecoder->FillChar);
    for (std::string* line = &FFirstLine;; line = &readLine()) {
        if (line != &FFirstLine && SameText(Trim(*line), "end")) return nullptr;
        if (*line == ".") {
            messageEnded = true;
            return nullptr;
        }
        if (!Trim(*line).empty() && *line != fillOnly) FDecoder->DecodeToStream(*line, destination);
    }
}

std::unique_ptr<TIdMessageDecoder> TIdMessageDecoderInfoUUE::DetectPartStart(TIdMessage& msg, std::string_view line,
                                                                             BodyReception& reception) const {
    if (line.size() < 10 || !SameText(line.substr(0, 6), "begin ") || StrToIntDef(line.substr(6, 3), 0) <= 0 ||
        line[9] != ' ')
        return nullptr;
    return std::make_unique<TIdMessageDecoderUUE>(msg, reception, std::string(line), std::string(line.substr(10)));
}
