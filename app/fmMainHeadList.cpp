// The header list of the main window: rows, sorting, the shown message,
// ticking and the count of ticked rows.
#include "app/fmMain.h"

#include "app/MessageView.h"
#include "app/udmFriends.h"
#include "app/udmMessageHeader.h"
#include "ui/CommandGuard.h"
#include "ui/TextCodec.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <set>
#include <string_view>

namespace {

constexpr int kDateColumn = 0;
constexpr int kSizeColumn = 1;
constexpr int kSenderColumn = 2;

int sign(bool less, bool greater) { return less ? -1 : greater ? 1 : 0; }

// The bytes a text column sorts by: those the check run stored, or the
// shown text as UTF-8 for a row that has none.
QByteArray textKey(const QTreeWidgetItem& row, int column) {
    const QVariant key = row.data(column, rrSortKey);
    return key.isValid() ? key.toByteArray() : row.text(column).toUtf8();
}

}  // namespace

QTreeWidgetItem* Tfmain::AddHeaderRow(const QStringList& texts) {
    auto* row = new THeaderRow(headlist, texts);
    row->setFlags(THeaderRow::kFlags);
    row->setCheckState(0, Qt::Unchecked);
    return row;
}

TMessageHeader* Tfmain::RecordOfRow(const QTreeWidgetItem* row) {
    if (!row) return nullptr;
    const QVariant serial = row->data(0, rrRecord);
    return serial.isValid() ? FindHeaderBySerial(serial.toULongLong()) : nullptr;
}

// The values compared are those kept with the rows, never the shown texts
// parsed back: a locale's date format (two-digit years, day and month
// order) cannot change the order.
int Tfmain::headlistCompare(const QTreeWidgetItem& Item1, const QTreeWidgetItem& Item2, int Data) {
    if (Data == kDateColumn || Data == kSizeColumn) {
        const QVariant a = Item1.data(Data, rrSortKey);
        const QVariant b = Item2.data(Data, rrSortKey);
        if (!a.isValid() || !b.isValid()) return 0;
        if (Data == kDateColumn) return sign(a.toDouble() > b.toDouble(), a.toDouble() < b.toDouble());
        return sign(a.toLongLong() < b.toLongLong(), a.toLongLong() > b.toLongLong());
    }
    // Rows of a check run compare their kept bytes in place, without a
    // copy per comparison.
    const auto* row1 = dynamic_cast<const THeaderRow*>(&Item1);
    const auto* row2 = dynamic_cast<const THeaderRow*>(&Item2);
    if (row1 && row2 && row1->Keys() && row2->Keys() && Data > kSizeColumn && Data < 6) {
        const auto index = static_cast<std::size_t>(Data - 2);
        // std::char_traits<char> orders bytes as unsigned char.
        const int order = row1->Keys()->Texts[index].compare(row2->Keys()->Texts[index]);
        return sign(order < 0, order > 0);
    }
    const QByteArray a = textKey(Item1, Data);
    const QByteArray b = textKey(Item2, Data);
    const auto bytes = [](const QByteArray& t) {
        return std::basic_string_view<unsigned char>(reinterpret_cast<const unsigned char*>(t.constData()),
                                                     static_cast<std::size_t>(t.size()));
    };
    const int order = bytes(a).compare(bytes(b));
    return sign(order < 0, order > 0);
}

void Tfmain::headlistColumnClick(int Column) {
    QTreeWidgetItem* shown =
        FCurrentRow >= 0 && FCurrentRow < headlist->topLevelItemCount() ? headlist->topLevelItem(FCurrentRow) : nullptr;
    headlist->sortItems(Column, Qt::AscendingOrder);
    if (shown) FCurrentRow = headlist->indexOfTopLevelItem(shown);
}

void Tfmain::ConnectHeaderList() {
    connect(headlist->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                ui::runGuarded([&] { headlistSelectionChanged(selected, deselected); });
            });
    connect(headlist->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { ui::runGuarded([&] { headlistColumnClick(column); }); });
    connect(headlist, &QTreeWidget::itemClicked, this, ui::guarded([this] { headlistClick(); }));
    // A tick given from the keyboard is no click: the count follows every
    // change in the first column, recounted once per pass of the event loop
    // so that ticking many rows in one go does not recount for each.
    connect(headlist, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
        if (column != 0 || FCountPending) return;
        FCountPending = true;
        QTimer::singleShot(0, this, ui::guarded([this] {
            FCountPending = false;
            UpdateSelectedCount();
        }));
    });
}

