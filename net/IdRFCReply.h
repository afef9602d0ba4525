#pragma once

#include <string>
#include <vector>

// One parsed server reply: a code and the text of each reply line.
class TIdRFCReply {
public:
    // Code 0, no text, no text code.
    void Clear();

    [[nodiscard]] int NumericCode() const { return numericCode_; }
    // A code above 0 also replaces TextCode with its decimal text.
    void SetNumericCode(int code);
    [[nodiscard]] const std::string& TextCode() const { return textCode_; }
    // A non-empty text code also sets NumericCode to its decimal value, or
    // to 0 when it is not a decimal integer ("+OK" gives 0).
    void SetTextCode(const std::string& code);

    // Parses the collected lines of one reply: the code is the first four
    // characters of the first line, trimmed, without a fourth "-"; each
    // line from its fifth character on is one Text entry.
    void ParseResponse(const std::vector<std::string>& lines);

    // The Text entries, each followed by CR LF.
    [[nodiscard]] std::string FormattedText() const;

    std::vector<std::string> Text;

private:
    int numericCode_ = 0;
    std::string textCode_;
};
