#include "message/IdMessageClient.h"

#include "message/IdCoderHeader.h"
#include "message/IdGlobal.h"
#include "net/IdExceptions.h"

#include <utility>

namespace {

// Splits a "Newsgroups" value at its commas. A comma between the first and
// the second double quote of the current piece belongs to the piece; every
// piece is trimmed and kept when something is left.
std::vector<std::string> splitNewsGroups(std::string_view text) {
    std::vector<std::string> groups;
    const auto keep = [&](std::string_view piece) {
        piece = Trim(piece);
        if (!piece.empty()) groups.emplace_back(piece);
    };
    std::size_t start = 0;
    int quotes = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            ++quotes;
        } else if (text[i] == ',' && quotes != 1) {
            keep(text.substr(start, i - start));
            start = i + 1;
            quotes = 0;
        }
    }
    keep(text.substr(start));
    return groups;
}

}  // namespace

std::string TIdMessageClient::ReceiveHeaderLines(TIdMessage& msg, std::string_view alternateTerminator,
                                                 bool readFields) {
    BeginWork(wmRead);
    std::string line;
    try {
        // A server that never ends the header must not fill memory: the
        // header may gather no more than a multi-line reply.
        const std::uint64_t start = InputBuffer().TotalRemoved();
        // Most headers fit in this many lines and bytes; the list need not
        // grow step by step to get there.
        constexpr int kUsualHeaderLines = 32;
        constexpr std::size_t kUsualHeaderBytes = 2048;
        msg.HeaderLines.Reserve(kUsualHeaderLines, kUsualHeaderBytes);
        headerWasCut_ = false;
        for (;;) {
            readHeaderLine(line, start);
            if (alternateTerminator.empty() && line == ".") break;
            if (line == alternateTerminator) break;
            if (MaxReadLinesSize > 0 &&
                InputBuffer().TotalRemoved() - start > static_cast<std::uint64_t>(MaxReadLinesSize))
                throw EIdReadLinesLimitExceeded(MaxReadLinesSize);
            // Blank lines are skipped: after "TOP n 0" the blank line that
            // ends the header comes before the ".".
            if (line.empty()) continue;
            msg.HeaderLines.Add(line);
        }
        if (readFields) ReadHeaderFields(msg);
    } catch (...) {
        EndWork(wmRead);
        throw;
    }
    EndWork(wmRead);
    return line;
}

void TIdMessageClient::readHeaderLine(std::string& line, std::uint64_t start) {
    if (LongHeaderLines == TIdLongHeaderLines::Raise) {
        readLineInto(line, "\n", -1);
        return;
    }
    const TIdMaxLineAction saved = MaxLineAction;
    MaxLineAction = maSplit;
    try {
        readLineInto(line, "\n", -1);
        if (ReadLnSplit()) {
            // The pieces after the first continue the same line; none of
            // them may end the header, and the multi-line bound still
            // counts every byte read.
            headerWasCut_ = true;
            std::string rest;
            do {
                readLineInto(rest, "\n", -1);
                if (MaxReadLinesSize > 0 &&
                    InputBuffer().TotalRemoved() - start > static_cast<std::uint64_t>(MaxReadLinesSize))
                    throw EIdReadLinesLimitExceeded(MaxReadLinesSize);
            } while (ReadLnSplit());
        }
    } catch (...) {
        MaxLineAction = saved;
        throw;
    }
    MaxLineAction = saved;
}

void TIdMessageClient::ReadHeaderFields(TIdMessage& msg) {
    const TIdHeaderList& headers = msg.HeaderLines;
    const auto value = [&](std::string_view name) { return headers.GetFieldValue(name); };
    const auto decoded = [&](std::string_view name) { return DecodeHeaderText(value(name)); };

    msg.ContentType = value("Content-Type");
    msg.CharSet = CharSetFromContentType(msg.ContentType);
    msg.ContentTransferEncoding = value("Content-Transfer-Encoding");
    msg.ContentDisposition = value("Content-Disposition");
    msg.Subject = decoded("Subject");
    msg.From.SetText(decoded("From"));
    msg.MessageId = value("Message-Id");
    msg.NewsGroups = splitNewsGroups(value("Newsgroups"));
    msg.Recipients.ParseAddressList(decoded("To"));
    msg.CCList.ParseAddressList(decoded("Cc"));
    msg.Organization = value("Organization");
    msg.ReceiptRecipient.SetText(value("Disposition-Notification-To"));
    if (msg.ReceiptRecipient.Text().empty()) msg.ReceiptRecipient.SetText(value("Return-Receipt-To"));
    msg.References = value("References");
    // Reply-To and Sender are kept as received, encoded words included.
    msg.ReplyTo.ParseAddressList(value("Reply-To"));
    msg.Date = InternetDateToLocal(value("Date"));
    msg.Sender.SetText(value("Sender"));
    const std::string priority = value("Priority");
    msg.Priority = ParsePriority(priority.empty() ? value("X-Priority") : priority);
    msg.BoundaryStack.PushBoundary(BoundaryFromContentType(msg.ContentType));
}
