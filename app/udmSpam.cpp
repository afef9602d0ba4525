#include "app/udmSpam.h"

#include "app/Settings.h"
#include "message/IdMessage.h"
#include "net/IdException.h"
#include "ui/Paths.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::array<bool, 256> kSeparatorTable = [] {
    std::array<bool, 256> table{};
    for (const char c : SpamSeparators) table[static_cast<unsigned char>(c)] = true;
    return table;
}();

// The normalisation of one byte; a space means "dropped". Spaces of the
// input and separators both vanish, so one table serves all three passes.
constexpr std::array<unsigned char, 256> kNormalTable = [] {
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b) {
        unsigned char out = static_cast<unsigned char>(b);
        if (b == '@') {
            out = 'A';
        } else if (b == '!' || b == '1') {
            out = 'I';
        } else if (kSeparatorTable[b]) {
            out = ' ';
        } else if (b >= 'a' && b <= 'z') {
            out = static_cast<unsigned char>(b - 'a' + 'A');
        }
        table[b] = out;
    }
    return table;
}();

constexpr unsigned char kDropped = ' ';

constexpr std::string_view kSubjectPrefix = "Subject: ";
constexpr std::string_view kAddressPrefix = "Address: ";

// The normalised sender: address and display name run together.
std::string normalizedSender(const TSpamMessageView& message) {
    return NormalizeSpamText(message.FromAddress) + NormalizeSpamText(message.FromName);
}

bool wordMatches(std::string_view text, std::string_view word, bool contains) {
    if (word.empty()) return false;
    return contains ? text.find(word) != std::string_view::npos : text.starts_with(word);
}

// The empty-subject rule without building the normalised text: it holds
// for "" and "RE", so at most two kept bytes need looking at.
bool subjectCountsAsEmpty(std::string_view subject) {
    char kept[2];
    std::size_t count = 0;
    for (const char c : subject) {
        const unsigned char n = kNormalTable[static_cast<unsigned char>(c)];
        if (n == kDropped) continue;
        if (count == 2) return false;
        kept[count++] = static_cast<char>(n);
    }
    return count == 0 || (count == 2 && kept[0] == 'R' && kept[1] == 'E');
}

}  // namespace

bool IsSpamSeparator(unsigned char byte) { return kSeparatorTable[byte]; }

std::string NormalizeSpamText(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const unsigned char n = kNormalTable[static_cast<unsigned char>(c)];
        if (n != kDropped) result.push_back(static_cast<char>(n));
    }
    return result;
}

TMailFilter ParseMailFilter(std::string_view line) {
    TMailFilter rule;
    rule.FilterText = std::string(line);
    // The length test is the historical one; both prefixes are longer, so
    // it only keeps short lines from being looked at.
    if (line.size() < 4) return rule;
    if (line.starts_with(kSubjectPrefix)) {
        rule.Kind = fkSubject;
    } else if (line.starts_with(kAddressPrefix)) {
        rule.Kind = fkAddress;
    } else {
        return rule;
    }
    const std::string_view rest = line.substr(kSubjectPrefix.size());
    // The character after the prefix is always the marker, whatever it is.
    rule.Contains = !rest.empty() && rest.front() == '%';
    rule.FilterText = std::string(rest.empty() ? rest : rest.substr(1));
    return rule;
}

TSpamRules SpamRulesOf(const TSettings& settings) {
    return TSpamRules{settings.SubjectEmpty, settings.Recipients, settings.MailMaxLen};
}

bool MatchMailFilter(std::string_view line, const TSpamMessageView& message) {
    const TMailFilter rule = ParseMailFilter(line);
    const std::string word = NormalizeSpamText(rule.FilterText);
    const std::string text =
        rule.Kind == fkAddress ? normalizedSender(message) : NormalizeSpamText(message.Subject);
    return wordMatches(text, word, rule.Contains);
}

