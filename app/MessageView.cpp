#include "app/MessageView.h"

#include "message/IdGlobal.h"

namespace {

constexpr std::string_view kCRLF = "\r\n";

void appendLines(std::string& text, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        text += line;
        text += kCRLF;
    }
}

// A line that says why the rest could not be read, after an empty line.
std::string failureLine(std::string_view bodyError) {
    if (bodyError.empty()) return {};
    return std::string(kCRLF) + "The rest of the message could not be read: " + std::string(bodyError) +
           std::string(kCRLF);
}

// A received text shown inside one line: control characters (a line break
// among them) would cut the line or hide what follows.
std::string oneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return line;
}

}  // namespace

std::string MessageViewText(const TIdMessage& msg, bool retrieved, std::string_view bodyError) {
    if (!retrieved) return msg.HeaderLines.Text();
    std::string texts;
    std::string attachments;
    for (int i = 0; i < msg.Parts.Count(); ++i) {
        const TIdMessagePart& part = msg.Parts[i];
        if (const auto* text = dynamic_cast<const TIdText*>(&part)) {
            texts += kCRLF;
            appendLines(texts, text->Body);
        } else if (const auto* attachment = dynamic_cast<const TIdAttachment*>(&part)) {
            attachments += kCRLF;
            attachments += AttachmentLine(*attachment, i);
        }
    }
    // Without text parts (a message that is not MIME, or one of attachments
    // only) the body lines are the text; without attachments either, they
    // are the whole view. Attachments are always listed: a uuencoded file in
    // a plain message or a message that is one attachment can be saved too.
    if (texts.empty()) {
        std::string body;
        appendLines(body, msg.Body);
        if (attachments.empty()) return body + failureLine(bodyError);
        texts = std::string(kCRLF) + body;
    }
    std::string view(kCRLF);
    if (!attachments.empty()) {
        view += S_att;
        view += kCRLF;
        view += attachments;
        view += "\r\n\r\n";
    }
    view += S_body;
    view += texts;
    view += failureLine(bodyError);
    view += "\r\n\r\n";
    view += S_head;
    view += kCRLF;
    view += msg.HeaderLines.Text();
    return view;
}

std::string AttachmentLine(const TIdAttachment& part, int index) {
    const std::string name = SafeFileName(part.AttachedFileName);
    return std::string(AttachmentLinkPrefix) + name + "/ID=" + std::to_string(index) + " " + UpperCaseAZ(name) +
           " (" + oneLine(part.ContentType()) + ")";
}

std::string SafeFileName(std::string_view name) {
    const std::size_t separator = name.find_last_of("/\\");
    if (separator != std::string_view::npos) name.remove_prefix(separator + 1);
    std::string safe;
    for (const char c : name)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) safe += c;
    // A leading dot hides the file (or makes it "." or ".."); blanks at
    // either end are easily overlooked in a dialog.
    safe.erase(0, std::min(safe.find_first_not_of(". "), safe.size()));
    safe.erase(std::min(safe.find_last_not_of(' ') + 1, safe.size()));
    if (safe.size() > kMaxFileNameBytes) {
        const std::size_t dot = safe.rfind('.');
        constexpr std::size_t kLongestKeptExtension = 16;
        const std::string extension =
            dot != std::string::npos && safe.size() - dot <= kLongestKeptExtension ? safe.substr(dot) : "";
        std::size_t keep = kMaxFileNameBytes - extension.size();
        // Not inside a UTF-8 sequence.
        while (keep > 0 && (static_cast<unsigned char>(safe[keep]) & 0xc0) == 0x80) --keep;
        safe = safe.substr(0, keep) + extension;
    }
    return safe.empty() ? "attachment" : safe;
}

int PartIndexOfLink(std::string_view link) {
    constexpr std::string_view kMarker = "/ID=";
    const std::size_t at = link.find(kMarker);
    return StrToInt(at == std::string_view::npos ? std::string_view() : link.substr(at + kMarker.size()));
}
