#include "app/HeaderRow.h"

#include "app/fmMain.h"
#include "app/udmMessageHeader.h"
#include "ui/DateFormat.h"
#include "ui/TextCodec.h"

#include <QTreeWidget>

namespace {

constexpr int kDateColumn = 0;
constexpr int kSizeColumn = 1;
constexpr int kSenderColumn = 2;

}  // namespace

std::unique_ptr<THeaderRow> THeaderRow::Make(const TMessageHeader& record, bool spam) {
    auto row = std::make_unique<THeaderRow>(static_cast<QTreeWidget*>(nullptr), QStringList{});
    row->setFlags(kFlags);
    row->setCheckState(0, spam ? Qt::Checked : Qt::Unchecked);
    // The row shows what it keeps (the date text of `DateText`, the size of
    // `SizeText`, the mark followed by `SenderText`, `RecipientsText`,
    // `SubjectText`, `IdText`); its texts are made when they are shown.
    row->SetKeys({record.Serial, spam, record.Msg->Date, record.Msg->Tag,
                  {(spam ? "!" : "") + record.SenderText(), record.RecipientsText(), record.SubjectText(),
                   record.IdText()},
                  record.SpamReason});
    return row;
}

QVariant THeaderRow::data(int column, int role) const {
    if (FKeys) {
        if (role == rrRecord && column == 0) return QVariant::fromValue<qulonglong>(FKeys->Serial);
        if (role == rrSpam && column == 0) return FKeys->Spam;
        if (role == Qt::ToolTipRole && column == kSenderColumn && !FKeys->Reason.empty())
            return ui::toQString(FKeys->Reason);
        if (role == rrSortKey) {
            if (column == 0) return FKeys->Date;
            if (column == 1) return QVariant::fromValue<qlonglong>(FKeys->Size);
            if (column >= 2 && column < 6) return QByteArray::fromStdString(FKeys->Texts[static_cast<std::size_t>(column - 2)]);
        }
        if ((role == Qt::DisplayRole || role == Qt::EditRole) && column >= 0 && column < 6) {
            QVariant shown = QTreeWidgetItem::data(column, role);
            return shown.isValid() ? shown : QVariant(KeptText(column));
        }
    }
    return QTreeWidgetItem::data(column, role);
}

// The texts of a check run's row, as its record's column operations give
// them: the date in the locale's format, the size, then the mark with the
// sender, the receivers, the subject and the ID.
QString THeaderRow::KeptText(int column) const {
    if (column == kDateColumn) return ui::formatMessageDate(FKeys->Date);
    if (column == kSizeColumn) return QString::number(FKeys->Size);
    return ui::toQString(FKeys->Texts[static_cast<std::size_t>(column - 2)]);
}

bool THeaderRow::operator<(const QTreeWidgetItem& other) const {
    const QTreeWidget* list = treeWidget();
    return Tfmain::headlistCompare(*this, other, list ? list->sortColumn() : 0) < 0;
}
