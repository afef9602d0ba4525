#include "message/IdHeaderList.h"

#include "message/IdGlobal.h"

#include <algorithm>
#include <cassert>
#include <cstddef>

namespace {

bool isContinuation(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

// Position of the first ":" among the first `limit` bytes of `line`, stepping
// over whole characters of the code page; npos when there is none there.
std::size_t firstColon(std::string_view line, std::size_t limit) {
    for (std::size_t i = 0; i < line.size() && i < limit; i += CharLength(line, i)) {
        if (line[i] == ':') return i;
    }
    return std::string_view::npos;
}

bool contains(std::string_view set, char c) { return set.find(c) != std::string_view::npos; }

}  // namespace

std::string_view TIdHeaderList::operator[](int index) const {
    assert(index >= 0 && index < Count());
    return line(static_cast<std::size_t>(index));
}

std::vector<std::string> TIdHeaderList::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(FSpans.size());
    for (std::size_t i = 0; i < FSpans.size(); ++i) lines.emplace_back(line(i));
    return lines;
}

TIdHeaderList::TSpan TIdHeaderList::store(std::string_view text) {
    // Appending may move the block, and with it a text taken from it.
    if (!text.empty() && text.data() >= FText.data() && text.data() < FText.data() + FText.size())
        return store(std::string(text));
    const TSpan span{FText.size(), text.size()};
    FText.append(text);
    return span;
}

void TIdHeaderList::release(const TSpan& span) {
    FUnused += span.Length;
    // Packing costs a copy of what is left; it waits until at least half
    // the block, and more than a few lines' worth, is unused.
    constexpr std::size_t kPackAtLeast = 4096;
    if (FUnused < kPackAtLeast || FUnused * 2 < FText.size()) return;
    std::string packed;
    packed.reserve(FText.size() - FUnused);
    for (TSpan& kept : FSpans) {
        const std::size_t begin = packed.size();
        packed.append(FText, kept.Begin, kept.Length);
        kept.Begin = begin;
    }
    FText.swap(packed);
    FUnused = 0;
}

void TIdHeaderList::Put(int index, std::string_view text) {
    assert(index >= 0 && index < Count());
    TSpan& span = FSpans[static_cast<std::size_t>(index)];
    if (text.size() <= span.Length) {
        // Fits where the old line stood; the text may be part of it.
        std::char_traits<char>::move(FText.data() + span.Begin, text.data(), text.size());
        FUnused += span.Length - text.size();
        span.Length = text.size();
        return;
    }
    const TSpan stored = store(text);
    const TSpan old = FSpans[static_cast<std::size_t>(index)];
    FSpans[static_cast<std::size_t>(index)] = stored;
    release(old);
}

void TIdHeaderList::Add(std::string_view text) { FSpans.push_back(store(text)); }

void TIdHeaderList::Insert(int index, std::string_view text) {
    assert(index >= 0 && index <= Count());
    const TSpan stored = store(text);
    FSpans.insert(FSpans.begin() + index, stored);
}

void TIdHeaderList::Delete(int index) {
    assert(index >= 0 && index < Count());
    const TSpan span = FSpans[static_cast<std::size_t>(index)];
    FSpans.erase(FSpans.begin() + index);
    release(span);
}

void TIdHeaderList::Clear() {
    FText.clear();
    FSpans.clear();
    FUnused = 0;
}

void TIdHeaderList::Reserve(int count, std::size_t bytes) {
    FSpans.reserve(FSpans.size() + static_cast<std::size_t>(std::max(count, 0)));
    FText.reserve(FText.size() + bytes);
}

std::string TIdHeaderList::Text() const {
    std::string text;
    text.reserve(FText.size() - FUnused + 2 * FSpans.size());
    for (std::size_t i = 0; i < FSpans.size(); ++i) {
        text += line(i);
        text += "\r\n";
    }
    return text;
}

std::string TIdHeaderList::FieldNameAt(int index) const {
    if (index < 0 || index >= Count()) return {};
    const std::string_view text = line(static_cast<std::size_t>(index));
    const std::size_t colon = firstColon(text, text.size());
    if (colon == std::string_view::npos) return {};
    return UpperCaseAZ(text.substr(0, colon));
}

int TIdHeaderList::FieldIndex(std::string_view name) const {
    // The usual case, a name of single-byte characters without a colon: a
    // line matches exactly when its byte after the name is the colon and the
    // bytes before it equal the name, so one byte decides most lines. (Such
    // a prefix holds no colon and no lead byte, as the name holds none.)
    if (!name.empty() && std::none_of(name.begin(), name.end(), [](char c) { return c == ':' || IsLeadByte(c); })) {
        const std::size_t n = name.size();
        for (int i = 0; i < Count(); ++i) {
            const std::string_view text = line(static_cast<std::size_t>(i));
            if (text.size() > n && text[n] == ':' && SameText(text.substr(0, n), name)) return i;
        }
        return -1;
    }
    for (int i = 0; i < Count(); ++i) {
        const std::string_view text = line(static_cast<std::size_t>(i));
        if (name.empty()) {
            // A line without a colon has an empty name as well.
            const std::size_t colon = firstColon(text, text.size());
            if (colon == 0 || colon == std::string_view::npos) return i;
            continue;
        }
        // Only the first name.size() + 1 bytes can decide: the colon must
        // stand right after a prefix equal to the name.
        if (firstColon(text, name.size() + 1) == name.size() && SameText(text.substr(0, name.size()), name)) {
            return i;
        }
    }
    return -1;
}

