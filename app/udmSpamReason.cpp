#include "app/udmSpamReason.h"

#include "message/IdMessage.h"

#include <utility>

namespace {

// A quoted part of a reason holds at most this many bytes of its text.
constexpr std::size_t kShownBytes = 100;

// `text` quoted for a one-line reason: control bytes show as spaces, and a
// long text is cut, "..." marking the cut, before a UTF-8 sequence it would
// split (at most three bytes earlier).
std::string quoted(std::string_view text) {
    std::size_t end = text.size();
    const bool cut = end > kShownBytes;
    if (cut) {
        end = kShownBytes;
        for (int back = 0; back < 3 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80; ++back) --end;
    }
    std::string out = "\"";
    for (const char c : text.substr(0, end)) {
        const unsigned char b = static_cast<unsigned char>(c);
        out += (b < 0x20 || b == 0x7F) ? ' ' : c;
    }
    if (cut) out += "...";
    return out + "\"";
}

// The normalised text and, for each of its bytes, the index of the byte of
// the original it came from: the normalisation maps bytes one to one or
// drops them, so the matched part can be found in the text as written.
struct TTrackedText {
    std::string Normal;
    std::vector<std::size_t> From;
};

TTrackedText normalizeTracked(std::string_view original) {
    TTrackedText tracked;
    for (std::size_t i = 0; i < original.size(); ++i) {
        const std::string n = NormalizeSpamText(original.substr(i, 1));
        if (n.empty()) continue;
        tracked.Normal += n;
        tracked.From.push_back(i);
    }
    return tracked;
}

bool friendVerdict(const TSpamMessageView& message, const TFriendsList& friends, TSpamVerdict& verdict) {
    const std::string* entry = friends.Find(message.FromAddress);
    if (!entry) return false;
    verdict.Friend = true;
    verdict.Reason = "Sender on the friends list as " + quoted(*entry);
    return true;
}

// The size in whole kB, rounded up, so that a message over the limit never
// shows the limit itself.
std::int64_t kilobytesUp(std::int64_t size) { return size / 1024 + (size % 1024 != 0 ? 1 : 0); }

}  // namespace

std::string GeneralRuleReason(const TSpamMessageView& message, std::int64_t size, const TSpamRules& rules) {
    // Mostly none holds, which one test says. Otherwise each rule on its
    // own, in the order of CheckGeneralRules, so that the reason holds
    // exactly when the verdict does.
    if (!CheckGeneralRules(message, size, rules)) return {};
    if (CheckGeneralRules(message, size, TSpamRules{rules.SubjectEmpty, 0, 0})) return "Empty subject";
    if (CheckGeneralRules(message, size, TSpamRules{false, rules.Recipients, 0}))
        return std::to_string(message.RecipientCount) + " recipients, more than " + std::to_string(rules.Recipients);
    if (CheckGeneralRules(message, size, TSpamRules{false, 0, rules.MailMaxLen}))
        return std::to_string(kilobytesUp(size)) + " kB, more than " + std::to_string(rules.MailMaxLen) + " kB";
    return {};
}

std::string WordRuleReason(std::string_view line, const TSpamMessageView& message) {
    const TMailFilter rule = ParseMailFilter(line);
    const std::string word = NormalizeSpamText(rule.FilterText);
    if (word.empty()) return {};
    const bool sender = rule.Kind == fkAddress;
    // Normalising address and name one after the other is normalising
    // them run together: the normalisation goes byte by byte.
    const std::string original = sender ? message.FromAddress + message.FromName : message.Subject;
    const TTrackedText tested = normalizeTracked(original);
    const std::size_t at = tested.Normal.find(word);
    if (at == std::string::npos || (!rule.Contains && at != 0)) return {};
    const std::size_t first = tested.From[at];
    const std::size_t last = tested.From[at + word.size() - 1];
    return std::string(sender ? "Sender" : "Subject") + " matches rule " + quoted(line) + ": " +
           quoted(std::string_view(original).substr(first, last - first + 1)) + " reads as " + quoted(word);
}

TSpamVerdict JudgeSpamMessage(const TSpamMessageView& message, std::int64_t size, const TSpamRules& rules,
                              const std::vector<std::string>& wordList, const TFriendsList& friends) {
    TSpamVerdict verdict;
    if (friendVerdict(message, friends, verdict)) return verdict;
    verdict.Reason = GeneralRuleReason(message, size, rules);
    for (auto line = wordList.begin(); verdict.Reason.empty() && line != wordList.end(); ++line)
        verdict.Reason = WordRuleReason(*line, message);
    verdict.Spam = !verdict.Reason.empty();
    return verdict;
}

TSpamJudge::TSpamJudge(std::vector<std::string> wordList, const TSpamRules& rules, TFriendsList friends)
    : lines_(std::move(wordList)), filters_(lines_), rules_(rules), friends_(std::move(friends)) {}

TSpamVerdict TSpamJudge::Judge(const TSpamMessageView& message, std::int64_t size) const {
    TSpamVerdict verdict;
    if (friendVerdict(message, friends_, verdict)) return verdict;
    verdict.Reason = GeneralRuleReason(message, size, rules_);
    if (verdict.Reason.empty()) {
        // Most mail matches no rule, and the walk that stops at the first
        // match is the cheapest way to say so. For the rest the automaton
        // names the first matching line, and only that line is looked at
        // again for the matched text.
        if (filters_.Matches(message)) {
            const int line = filters_.FirstMatch(message);
            if (line >= 0) verdict.Reason = WordRuleReason(lines_[static_cast<std::size_t>(line)], message);
        }
    }
    verdict.Spam = !verdict.Reason.empty();
    return verdict;
}

TSpamVerdict TSpamJudge::Judge(const TIdMessage& message, std::int64_t size) const {
    return Judge(SpamViewOf(message), size);
}

std::string SpamReasonLine(const TSpamVerdict& verdict) {
    if (verdict.Spam) return "Marked as spam: " + verdict.Reason;
    if (verdict.Friend) return verdict.Reason + ", never marked";
    return {};
}
