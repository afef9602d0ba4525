#pragma once

#include "message/IdCoderUUE.h"
#include "message/IdMessageCoder.h"

#include <memory>
#include <string>
#include <string_view>

// The reader of a uuencoded or xxencoded block in plain body text, from the
// line after "begin" up to its "end" line (or the end of the message).
class TIdMessageDecoderUUE : public TIdMessageDecoder {
public:
    // `beginLine` is the line that started the block, `fileName` the name it
    // gives.
    TIdMessageDecoderUUE(TIdMessage& owner, BodyReception& reception, std::string beginLine, std::string fileName);

    // Reads the block's first data line, whose length character tells the
    // alphabet: "M" uuencode, "h" xxencode (the length of a full line of 45
    // bytes in each). Any other character raises "Unrecognized UUE encoding
    // scheme."; an empty first line declines the block, which then stays in
    // the body as text.
    void ReadPartHeader() override;
    // Decodes the data lines up to "end"; blank lines and a lone FillChar
    // are skipped.
    std::unique_ptr<TIdMessageDecoder> ReadPartBody(ByteSink& destination, bool& messageEnded) override;

private:
    std::string FBeginLine;
    std::string FFirstLine;
    std::unique_ptr<TIdDecoderUUEBase> FDecoder;
};

// Starts a block at a line "begin ", a mode of three characters that read as
// a number above 0, a blank and the file name.
class TIdMessageDecoderInfoUUE : public TIdMessageDecoderInfo {
public:
    [[nodiscard]] std::unique_ptr<TIdMessageDecoder> DetectPartStart(TIdMessage& msg, std::string_view line,
                                                                     BodyReception& reception) const override;
};
