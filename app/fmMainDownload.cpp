// "Download message" in the main window: the command's face, the view's
// section formatting and the clicks on its links. The download itself is
// TMessageHeader::Retrieve.
#include "app/fmAbout.h"
#include "app/fmMain.h"

#include "app/MessageView.h"
#include "app/udmMessageHeader.h"
#include "ui/CommandGuard.h"
#include "ui/TextCodec.h"

#include <QTextCharFormat>
#include <QTreeWidget>

#include <algorithm>

namespace {

QString qText(std::string_view text) { return ui::toQString(text); }

// The record of the shown row, or null.
TMessageHeader* shownRecord(const Tfmain& window) {
    if (window.FCurrentRow < 0 || window.FCurrentRow >= window.headlist->topLevelItemCount()) return nullptr;
    return Tfmain::RecordOfRow(window.headlist->topLevelItem(window.FCurrentRow));
}

}  // namespace

void Tfmain::lDownClick() { RunServerCommand(&Tfmain::DownloadMessage); }

void Tfmain::DownloadMessage() {
    TMessageHeader* record = shownRecord(*this);
    if (!record) return;
    if (!record->Retrieved) {
        const std::uint64_t serial = record->Serial;
        TCommandPump::TScope command(FCommands);
        {
            // The bar counts the bytes received against the listed size; a
            // size of 0 or none (-1) still makes a bar.
            TProgressScope progress(*this, QStringLiteral("receiving message..."), std::max(record->Msg->Tag, 1));
            record->Retrieve(FCommands);
        }
        // The user may have chosen another row while the message came.
        if (shownRecord(*this) != record || FindHeaderBySerial(serial) != record) return;
    }
    UpdateDownloadCommands(record->Retrieved);
    ShowRecord(*record);
}

void Tfmain::FormatSection(std::string_view sectionLine) {
    QTextCharFormat section;
    section.setFontFamilies({QStringLiteral("Courier New")});
    section.setFontPointSize(12);
    section.setFontWeight(QFont::Bold);
    section.setForeground(Qt::red);
    memo->formatFirst(qText(sectionLine), section);
    const QString text = memo->toPlainText();
    if (text.indexOf(qText(S_att)) > 0) {
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        memo->formatListBetween(qText(S_att), qText(S_body), bold);
    }
    memo->moveCaretToStart();
}

void Tfmain::memoURLClick(const QString& URLText) {
    if (URLText.startsWith(qText(AttachmentLinkPrefix))) {
        SaveAttachmentLink(URLText);
        return;
    }
    // A link in a received message is untrusted: only the web and mail
    // go to the desktop, never a file, a script or a program's own scheme.
    for (const char* scheme : {"http://", "https://", "mailto:"}) {
        if (URLText.startsWith(QLatin1String(scheme), Qt::CaseInsensitive)) {
            ShellOpen(URLText);
            return;
        }
    }
}

void Tfmain::SaveAttachmentLink(const QString& link) {
    const TMessageHeader* record = shownRecord(*this);
    if (record && record->Retrieved) record->SaveAttachment(ui::fromQString(link), this);
}

void Tfmain::About1Click() { TAboutBox::Execute(this); }
