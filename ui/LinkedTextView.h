#pragma once

#include <QString>
#include <QTextBrowser>

#include <vector>

class QTextCharFormat;

namespace ui {

// A link found in a plain text: where it stands and what a click on it
// opens.
struct TextLink {
    qsizetype start = 0;
    qsizetype length = 0;
    QString target;
};

// The links of a plain text, in order and never overlapping:
// - every line that starts with `linePrefix` (when it is not empty): its
//   link runs from the start of the line through the digits after its
//   first "/ID=", and is the target itself;
// - web addresses starting "http://" or "https://" (the target as written)
//   or "www." (opened as "http://" and the address);
// - "mailto:" links, and mail addresses (opened as "mailto:" and the
//   address).
// A web or mail link ends before a blank, a control character or one of
// < > " ' and leaves out the punctuation that ends a sentence after it.
// Nothing else is taken for a link, whatever scheme it names.
[[nodiscard]] std::vector<TextLink> findLinks(const QString& text, const QString& linePrefix);

// A read-only view of plain text whose links can be clicked. The text is
// always taken as plain text, never as markup; the view loads nothing (no
// image, no style sheet, no file, no page) whatever the text names, and
// takes nothing dropped on it. Hovering a link shows its whole target.
class LinkedTextView : public QTextBrowser {
    Q_OBJECT

public:
    explicit LinkedTextView(QWidget* parent = nullptr);

    // The start of the lines whose link findLinks takes from the line.
    void setLinePrefix(const QString& prefix) { linePrefix_ = prefix; }

    // Replaces the text, line ends CR LF, LF or CR alike, and makes the
    // links findLinks finds in it clickable.
    void setLinkedText(const QString& text);
    // The links of the text shown, as findLinks gave them.
    [[nodiscard]] const std::vector<TextLink>& links() const { return links_; }

    // Merges `format` into the first occurrence of `text`; false when the
    // text holds none.
    bool formatFirst(const QString& text, const QTextCharFormat& format);
    // The lines after the first occurrence of `after` and the empty line
    // below it, up to the line before the empty line above the next
    // occurrence of `before`: bulleted paragraphs with `format` merged in.
    // Nothing changes when either line is missing, and doing it again
    // changes nothing more.
    void formatListBetween(const QString& after, const QString& before, const QTextCharFormat& format);
    // The caret at the start of the text, nothing selected, the view
    // scrolled to the top.
    void moveCaretToStart();

    // Nothing is ever loaded for the document.
    QVariant loadResource(int type, const QUrl& name) override;

signals:
    // A click (or Enter) on a link, with its target.
    void linkClicked(const QString& target);

protected:
    bool viewportEvent(QEvent* event) override;

private:
    [[nodiscard]] const TextLink* linkAt(const QString& anchor) const;

    QString linePrefix_;
    std::vector<TextLink> links_;
};

}  // namespace ui
