#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

// The header lines of a message or of one MIME part, each entry one physical
// line exactly as received (continuation lines are entries of their own that
// begin with a space or tab). Field lookups ignore the case of names and
// unfold continuation lines; storing a field folds it at FoldWidth columns.
class TIdHeaderList {
public:
    // Fixed settings: what separates name and value when a field is stored
    // (lookups only look for ":"), names compare without regard to case,
    // values are unfolded on read and folded on write at 78 columns.
    static constexpr std::string_view NameSeparator = ": ";
    static constexpr bool CaseSensitiveNames = false;
    static constexpr bool UnfoldOnRead = true;
    static constexpr bool FoldOnWrite = true;
    static constexpr int FoldWidth = 78;

    // String list access. Indices run from 0 to Count() - 1; an index outside
    // that range is a programming error (asserted), except where noted.
    [[nodiscard]] int Count() const { return static_cast<int>(FLines.size()); }
    [[nodiscard]] const std::string& operator[](int index) const;
    [[nodiscard]] const std::vector<std::string>& Lines() const { return FLines; }
    void Put(int index, std::string line);
    void Add(std::string line);
    void Insert(int index, std::string line);
    void Delete(int index);
    void Clear() { FLines.clear(); }
    // Room for `count` lines without growing step by step.
    void Reserve(int count) { FLines.reserve(static_cast<std::size_t>(std::max(count, 0))); }

    // All lines as one text, each followed by CR LF.
    [[nodiscard]] std::string Text() const;

    // The field name of a line: the text before its first ":" with the letters
    // a-z upper-cased (blanks before the colon stay); empty when there is no
    // colon or the index is outside the list.
    [[nodiscard]] std::string FieldNameAt(int index) const;

    // Index of the first line whose field name equals `name` without regard
    // to case, or -1. "Subject : x" is not found for "Subject".
    [[nodiscard]] int FieldIndex(std::string_view name) const;

    // The value of the field that starts at `index`: the text after its first
    // colon joined with the continuation lines that follow, each piece
    // trimmed and the pieces separated by one space. Empty for an index
    // outside the list.
    [[nodiscard]] std::string FieldValueAt(int index) const;

    // The unfolded value of the first field named `name`; empty when absent.
    [[nodiscard]] std::string GetFieldValue(std::string_view name) const { return FieldValueAt(FieldIndex(name)); }
    [[nodiscard]] std::string Values(std::string_view name) const { return GetFieldValue(name); }

    // Stores "name: value" folded into lines in place of the field's first
    // occurrence (and its continuation lines), or appends it when absent. An
    // empty value removes that occurrence instead.
    void SetFieldValue(std::string_view name, std::string_view value);

    // Breaks `text` after the last of `breakChars` before column `maxColumn`
    // by inserting `breakText`; an occurrence of `breakText` already in the
    // text counts as a break. Nothing inside double quotes is broken, and a
    // stretch without break characters stays whole however long.
    [[nodiscard]] static std::string WrapFoldText(std::string_view text, std::string_view breakText,
                                                  std::string_view breakChars, int maxColumn);

private:
    [[nodiscard]] int continuationEnd(int index) const;
    [[nodiscard]] std::vector<std::string> foldedLines(std::string_view name, std::string_view value) const;

    std::vector<std::string> FLines;
};
