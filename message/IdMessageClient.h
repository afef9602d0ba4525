#pragma once

#include "message/IdMessage.h"
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
    // that ended the loop. Raises the connection's read failures (the lines
    // read so far stay, the fields are not touched), EIdReadLinesLimitExceeded
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

    // Recomputes the header-derived fields of msg from its HeaderLines and
    // pushes the boundary of its content type. Never rejects a header; only
    // the address, encoded-word and date parsers' errors pass through.
    static void ReadHeaderFields(TIdMessage& msg);

    // Body reception (text lines, MIME parts, attachments) joins here for the
    // whole-message fetch.

private:
    // One header line into `line`; with LongHeaderLines Cut a longer line
    // comes back cut at the limit, the rest of it read and dropped.
    // `start` is where the header began in the input, for the bound on the
    // bytes a header may gather.
    void readHeaderLine(std::string& line, std::uint64_t start);

    bool headerWasCut_ = false;
};