std::string TIdHeaderList::FieldValueAt(int index) const {
    if (index < 0 || index >= Count()) return {};
    const std::string_view text = line(static_cast<std::size_t>(index));
    const std::size_t colon = firstColon(text, text.size());
    const std::size_t nameLength = colon == std::string_view::npos ? 0 : colon;
    std::string value(Trim(text.substr(std::min(nameLength + 1, text.size()))));
    // Joining Trim(value) + " " + Trim(next) line by line amounts to joining
    // the non-empty trimmed pieces with single spaces; done so in one pass.
    for (int j = index + 1; j < Count() && isContinuation(line(static_cast<std::size_t>(j))); ++j) {
        const std::string_view piece = Trim(line(static_cast<std::size_t>(j)));
        if (piece.empty()) continue;
        if (!value.empty()) value += ' ';
        value += piece;
    }
    return value;
}

int TIdHeaderList::continuationEnd(int index) const {
    int end = index + 1;
    while (end < Count() && isContinuation(line(static_cast<std::size_t>(end)))) ++end;
    return end;
}

std::vector<std::string> TIdHeaderList::foldedLines(std::string_view name, std::string_view value) const {
    std::string line(name);
    line += NameSeparator;
    line += value;
    const std::string wrapped = WrapFoldText(line, "\r\n ", "\t ,", FoldWidth);
    // Any CR or LF ends a stored line, so a value can never smuggle in a line
    // of its own: empty pieces are dropped, and every later piece is made a
    // continuation line.
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= wrapped.size()) {
        std::size_t end = wrapped.find_first_of("\r\n", start);
        if (end == std::string::npos) end = wrapped.size();
        std::string piece(TrimRight(std::string_view(wrapped).substr(start, end - start)));
        if (!piece.empty()) {
            if (!lines.empty() && !isContinuation(piece)) piece.insert(0, 1, ' ');
            lines.push_back(std::move(piece));
        }
        start = end + 1;
    }
    if (lines.empty()) lines.emplace_back(TrimRight(line.substr(0, name.size() + 1)));
    return lines;
}

void TIdHeaderList::SetFieldValue(std::string_view name, std::string_view value) {
    const int index = FieldIndex(name);
    const auto eraseLines = [this](int from, int to) {
        for (int i = to - 1; i >= from; --i) Delete(i);
    };
    if (value.empty()) {
        if (index != -1) eraseLines(index, continuationEnd(index));
        return;
    }
    const std::vector<std::string> lines = foldedLines(name, value);
    int at = index;
    if (at == -1) {
        at = Count();
        Add(lines.front());
    } else {
        eraseLines(index + 1, continuationEnd(index));
        Put(index, lines.front());
    }
    for (std::size_t i = 1; i < lines.size(); ++i) Insert(at + static_cast<int>(i), lines[i]);
}

std::string TIdHeaderList::WrapFoldText(std::string_view text, std::string_view breakText,
                                        std::string_view breakChars, int maxColumn) {
    std::string result;
    result.reserve(text.size() + text.size() / 16);
    const std::size_t n = text.size();
    std::size_t pos = 0;
    std::size_t lineStart = 0;
    std::ptrdiff_t breakPos = -1;  // last break opportunity, -1 for none
    long long col = 1;
    bool quoteOpen = false;
    bool existingBreak = false;
    while (pos < n) {
        const char c = text[pos];
        if (IsLeadByte(c)) {
            // Never break inside a double-byte character.
            const std::size_t extra = CharLength(text, pos) - 1;
            pos += extra;
            col += static_cast<long long>(extra);
        } else if (!breakText.empty() && c == breakText[0] && !quoteOpen) {
            if (SameText(text.substr(pos, breakText.size()), breakText)) {
                existingBreak = true;
                pos += breakText.size() - 1;
                breakPos = static_cast<std::ptrdiff_t>(pos);
            }
        } else if (contains(breakChars, c) && !quoteOpen) {
            breakPos = static_cast<std::ptrdiff_t>(pos);
        } else if (c == '"') {
            quoteOpen = !quoteOpen;
        }
        ++pos;
        ++col;
        if (quoteOpen) continue;
        if (!existingBreak && !(col > maxColumn && breakPos > static_cast<std::ptrdiff_t>(lineStart))) continue;
        const auto breakAt = static_cast<std::size_t>(breakPos);
        result.append(text.substr(lineStart, breakAt - lineStart + 1));
        col = static_cast<long long>(pos - breakAt);
        // Break characters right after the break are not new break chances.
        if (c != '"') {
            while (pos < n && (contains(breakChars, text[pos]) || text[pos] == '\r' || text[pos] == '\n')) ++pos;
        }
        if (!existingBreak && pos + 1 < n) result.append(breakText);
        lineStart = breakAt + 1;
        existingBreak = false;
    }
    if (lineStart < n) result.append(text.substr(lineStart));
    return result;
}
