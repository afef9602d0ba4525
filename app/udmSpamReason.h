#pragma once

#include "app/udmFriends.h"
#include "app/udmSpam.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TIdMessage;

// The spam verdict with its reason: which general rule held, with its
// figures, or which word rule matched and the part of the tested text it
// matched; or that the sender is a friend, whose mail is never marked.

struct TSpamVerdict {
    bool Spam = false;
    // The sender is on the friends list; Spam is then false.
    bool Friend = false;
    // One line: "Empty subject", "5 recipients, more than 3", "250 kB,
    // more than 200 kB", the matching rule with the matched text, or the
    // friends list entry. Empty when the message is neither spam nor a
    // friend's.
    std::string Reason;
};

// The first general rule that holds, with its figures; empty when none does.
// Holds exactly when CheckGeneralRules is true.
[[nodiscard]] std::string GeneralRuleReason(const TSpamMessageView& message, std::int64_t size,
                                            const TSpamRules& rules);

// The reason a rule line gives when it matches the message: the kind of text
// tested, the line, the matched part of the text as written and as
// normalised. Empty when the line does not match (as MatchMailFilter).
[[nodiscard]] std::string WordRuleReason(std::string_view line, const TSpamMessageView& message);

// The verdict of IsSpamMessage with its reason; a sender on `friends` is
// never spam, whatever the rules. With no friends the verdict is always that
// of IsSpamMessage.
[[nodiscard]] TSpamVerdict JudgeSpamMessage(const TSpamMessageView& message, std::int64_t size,
                                            const TSpamRules& rules, const std::vector<std::string>& wordList,
                                            const TFriendsList& friends = {});

// The rules, the word list and the friends list prepared once for a check
// run; Judge gives the verdict and reason of JudgeSpamMessage.
class TSpamJudge {
public:
    TSpamJudge(std::vector<std::string> wordList, const TSpamRules& rules, TFriendsList friends = {});

    [[nodiscard]] TSpamVerdict Judge(const TSpamMessageView& message, std::int64_t size) const;
    [[nodiscard]] TSpamVerdict Judge(const TIdMessage& message, std::int64_t size) const;

private:
    std::vector<std::string> lines_;
    TPreparedFilters filters_;
    TSpamRules rules_;
    TFriendsList friends_;
};

// The line the header list and the message view show for a verdict: "Marked
// as spam: " and the reason; for a friend the reason and ", never marked";
// empty otherwise.
[[nodiscard]] std::string SpamReasonLine(const TSpamVerdict& verdict);
