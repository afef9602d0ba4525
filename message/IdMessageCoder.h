#pragma once

#include "message/IdByteSink.h"
#include "message/IdCharsets.h"
#include "message/IdMessage.h"
#include "net/IdException.h"
#include "net/IdTCPStream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Body reception failed on the content of the message: a part of unknown
// type, an unrecognised uuencode scheme, a Base64 line of uneven size, a
// line longer than the line limit, a bound passed, an attachment file that
// could not be written. The rest of
// the reply has been read and dropped, so the connection is still in step;
// the parts read before the failure stay. The message is the failure's own.
class EIdMessageBodyError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdMessageTextTooLarge : public EIdException {
public:
    explicit EIdMessageTextTooLarge(std::uint64_t limit)
        : EIdException("Message text exceeds the limit of " + std::to_string(limit) + " bytes.") {}
};

class EIdTooManyMessageParts : public EIdException {
public:
    explicit EIdTooManyMessageParts(int limit)
        : EIdException("Message has more than " + std::to_string(limit) + " parts.") {}
};

class EIdMessageNestingTooDeep : public EIdException {
public:
    explicit EIdMessageNestingTooDeep(int limit)
        : EIdException("Message parts are nested more than " + std::to_string(limit) + " levels deep.") {}
};

class EIdAttachmentTooLarge : public EIdException {
public:
    EIdAttachmentTooLarge() : EIdException("Attachment data exceeds the size of the message.") {}
};

// The bounds that keep a hostile message from exhausting memory or disk.
struct TIdBodyLimits {
    // Text held in memory: body lines, text parts and part headers together.
    std::uint64_t MaxText = 64 * 1024 * 1024;
    int MaxParts = 10000;
    // Open multipart levels, the message's own included.
    int MaxNesting = 100;
};

// What one body reception shares with its part readers: the counted line
// reads, the bounds of what the message may hold and the treatment of
// charsets. Attachment files may hold no more bytes than the lines read so
// far (each counted with its CR LF), which no well-formed encoding exceeds.
class BodyReception {
public:
    BodyReception(std::string_view delimiter, const TIdBodyLimits& limits,
                  TIdCharsetDecoding charsets = TIdCharsetDecoding::Written)
        : FDelimiter(delimiter), FLimits(limits), FCharsets(charsets) {}

    // Reads one line from `stream` into `line` and counts it. When the read
    // fails, ReadFailed() stays true, except for a line longer than the
    // line limit, which is left to be read in pieces.
    void ReadLine(TIdTCPStream& stream, std::string& line);
    // Whether the last read failed: the connection, not the content, broke.
    [[nodiscard]] bool ReadFailed() const { return FReading; }
    // Whether the delimiter line that ends the reply has been read.
    [[nodiscard]] bool Ended() const { return FEnded; }

    // Each raises its bound's error when the bound is passed.
    void CountText(std::size_t bytes);
    // Counts a line of `bytes` kept in memory as a string of its own: its
    // bytes and the string's own size, so that a message of empty lines
    // cannot pile up strings past the bound.
    void CountLine(std::size_t bytes) { CountText(bytes + kLineOverhead); }
    static constexpr std::size_t kLineOverhead = sizeof(std::string);
    void CountFileBytes(std::size_t bytes);
    void CountPart();
    void CheckNesting(int depth) const;
    // Whether `bytes` more of text in memory stay within the bound.
    [[nodiscard]] bool RoomForText(std::size_t bytes) const { return FText + bytes <= FLimits.MaxText; }

    [[nodiscard]] TIdCharsetDecoding Charsets() const { return FCharsets; }

private:
    std::string FDelimiter;
    TIdBodyLimits FLimits;
    TIdCharsetDecoding FCharsets;
    bool FReading = false;
    bool FEnded = false;
    std::uint64_t FReceived = 0;
    std::uint64_t FText = 0;
    std::uint64_t FFileBytes = 0;
    int FParts = 0;
};

enum TIdPartKind : std::uint8_t { pkUnknown = 0, pkText = 1, pkAttachment = 2 };

// The reader of one part of a message being received.
class TIdMessageDecoder {
public:
    TIdMessageDecoder(TIdMessage& owner, BodyReception& reception) : Owner(owner), FReception(reception) {}
    virtual ~TIdMessageDecoder() = default;
    TIdMessageDecoder(const TIdMessageDecoder&) = delete;
    TIdMessageDecoder& operator=(const TIdMessageDecoder&) = delete;

    // Reads the part's header, if it has one, and sets PartKind.
    virtual void ReadPartHeader() = 0;
    // Decodes the part's content into `destination`; returns the reader of
    // the next part, or none. Sets `messageEnded` when it read the line ".".
    virtual std::unique_ptr<TIdMessageDecoder> ReadPartBody(ByteSink& destination, bool& messageEnded) = 0;

    // The value of the header field `name` (any letter case) in PartFields:
    // what follows the first "=" of its entry; empty when there is none.
    [[nodiscard]] std::string PartField(std::string_view name) const;
    // The content type that applies to the part's content: its own
    // "Content-Type" field.
    [[nodiscard]] virtual std::string PartContentType() const { return PartField("Content-Type"); }
    // Whether the reader found no part after all; its lines then belong to
    // the message's Body.
    [[nodiscard]] bool Declined() const { return !DeclinedLines.empty(); }
    [[nodiscard]] BodyReception& Reception() const { return FReception; }

    TIdPartKind PartKind = pkUnknown;
    std::string PartFileName;
    // One entry per header field of the part: name "=" value.
    std::vector<std::string> PartFields;
    std::unique_ptr<TIdTCPStream> InputStream;
    std::vector<std::string> DeclinedLines;
    TIdMessage& Owner;

protected:
    // The next line of InputStream; valid until the next call.
    std::string& readLine();
    BodyReception& FReception;

private:
    std::string FLine;
};

// A recogniser of the lines that start a part.
class TIdMessageDecoderInfo {
public:
    virtual ~TIdMessageDecoderInfo() = default;
    // A new reader when `line` starts a part of `msg`, or none.
    [[nodiscard]] virtual std::unique_ptr<TIdMessageDecoder> DetectPartStart(TIdMessage& msg, std::string_view line,
                                                                             BodyReception& reception) const = 0;
};

// The recognisers in the order they are asked: "UUE", then "MIME".
class TIdMessageDecoderList {
public:
    // The process-wide registry, filled at its first use and only read
    // afterwards.
    static const TIdMessageDecoderList& Instance();
    // The reader of the first recogniser that takes `line`, or none.
    [[nodiscard]] std::unique_ptr<TIdMessageDecoder> FindPartStart(TIdMessage& msg, std::string_view line,
                                                                   BodyReception& reception) const;

private:
    TIdMessageDecoderList();
    std::vector<std::pair<std::string, std::unique_ptr<TIdMessageDecoderInfo>>> FEntries;
};