bool CheckGeneralRules(const TSpamMessageView& message, std::int64_t size,
                       const TSpamRules& rules) {
    if (rules.SubjectEmpty && subjectCountsAsEmpty(message.Subject)) return true;
    if (rules.Recipients >= 1 && message.RecipientCount > rules.Recipients) return true;
    // In 64 bits the limit in bytes never overflows, so every positive
    // limit means what it says.
    if (rules.MailMaxLen >= 1 && size > static_cast<std::int64_t>(rules.MailMaxLen) * 1024)
        return true;
    return false;
}

bool IsSpamMessage(const TSpamMessageView& message, std::int64_t size, const TSpamRules& rules,
                   const std::vector<std::string>& wordList) {
    if (CheckGeneralRules(message, size, rules)) return true;
    for (const std::string& line : wordList) {
        if (MatchMailFilter(line, message)) return true;
    }
    return false;
}

bool IsSpamMessage(const TSpamMessageView& message, std::int64_t size, const TSpamRules& rules,
                   const TPreparedFilters& filters) {
    return CheckGeneralRules(message, size, rules) || filters.Matches(message);
}

TSpamMessageView SpamViewOf(const TIdMessage& message) {
    TSpamMessageView view;
    view.Subject = message.Subject;
    view.FromAddress = message.From.Address();
    view.FromName = message.From.Name();
    view.RecipientCount = static_cast<std::int64_t>(message.Recipients.Count()) +
                          message.CCList.Count() + message.BccList.Count();
    return view;
}

bool CheckGeneralRules(const TIdMessage& message, std::int64_t size, const TSpamRules& rules) {
    return CheckGeneralRules(SpamViewOf(message), size, rules);
}

bool IsSpamMessage(const TIdMessage& message, std::int64_t size, const TSpamRules& rules,
                   const std::vector<std::string>& wordList) {
    return IsSpamMessage(SpamViewOf(message), size, rules, wordList);
}

bool IsSpamMessage(const TIdMessage& message, std::int64_t size, const TSpamRules& rules,
                   const TPreparedFilters& filters) {
    return IsSpamMessage(SpamViewOf(message), size, rules, filters);
}

// ---------------------------------------------------------------------------
// Prepared word list

// The normalised words of one kind in an Aho-Corasick automaton over the
// normalised bytes, so that one pass over a text answers for every word.
// Contains-words match at any state whose suffix chain ends a word;
// begins-with words match only while the walk is still on the trie path
// from the root (the state's depth equals the number of bytes read).
// Each state also keeps the smallest list index of the words it ends, so
// that a walk without the early exit names the first matching line.
// A word list too large for the dense table falls back to testing the
// normalised words one by one, which gives the same answers.
class TPreparedFilters::Automaton {
public:
    static constexpr std::int32_t kNoLine = INT32_MAX;

    void add(std::string word, bool contains, std::int32_t line) {
        if (!word.empty()) words_.push_back({std::move(word), contains, line});
    }

    void build();

    [[nodiscard]] bool matches(std::initializer_list<std::string_view> parts) const;
    // The smallest list index of a matching word, or kNoLine.
    [[nodiscard]] std::int32_t firstLine(std::initializer_list<std::string_view> parts) const;

private:
    static constexpr std::uint8_t kContainsEnd = 1;
    static constexpr std::uint8_t kBeginsEnd = 2;
    // Cells of the transition table allowed before falling back (64 MB).
    static constexpr std::size_t kMaxCells = std::size_t{16} << 20;

    void buildTrie();
    void buildFailureLinks();
    [[nodiscard]] std::int32_t firstLineOneByOne(std::initializer_list<std::string_view> parts) const;

    // Feeds the normalised bytes of the parts, run together, through the
    // table; after each byte `visit(state, bytes so far)` may end the walk
    // by answering true.
    template <typename Visit>
    void walk(std::initializer_list<std::string_view> parts, Visit visit) const {
        std::size_t state = 0;
        std::size_t consumed = 0;
        for (const std::string_view part : parts) {
            for (const char c : part) {
                const unsigned char n = kNormalTable[static_cast<unsigned char>(c)];
                if (n == kDropped) continue;
                state = static_cast<std::size_t>(next_[state * columns_ + class_[n]]);
                if (visit(state, ++consumed)) return;
            }
        }
    }

