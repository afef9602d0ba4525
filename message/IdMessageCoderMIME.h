#pragma once

#include "message/IdCoder.h"
#include "message/IdMessageCoder.h"

#include <memory>
#include <string>
#include <string_view>

// The reader of a MIME part, or of a whole single-part body in Base64 or
// quoted-printable.
class TIdMessageDecoderMIME : public TIdMessageDecoder {
public:
    // PartBoundary is the message's current boundary; WholeBodyMode is set
    // when the message's own transfer encoding is Base64 or quoted-printable.
    TIdMessageDecoderMIME(TIdMessage& owner, BodyReception& reception);

    // Reads the part header up to its empty line (in whole-body mode nothing)
    // and decides the kind; a file name whose encoded words cannot be
    // decoded is kept as received. A boundary named by the part's content type is
    // pushed and becomes PartBoundary. The line "." leaves pkUnknown.
    void ReadPartHeader() override;
    // Writes the content up to the next boundary line: a line "--" and the
    // boundary returns the reader of the next part, the closing line (with
    // "--" after the boundary) pops the boundary and returns none. With no
    // boundary open no line is a boundary line.
    std::unique_ptr<TIdMessageDecoder> ReadPartBody(ByteSink& destination, bool& messageEnded) override;
    // In whole-body mode the message's own content type.
    [[nodiscard]] std::string PartContentType() const override;

    // A content line read already by the recogniser, taken first.
    std::string PendingLine;
    bool WholeBodyMode;
    std::string PartBoundary;

private:
    enum class BoundaryLine { None, NextPart, Closing };
    enum class Encoding { Identity, Base64, QuotedPrintable };

    void addHeaderLine(std::string_view line);
    void decideKind(std::string_view contentType, std::string_view disposition);
    [[nodiscard]] std::string fileName(std::string_view contentType, std::string_view disposition) const;
    [[nodiscard]] Encoding contentEncoding() const;
    [[nodiscard]] BoundaryLine boundaryLine(std::string_view line) const;
    static void writeContent(std::string& line, Encoding encoding, TIdDecoder* decoder, ByteSink& destination);
};

// Starts a MIME reader at a line "--" and the current boundary, and at any
// line of a body whose own transfer encoding is Base64 or quoted-printable
// (the line then waits in PendingLine).
class TIdMessageDecoderInfoMIME : public TIdMessageDecoderInfo {
public:
    [[nodiscard]] std::unique_ptr<TIdMessageDecoder> DetectPartStart(TIdMessage& msg, std::string_view line,
                                                                     BodyReception& reception) const override;
};

// Whether `line` is "--" followed by `boundary`, and then by `closing`,
// without regard to case.
[[nodiscard]] bool IsBoundaryLine(std::string_view line, std::string_view boundary, std::string_view closing = "");
