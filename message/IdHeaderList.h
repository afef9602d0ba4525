#pragma once

#include <cstddef>
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
    // that range is a programming error (asserted), except where noted. A
    // line handed out stays valid until the list is next changed.
    [[nodiscard]] int Count() const { return static_cast<int>(FSpans.size()); }
    [[nodiscard]] std::string_view operator[](int index) const;
    // A copy of every line.
    [[nodiscard]] std::vector<std::string> Lines() const;
    void Put(int index, std::string_view line);
    void Add(std::string_view line);
    void Insert(int index, std::string_view line);
    void Delete(int index);
    void Clear();
    // Room for `count` more lines of `bytes` more bytes, without growing
    // step by step.
    void Reserve(int count, std::size_t bytes);

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
    // Where a line's bytes stand in FText.
    struct TSpan {
        std::size_t Begin = 0;
        std::size_t Length = 0;
    };

    [[nodiscard]] int continuationEnd(int index) const;
    [[nodiscard]] std::vector<std::string> foldedLines(std::string_view name, std::string_view value) const;
    [[nodiscard]] std::string_view line(std::size_t index) const {
        return std::string_view(FText).substr(FSpans[index].Begin, FSpans[index].Length);
    }
    // Appends `text` to FText (a copy first when it lies in FText itself)
    // and returns its span.
    TSpan store(std::string_view text);
    // Forgets a span's bytes, packing FText once most of it is forgotten.
    void release(const TSpan& span);

    // The lines back to back in one block: a header of some dozens of lines
    // costs one allocation instead of one per line. Lines that were replaced
    // or deleted leave their bytes behind until the block is packed.
    std::string FText;
    std::vector<TSpan> FSpans;
    std::size_t FUnused = 0;
};
