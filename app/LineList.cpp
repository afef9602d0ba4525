#include "app/LineList.h"

#include "message/IdGlobal.h"
#include "ui/TextCodec.h"

#include <QScopeGuard>

#include <algorithm>

namespace {

constexpr int kLineRole = Qt::UserRole;

void setLine(QListWidgetItem* item, const std::string& line) {
    item->setText(ui::toQString(line));
    item->setData(kLineRole, QByteArray(line.data(), static_cast<qsizetype>(line.size())));
}

}  // namespace

TLineList::TLineList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemClicked, this, [this] { emit rowClicked(); });
    connect(this, &QListWidget::currentRowChanged, this, [this] {
        if (!selectingFromCode_) emit rowClicked();
    });
}

std::vector<std::string> TLineList::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i) lines.push_back(LineAt(i));
    return lines;
}

std::string TLineList::LineAt(int index) const {
    const QByteArray bytes = item(index)->data(kLineRole).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void TLineList::AddLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) setLine(new QListWidgetItem(this), line);
}

void TLineList::AppendLine(const std::string& line) {
    setLine(new QListWidgetItem(this), line);
    SelectIndex(count() - 1);
}

void TLineList::SetLineAt(int index, const std::string& line) { setLine(item(index), line); }

int TLineList::SelectedIndex() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void TLineList::SelectIndex(int index) {
    selectingFromCode_ = true;
    const auto done = qScopeGuard([this] { selectingFromCode_ = false; });
    if (index < 0) {
        clearSelection();
        setCurrentRow(-1);
    } else {
        setCurrentRow(index);
    }
}

int TLineList::IndexOfLine(const std::string& line) const {
    for (int i = 0; i < count(); ++i) {
        if (SameText(LineAt(i), line)) return i;
    }
    return -1;
}

void TLineList::AddUnique(const std::string& line) {
    if (IndexOfLine(line) < 0) AppendLine(line);
}

void TLineList::ReplaceSelected(const std::string& line) {
    if (IndexOfLine(line) >= 0) return;
    const int index = SelectedIndex();
    if (count() == 0) {
        AppendLine(line);
    } else if (index >= 0 && index < count()) {
        SetLineAt(index, line);
    }
}

void TLineList::DeleteSelected() {
    const int index = SelectedIndex();
    if (index >= 0 && index < count()) {
        // Removing the current row moves the current row: not a user click.
        selectingFromCode_ = true;
        const auto done = qScopeGuard([this] { selectingFromCode_ = false; });
        delete takeItem(index);
    }
    SelectIndex(index < 0 || count() == 0 ? -1 : std::min(index, count() - 1));
}
