#include "ui/LinkedTextView.h"

#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QTextBlock>
#include <QSignalSpy>
#include <QTextDocument>
#include <QToolTip>

namespace {

using Found = std::vector<std::pair<QString, QString>>;  // text, target

Found found(const QString& text) {
    Found links;
    for (const ui::TextLink& link : ui::findLinks(text, QStringLiteral("http://localhost/")))
        links.emplace_back(text.mid(link.start, link.length), link.target);
    return links;
}

TEST(LinkedTextView, FindsWebMailAndPrefixedLineLinksOnly) {
    const struct {
        const char* name;
        QString text;
        Found links;
    } rows[] = {
        {"web links as written, without the sentence's punctuation", "See https://x.example/a?b, or http://y.example/(c).",
         {{"https://x.example/a?b", "https://x.example/a?b"}, {"http://y.example/(c)", "http://y.example/(c)"}}},
        {"www over http, a mail address over mailto", "www.example.org or <ann@example.org>!",
         {{"www.example.org", "http://www.example.org"}, {"ann@example.org", "mailto:ann@example.org"}}},
        {"no other scheme", "file:///etc/passwd javascript:alert(1) data:text/html,x ftp://x.example", {}},
        {"a prefixed line is one link through its number, whatever it holds",
         "ann@x.org\nhttp://localhost/a b@c.de/ID=12 A B@C.DE (text/plain)\nhttp://localhost/x",
         {{"ann@x.org", "mailto:ann@x.org"},
          {"http://localhost/a b@c.de/ID=12", "http://localhost/a b@c.de/ID=12"},
          {"http://localhost/x", "http://localhost/x"}}},
    };
    for (const auto& row : rows) EXPECT_EQ(found(row.text), row.links) << row.name;
}

// Markup is shown as text and names nothing that is loaded; a click and a
// hover give the whole target.
TEST(LinkedTextView, PlainTextOnlyAndLinksReportTheirTargets) {
    ui::LinkedTextView view;
    view.resize(400, 200);
    view.show();
    const QString markup = QStringLiteral("<b>x</b><img src=\"file:///etc/passwd\">\r\nwww.example.org/a");
    view.setLinkedText(markup);
    EXPECT_EQ(view.toPlainText(), QString(markup).replace("\r\n", "\n"));
    EXPECT_FALSE(view.loadResource(QTextDocument::ImageResource, QUrl("file:///etc/passwd")).isValid());
    QSignalSpy clicked(&view, &ui::LinkedTextView::linkClicked);
    emit view.anchorClicked(QUrl(QStringLiteral("0")));
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked[0][0].toString(), "http://www.example.org/a");
    const QPoint at = view.cursorRect(QTextCursor(view.document()->findBlockByNumber(1))).center() + QPoint(4, 0);
    QHelpEvent hover(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view.viewport(), &hover);
    EXPECT_EQ(QToolTip::text(), "http://www.example.org/a");
}

}  // namespace
