#pragma once

#include <QTreeWidgetItem>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TMessageHeader;

// Item data roles of a header list row. rrRecord (column 0) holds the serial
// of the row's own message record, so that every row finds its message
// whatever its "ID" text; rrSortKey holds each column's value for sorting
// (the date as a day count, the size as an integer, the other columns as the
// bytes shown); rrSpam (column 0) the verdict of the check run.
enum RowRole : int {
    rrRecord = Qt::UserRole + 1,
    rrSortKey,
    rrSpam,
};

// A header list row; rows order themselves with Tfmain::headlistCompare on
// the column the list is sorted by.
class THeaderRow : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override;

    // A row can be ticked and selected, never edited, and never has rows
    // below it: the list then lays its rows out without asking each one.
    static constexpr Qt::ItemFlags kFlags =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;

    // What the check run keeps with a row: its record's serial, the verdict
    // and the sort keys (the date as a day count, the size, and the bytes
    // shown in the sender, receiver, subject and ID columns). They are held
    // here rather than as item data, which costs a variant and an
    // allocation each for every row of a run; data() answers the row roles
    // from them, and the shown texts too: those are made when the list
    // asks for them, that is for the rows on screen, not for every row of
    // a run while it waits on the server. A text set on the row wins.
    struct TKeys {
        std::uint64_t Serial = 0;
        bool Spam = false;
        double Date = 0;
        long long Size = 0;
        std::array<std::string, 4> Texts;
        // The verdict's reason, the sender cell's tool tip; may be empty.
        std::string Reason;
    };
    void SetKeys(TKeys keys) { FKeys = std::move(keys); }
    // The row of a check run's record and its verdict: ticked when spam,
    // the sender marked "!".
    [[nodiscard]] static std::unique_ptr<THeaderRow> Make(const TMessageHeader& record, bool spam);
    [[nodiscard]] const TKeys* Keys() const { return FKeys ? &*FKeys : nullptr; }
    [[nodiscard]] QVariant data(int column, int role) const override;

private:
    [[nodiscard]] QString KeptText(int column) const;

    std::optional<TKeys> FKeys;
};