    struct Word {
        std::string text;
        bool contains;
        std::int32_t line;
    };
    std::vector<Word> words_;  // in list order
    bool dense_ = false;
    std::array<std::uint16_t, 256> class_{};  // byte -> column; 0 = in no word
    std::size_t columns_ = 1;
    std::vector<std::int32_t> next_;  // state * columns_ + column -> state
    std::vector<std::uint32_t> depth_;
    std::vector<std::uint8_t> flags_;
    std::vector<std::int32_t> containsLine_;  // through the suffix chain
    std::vector<std::int32_t> beginsLine_;    // ending exactly here
};

void TPreparedFilters::Automaton::build() {
    if (words_.empty()) return;
    std::size_t totalBytes = 0;
    for (const auto& [word, contains, line] : words_) {
        totalBytes += word.size();
        for (const char c : word) {
            auto& column = class_[static_cast<unsigned char>(c)];
            if (column == 0) column = static_cast<std::uint16_t>(columns_++);
        }
    }
    if ((totalBytes + 1) > kMaxCells / columns_) return;  // stays one by one
    dense_ = true;
    buildTrie();
    buildFailureLinks();
}

void TPreparedFilters::Automaton::buildTrie() {
    next_.assign(columns_, -1);
    depth_.assign(1, 0);
    flags_.assign(1, 0);
    containsLine_.assign(1, kNoLine);
    beginsLine_.assign(1, kNoLine);
    for (const auto& [word, contains, line] : words_) {
        std::size_t state = 0;
        for (const char c : word) {
            std::int32_t& target = next_[state * columns_ + class_[static_cast<unsigned char>(c)]];
            if (target < 0) {
                target = static_cast<std::int32_t>(depth_.size());
                depth_.push_back(depth_[state] + 1);
                flags_.push_back(0);
                containsLine_.push_back(kNoLine);
                beginsLine_.push_back(kNoLine);
                next_.resize(next_.size() + columns_, -1);
            }
            // `target` may dangle after the resize; read the state anew.
            state = static_cast<std::size_t>(next_[state * columns_ +
                                                   class_[static_cast<unsigned char>(c)]]);
        }
        flags_[state] |= contains ? kContainsEnd : kBeginsEnd;
        std::int32_t& first = contains ? containsLine_[state] : beginsLine_[state];
        first = std::min(first, line);
    }
}

void TPreparedFilters::Automaton::buildFailureLinks() {
    // Breadth first, so that a state's failure target is complete before
    // the state itself. Missing edges become the failure target's edges.
    std::vector<std::int32_t> fail(depth_.size(), 0);
    std::vector<std::int32_t> queue;
    queue.reserve(depth_.size());
    for (std::size_t c = 0; c < columns_; ++c) {
        std::int32_t& target = next_[c];
        if (target < 0) {
            target = 0;
        } else {
            queue.push_back(target);
        }
    }
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::size_t state = static_cast<std::size_t>(queue[head]);
        const std::size_t f = static_cast<std::size_t>(fail[state]);
        // Only contains-words are found through the suffix chain.
        flags_[state] |= flags_[f] & kContainsEnd;
        containsLine_[state] = std::min(containsLine_[state], containsLine_[f]);
        for (std::size_t c = 0; c < columns_; ++c) {
            std::int32_t& target = next_[state * columns_ + c];
            if (target < 0) {
                target = next_[f * columns_ + c];
            } else {
                fail[static_cast<std::size_t>(target)] = next_[f * columns_ + c];
                queue.push_back(target);
            }
        }
    }
}

