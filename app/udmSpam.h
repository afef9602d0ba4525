#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TSettings;
class TIdMessage;

// The spam filter: the normalisation that sees through disguised words, the
// rule lines of the word list, the word list file and the verdict. Plain
// C++ on bytes; nothing here touches a widget.

// What a rule tests: the subject, or the sender's address and name.
enum TFilterKind : std::int32_t { fkSubject = 0, fkAddress = 1 };

// One parsed rule line.
struct TMailFilter {
    TFilterKind Kind = fkSubject;
    bool Contains = true;    // true: anywhere in the text; false: the text begins with it
    std::string FilterText;  // the word as written, before normalisation
};

// The 29 separator bytes, in ascending order.
inline constexpr std::string_view SpamSeparators{
    "!\"#$%&()*+,-./:;<>?@[\\]^_{|}\xFF", 29};

// True exactly for the bytes of SpamSeparators.
[[nodiscard]] bool IsSpamSeparator(unsigned char byte);

// Maps "@" to "A", "!" and "1" to "I", drops every other separator and every
// space, and upper-cases a to z. Other bytes (tabs, accented letters) stay.
[[nodiscard]] std::string NormalizeSpamText(std::string_view text);

// Reads the text form of a rule: "Subject: " or "Address: ", a marker ("%"
// for contains, anything else for begins-with), then the word. A line
// without a recognised prefix is a subject-contains rule of the whole line.
[[nodiscard]] TMailFilter ParseMailFilter(std::string_view line);

// The parts of a message the spam rules look at.
struct TSpamMessageView {
    std::string Subject;
    std::string FromAddress;
    std::string FromName;
    std::int64_t RecipientCount = 0;  // To + Cc + Bcc addresses
};

// The three general rules; a limit of 0 or less switches its rule off.
struct TSpamRules {
    bool SubjectEmpty = false;
    std::int32_t Recipients = 0;
    std::int32_t MailMaxLen = 0;  // in kB of 1024 bytes
};

// The general rules as kept in the program's settings.
[[nodiscard]] TSpamRules SpamRulesOf(const TSettings& settings);

// Parses `line` and tests it against the message: the subject, or the
// sender's address immediately followed by the display name, both
// normalised. An empty normalised word never matches.
[[nodiscard]] bool MatchMailFilter(std::string_view line, const TSpamMessageView& message);

// True at the first general rule that holds: empty subject ("" or "RE" once
// normalised), more recipients than the limit, more bytes than the limit.
[[nodiscard]] bool CheckGeneralRules(const TSpamMessageView& message, std::int64_t size,
                                     const TSpamRules& rules);

// The verdict: the general rules, then the word list's lines in order.
[[nodiscard]] bool IsSpamMessage(const TSpamMessageView& message, std::int64_t size,
                                 const TSpamRules& rules,
                                 const std::vector<std::string>& wordList);

// A word list parsed and normalised once, for a whole check run. Matches()
// gives the same answer as testing every line with MatchMailFilter, but
// runs each tested text once through an automaton of all the words.
class TPreparedFilters {
public:
    explicit TPreparedFilters(const std::vector<std::string>& wordList);
    ~TPreparedFilters();
    TPreparedFilters(TPreparedFilters&&) noexcept;
    TPreparedFilters& operator=(TPreparedFilters&&) noexcept;

    // True when any rule of the list matches the message.
    [[nodiscard]] bool Matches(const TSpamMessageView& message) const;
    // The index in the word list of the first line that matches, as testing
    // the lines in order finds it; -1 when none does.
    [[nodiscard]] int FirstMatch(const TSpamMessageView& message) const;

private:
    class Automaton;
    std::vector<Automaton> automata_;  // one per kind: subject, address
};

// The verdict with a prepared word list; equal to the one taking lines.
[[nodiscard]] bool IsSpamMessage(const TSpamMessageView& message, std::int64_t size,
                                 const TSpamRules& rules, const TPreparedFilters& filters);

// What the rules read of a received message: the subject, the sender's
// address and display name, and the To, Cc and Bcc addresses counted.
[[nodiscard]] TSpamMessageView SpamViewOf(const TIdMessage& message);

// The general rules and the verdict for a received message, `size` being the
// size the server reported (the check run keeps it in the message's Tag).
[[nodiscard]] bool CheckGeneralRules(const TIdMessage& message, std::int64_t size,
                                     const TSpamRules& rules);
[[nodiscard]] bool IsSpamMessage(const TIdMessage& message, std::int64_t size,
                                 const TSpamRules& rules,
                                 const std::vector<std::string>& wordList);
[[nodiscard]] bool IsSpamMessage(const TIdMessage& message, std::int64_t size,
                                 const TSpamRules& rules, const TPreparedFilters& filters);

// The word list file, in the folder of the user's files (ui::UserFilePath).
[[nodiscard]] std::string FiltersFilePath();

// Splits file contents into lines: CR LF, CR or LF ends a line; a final line
// break adds no empty line; empty lines in the middle are kept.
[[nodiscard]] std::vector<std::string> SplitFilterLines(std::string_view bytes);

// Reads the word list file; a missing file is an empty list. Throws
// EIdException when the file exists but cannot be read.
[[nodiscard]] std::vector<std::string> ReadFilterFile(const std::string& path);

// Replaces the word list file with the lines, each followed by CR LF. The
// new contents go to a file beside it that is renamed over the old one, so
// a failure (EIdException) leaves the previous file intact.
void WriteFilterFile(const std::string& path, const std::vector<std::string>& lines);
