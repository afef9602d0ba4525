#pragma once

#include "message/IdCharsets.h"
#include "message/IdMessage.h"
#include "message/IdMessageCoder.h"
#include "net/IdTCPClient.h"

#include <cstdint>
#include <string>
#include <string_view>

// A connection that reads Internet messages: header lines now, bodies
// and MIME parts where a whole message is fetched.
class TIdMessageClient : public TIdTCPClient {
public:
    // Appends header lines to msg.HeaderLines, as received, until the line
    // equal to `alternateTerminator`; an empty terminator stops at the empty
    // line that ends a header or at ".". Other empty lines are skipped. Then
    // fills the header fields. Runs inside a read work span; returns the line
    // that ended the loop. The fields are decoded as CharsetDecoding says.
    // Raises the connection's read failures (the lines read so far stay, the
    // fields are not touched), EIdReadLinesLimitExceeded
    // past MaxReadLinesSize bytes, and what ReadHeaderFields raises. With
    // `readFields` false the fields are left for the caller to fill with
    // ReadHeaderFields, for example while the server works on a next command.
    std::string ReceiveHeaderLines(TIdMessage& msg, std::string_view alternateTerminator, bool readFields = true);

    // What header reception does with a line longer than MaxLineLength:
    // raise EIdReadLnMaxLineLengthExceeded (the connection's rule), or keep
    // the line cut at the limit, drop the rest of that one line and read the
    // following lines as usual, so that one over-long line cannot hide the
    // rest of a header.
    enum class TIdLongHeaderLines { Raise, Cut };
    TIdLongHeaderLines LongHeaderLines = TIdLongHeaderLines::Raise;
    // Whether the last ReceiveHeaderLines cut a line.
    [[nodiscard]] bool HeaderWasCut() const { return headerWasCut_; }

    // How the header fields, the part names and the text parts of the
    // messages this client receives treat character sets.
    TIdCharsetDecoding CharsetDecoding = TIdCharsetDecoding::Written;

    // Recomputes the header-derived fields of msg from its HeaderLines and
    // pushes the boundary of its content type; the encoded words of
    // "Subject", "From", "To" and "Cc" are decoded as `charsets` says. Never
    // rejects a header; only the address, encoded-word and date parsers'
    // errors pass through.
    static void ReadHeaderFields(TIdMessage& msg, TIdCharsetDecoding charsets = TIdCharsetDecoding::Written);

    // Reads the rest of a message after its header, up to the line
    // `delimiter`, into msg.Body (lines outside any part, a leading ".." made
    // "."), and msg.Parts: MIME parts cut at their boundaries, nested ones
    // included, Base64 and quoted-printable decoded, uuencoded and xxencoded
    // blocks of plain text found; text parts in memory, attachments in files
    // of the process's private temporary folder. With CharsetDecoding
    // AllToUtf8 the file names of parts are decoded to UTF-8 (RFC 2231
    // parameters included), and text parts and the body lines of a message
    // that declare a charset are converted to UTF-8 where they convert
    // cleanly; attachment files keep their bytes. Runs inside a read work
    // span. A failure of the connection passes through as it is and ends the
    // reception where it happened. A failure of the content (see
    // EIdMessageBodyError) reads and drops the rest of the reply and then
    // raises EIdMessageBodyError with the failure's text; when the rest runs
    // beyond MaxBodyDrainSize bytes the socket is closed instead and the
    // failure raised as EIdException. Either way the parts read so far stay.
    void ReceiveMessageBody(TIdMessage& msg, std::string_view delimiter);

    // Steps of ReceiveMessageBody: run the reader's ReadPartBody into memory
    // or into a new temporary file, add the text part or attachment to its
    // message, and return the reader of the next part.
    std::unique_ptr<TIdMessageDecoder> StoreTextPart(std::unique_ptr<TIdMessageDecoder> reader, bool& messageEnded);
    std::unique_ptr<TIdMessageDecoder> StoreAttachmentPart(std::unique_ptr<TIdMessageDecoder> reader,
                                                           bool& messageEnded);

    // The bounds of what one message's body may make the program hold.
    TIdBodyLimits BodyLimits;
    // The most bytes read and dropped after a content failure.
    std::int64_t MaxBodyDrainSize = 1024LL * 1024 * 1024;

private:
    // One header line into `line`; with LongHeaderLines Cut a longer line
    // comes back cut at the limit, the rest of it read and dropped.
    // `start` is where the header began in the input, for the bound on the
    // bytes a header may gather.
    void readHeaderLine(std::string& line, std::uint64_t start);
    void receiveBodyLines(TIdMessage& msg, BodyReception& reception);
    void readParts(TIdMessage& msg, std::unique_ptr<TIdMessageDecoder> reader, bool& messageEnded);
    static void addBodyLine(TIdMessage& msg, std::string_view line, BodyReception& reception);
    [[nodiscard]] bool drainReply(std::string_view delimiter, const BodyReception& reception);

    bool headerWasCut_ = false;
};