bool TPreparedFilters::Automaton::matches(std::initializer_list<std::string_view> parts) const {
    if (words_.empty()) return false;
    if (!dense_) return firstLineOneByOne(parts) != kNoLine;
    bool found = false;
    walk(parts, [&](std::size_t state, std::size_t consumed) {
        const std::uint8_t f = flags_[state];
        found = (f & kContainsEnd) || ((f & kBeginsEnd) && depth_[state] == consumed);
        return found;
    });
    return found;
}

std::int32_t TPreparedFilters::Automaton::firstLine(std::initializer_list<std::string_view> parts) const {
    if (words_.empty()) return kNoLine;
    if (!dense_) return firstLineOneByOne(parts);
    std::int32_t best = kNoLine;
    walk(parts, [&](std::size_t state, std::size_t consumed) {
        best = std::min(best, containsLine_[state]);
        if (depth_[state] == consumed) best = std::min(best, beginsLine_[state]);
        return false;
    });
    return best;
}

std::int32_t TPreparedFilters::Automaton::firstLineOneByOne(
    std::initializer_list<std::string_view> parts) const {
    std::string text;
    for (const std::string_view part : parts) text += NormalizeSpamText(part);
    for (const auto& [word, contains, line] : words_) {
        if (wordMatches(text, word, contains)) return line;
    }
    return kNoLine;
}

TPreparedFilters::TPreparedFilters(const std::vector<std::string>& wordList) : automata_(2) {
    for (std::size_t i = 0; i < wordList.size(); ++i) {
        const TMailFilter rule = ParseMailFilter(wordList[i]);
        automata_[rule.Kind == fkAddress ? 1 : 0].add(NormalizeSpamText(rule.FilterText), rule.Contains,
                                                      static_cast<std::int32_t>(i));
    }
    for (Automaton& automaton : automata_) automaton.build();
}

TPreparedFilters::~TPreparedFilters() = default;
TPreparedFilters::TPreparedFilters(TPreparedFilters&&) noexcept = default;
TPreparedFilters& TPreparedFilters::operator=(TPreparedFilters&&) noexcept = default;

bool TPreparedFilters::Matches(const TSpamMessageView& message) const {
    return automata_[0].matches({message.Subject}) ||
           automata_[1].matches({message.FromAddress, message.FromName});
}

int TPreparedFilters::FirstMatch(const TSpamMessageView& message) const {
    const std::int32_t line = std::min(automata_[0].firstLine({message.Subject}),
                                       automata_[1].firstLine({message.FromAddress, message.FromName}));
    return line == Automaton::kNoLine ? -1 : line;
}

// ---------------------------------------------------------------------------
// The word list file

std::string FiltersFilePath() { return ui::UserFilePath("filters.dat"); }

std::vector<std::string> SplitFilterLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const char c = bytes[at];
        if (c != '\r' && c != '\n') {
            ++at;
            continue;
        }
        lines.emplace_back(bytes.substr(start, at - start));
        at += (c == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ? 2 : 1;
        start = at;
    }
    if (start < bytes.size()) lines.emplace_back(bytes.substr(start));
    return lines;
}

std::vector<std::string> ReadFilterFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {};
    const auto fail = [&path](int error) {
        throw EIdException("Cannot open file " + path + ": " + std::strerror(error));
    };
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) fail(errno);
    std::string bytes;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    const int error = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (error != 0) fail(error);
    return SplitFilterLines(bytes);
}

namespace {

// Writes all of `bytes` to `fd`; false (errno set) on failure.
bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The permissions the new file gets: the old file's, else the usual ones.
mode_t modeFor(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return info.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void WriteFilterFile(const std::string& path, const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    std::string temp = path + ".XXXXXX";
    const auto fail = [&path, &temp](int error, bool created) {
        if (created) ::unlink(temp.c_str());
        throw EIdException("Cannot write file " + path + ": " + std::strerror(error));
    };
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) fail(errno, false);
    if (!writeAll(fd, bytes) || ::fchmod(fd, modeFor(path)) != 0 || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        fail(error, true);
    }
    if (::close(fd) != 0) fail(errno, true);
    if (std::rename(temp.c_str(), path.c_str()) != 0) fail(errno, true);
}
