#include "message/IdMessageCoderUUE.h"

#include "message/IdCoderXXE.h"
#include "message/IdGlobal.h"

#include <utility>

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
    if (FFirstLine.front() == 'M') {
        FDecoder = std::make_unique<TIdDecoderUUE>();
    } else if (FFirstLine.front() == 'h') {
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
