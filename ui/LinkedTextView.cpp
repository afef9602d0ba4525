#include "ui/LinkedTextView.h"

#include <QHelpEvent>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QToolTip>

#include <algorithm>

namespace ui {
namespace {

// A web address, a "mailto:" link or a mail address: what may follow the
// start never holds a blank, a control character or < > " '.
const QRegularExpression& linkPattern() {
    static const QRegularExpression pattern(
        QStringLiteral(R"re(\b(?:https?://|www\.|mailto:)[^\s<>"'\x00-\x1f\x7f]+)re"
                       R"re(|\b[A-Za-z0-9._%+-]+@[A-Za-z0-9-]+(?:\.[A-Za-z0-9-]+)+)re"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// The length of a found link without the punctuation that ends the
// sentence around it; a closing bracket stays when the link opened one.
qsizetype trimmedLength(QStringView link) {
    qsizetype length = link.size();
    while (length > 0) {
        const QChar last = link[length - 1];
        const QStringView kept = link.first(length);
        if (QStringLiteral(".,;:!?").contains(last) || (last == u')' && !kept.contains(u'(')) ||
            (last == u']' && !kept.contains(u'[')) || (last == u'}' && !kept.contains(u'{'))) {
            --length;
        } else {
            break;
        }
    }
    return length;
}

QString targetOf(const QString& link) {
    if (link.startsWith(QStringLiteral("www."), Qt::CaseInsensitive)) return QStringLiteral("http://") + link;
    const bool schemed = link.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
                         link.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive) ||
                         link.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive);
    return schemed ? link : QStringLiteral("mailto:") + link;
}

// The link of a line that starts with the prefix, and where that line ends.
struct LineLink {
    TextLink link;
    qsizetype lineEnd;
};

// The links of the lines that start with the prefix, each from the start
// of its line through the digits after the line's first "/ID=".
std::vector<LineLink> prefixLineLinks(const QString& text, const QString& prefix) {
    std::vector<LineLink> links;
    if (prefix.isEmpty()) return links;
    const QString marker = QStringLiteral("/ID=");
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0) end = text.size();
        const QStringView line = QStringView(text).sliced(start, end - start);
        const qsizetype id = line.indexOf(marker);
        if (line.startsWith(prefix) && id >= 0) {
            qsizetype stop = id + marker.size();
            while (stop < line.size() && line[stop] >= u'0' && line[stop] <= u'9') ++stop;
            links.push_back({{start, stop, line.first(stop).toString()}, end});
        }
        start = end + 1;
    }
    return links;
}

}  // namespace

std::vector<TextLink> findLinks(const QString& text, const QString& linePrefix) {
    const std::vector<LineLink> lineLinks = prefixLineLinks(text, linePrefix);
    std::vector<TextLink> links;
    auto next = lineLinks.begin();
    for (auto it = linkPattern().globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const qsizetype start = match.capturedStart();
        for (; next != lineLinks.end() && next->lineEnd <= start; ++next) links.push_back(next->link);
        // A prefixed line is one link of its own, whatever else it holds.
        if (next != lineLinks.end() && start >= next->link.start) continue;
        const qsizetype length = trimmedLength(match.capturedView());
        if (length == 0) continue;
        links.push_back({start, length, targetOf(text.sliced(start, length))});
    }
    for (; next != lineLinks.end(); ++next) links.push_back(next->link);
    return links;
}

LinkedTextView::LinkedTextView(QWidget* parent) : QTextBrowser(parent) {
    setReadOnly(true);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setAcceptRichText(false);
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    setUndoRedoEnabled(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (const TextLink* link = linkAt(url.toString())) emit linkClicked(link->target);
    });
}

void LinkedTextView::setLinkedText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(u'\r', u'\n');
    // Characters the document keeps for its own structure (frames, embedded
    // objects) would shift every position after them.
    for (const char16_t reserved : {u'\xfdd0', u'\xfdd1', u'\xfffc', u'\0'})
        plain.replace(QChar(reserved), QChar(0xfffd));
    document()->setPlainText(plain);
    links_ = findLinks(plain, linePrefix_);
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    for (std::size_t i = 0; i < links_.size(); ++i) {
        QTextCharFormat format;
        format.setAnchor(true);
        // The anchor holds the link's number: a target never goes through
        // a URL parser that could change it on the way to a click.
        format.setAnchorHref(QString::number(i));
        format.setForeground(palette().link());
        format.setFontUnderline(true);
        cursor.setPosition(static_cast<int>(links_[i].start));
        cursor.setPosition(static_cast<int>(links_[i].start + links_[i].length), QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(format);
    }
    cursor.endEditBlock();
    moveCaretToStart();
}

bool LinkedTextView::formatFirst(const QString& text, const QTextCharFormat& format) {
    QTextCursor found = document()->find(text, 0, QTextDocument::FindCaseSensitively);
    if (found.isNull()) return false;
    found.mergeCharFormat(format);
    return true;
}

void LinkedTextView::formatListBetween(const QString& after, const QString& before, const QTextCharFormat& format) {
    const QTextCursor top = document()->find(after, 0, QTextDocument::FindCaseSensitively);
    if (top.isNull()) return;
    const QTextCursor bottom = document()->find(before, top, QTextDocument::FindCaseSensitively);
    if (bottom.isNull()) return;
    const QTextBlock first = top.block().next().next();
    const QTextBlock last = bottom.block().previous().previous();
    if (!first.isValid() || !last.isValid() || first.blockNumber() > last.blockNumber()) return;
    QTextCursor cursor(first);
    cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(format);
    if (first.textList() != nullptr) return;
    QTextListFormat bullets;
    bullets.setStyle(QTextListFormat::ListDisc);
    QTextList* list = QTextCursor(first).createList(bullets);
    for (QTextBlock block = first.next(); block.isValid() && block.blockNumber() <= last.blockNumber();
         block = block.next())
        list->add(block);
}

void LinkedTextView::moveCaretToStart() {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    setTextCursor(cursor);
    ensureCursorVisible();
}

QVariant LinkedTextView::loadResource(int, const QUrl&) { return {}; }

bool LinkedTextView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (const TextLink* link = linkAt(anchorAt(help->pos()))) {
            QToolTip::showText(help->globalPos(), link->target, viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QTextBrowser::viewportEvent(event);
}

const TextLink* LinkedTextView::linkAt(const QString& anchor) const {
    bool number = false;
    const qsizetype index = anchor.toLongLong(&number);
    if (!number || index < 0 || index >= static_cast<qsizetype>(links_.size())) return nullptr;
    return &links_[static_cast<std::size_t>(index)];
}

}  // namespace ui