// One call per row that lost the selection, then one per row that gained it.
void Tfmain::headlistSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    if (FClearingRows) return;
    for (const QItemSelection* change : {&deselected, &selected}) {
        std::set<int> rows;
        for (const QModelIndex& index : change->indexes())
            if (index.isValid()) rows.insert(index.row());
        for (int row : rows) {
            QTreeWidgetItem* item = headlist->topLevelItem(row);
            if (item) headlistSelectItem(item, change == &selected);
        }
    }
}

// Rows going away are no choice of the user: their deselection must not
// make one of them the shown row again.
void Tfmain::ClearHeaderList() {
    FClearingRows = true;
    headlist->clear();
    FClearingRows = false;
}

std::vector<std::unique_ptr<QTreeWidgetItem>> Tfmain::TakeHeaderRows() {
    FClearingRows = true;
    const QList<QTreeWidgetItem*> taken = headlist->invisibleRootItem()->takeChildren();
    FClearingRows = false;
    std::vector<std::unique_ptr<QTreeWidgetItem>> rows;
    rows.reserve(static_cast<std::size_t>(taken.size()));
    for (QTreeWidgetItem* row : taken) rows.emplace_back(row);
    return rows;
}

void Tfmain::headlistSelectItem(QTreeWidgetItem* Item, bool) {
    UpdateCommands();
    ShowMessageDetail(Item);
}

void Tfmain::ShowMessageDetail(QTreeWidgetItem* row) {
    if (!row) return;
    FCurrentRow = headlist->indexOfTopLevelItem(row);
    const TMessageHeader* record = RecordOfRow(row);
    if (!record) return;
    UpdateDownloadCommands(record->Retrieved);
    ShowRecord(*record);
}

void Tfmain::ShowRecord(const TMessageHeader& record) {
    // The verdict's reason heads the view in a line of its own, whatever
    // the view text below it is.
    const QString reason = record.SpamReason.empty() ? QString() : ui::toQString(record.SpamReason) + u'\n';
    memo->setLinkedText(reason + ui::toQString(record.ViewText()));
    if (!record.Retrieved) return;
    for (const std::string_view section : {S_att, S_body, S_head}) FormatSection(section);
}

void Tfmain::mTrustClick() {
    QTreeWidgetItem* row = FCurrentRow >= 0 ? headlist->topLevelItem(FCurrentRow) : nullptr;
    const TMessageHeader* record = RecordOfRow(row);
    if (!record) return;
    AddFriend(FriendsFilePath(), record->Msg->From.Address());
}

void Tfmain::UpdateSelectedCount() {
    int ticked = 0;
    for (int i = 0; i < headlist->topLevelItemCount(); ++i)
        if (headlist->topLevelItem(i)->checkState(0) == Qt::Checked) ++ticked;
    ShowSelectedCount(ticked);
}

void Tfmain::ShowSelectedCount(int ticked) {
    barPanels[1]->setText(QStringLiteral("  %1 Number of selected messages").arg(ticked));
}

void Tfmain::headlistClick() { UpdateSelectedCount(); }

void Tfmain::mmAllClick() {
    for (int i = 0; i < headlist->topLevelItemCount(); ++i) headlist->topLevelItem(i)->setCheckState(0, Qt::Checked);
    UpdateSelectedCount();
}

void Tfmain::mmUnselClick() {
    for (int i = 0; i < headlist->topLevelItemCount(); ++i)
        headlist->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    UpdateSelectedCount();
}

// Ticks the rows the check run judged spam; other rows keep their ticks. The
// verdict kept with the row decides, so a sender address that itself begins
// with "!" is not taken for the mark; a row without a kept verdict goes by
// the mark in its sender column.
void Tfmain::mmSpamClick() {
    for (int i = 0; i < headlist->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = headlist->topLevelItem(i);
        const QVariant verdict = row->data(0, rrSpam);
        const bool spam = verdict.isValid() ? verdict.toBool()
                                            : row->columnCount() > kSenderColumn &&
                                                  row->text(kSenderColumn).startsWith(QLatin1Char('!'));
        if (spam) row->setCheckState(0, Qt::Checked);
    }
    UpdateSelectedCount();
}
