#include "FakeServer.h"
#include "TempDir.h"

#include "message/IdMessage.h"
#include "message/IdMessageClient.h"
#include "net/IdExceptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EIdException& e) {
        return e.what();
    }
    return "no exception";
}

// Runs header processing over the given lines, as reception does.
void readHeader(TIdMessage& msg, const Lines& lines) {
    for (const std::string& line : lines) msg.HeaderLines.Add(line);
    TIdMessageClient::ReadHeaderFields(msg);
}

// The model --------------------------------------------------------------------

TEST(Message, CreatedEmpty) {
    TIdMessage msg;
    EXPECT_EQ(msg.Date, 0);
    EXPECT_TRUE(msg.UseNowForDate());
    EXPECT_EQ(msg.Priority, mpNormal);
    EXPECT_EQ(msg.Encoding, meMIME);
    EXPECT_EQ(msg.AttachmentEncoding, "MIME");
    EXPECT_EQ(msg.BoundaryStack.Count(), 0);
    EXPECT_EQ(msg.Parts.Count(), 0);
    EXPECT_EQ(msg.From.Text(), "");
}

TEST(Message, ResetsClearTheirOwnSide) {
    TIdMessage msg;
    readHeader(msg, {"Subject: s", "From: a@b.example", "To: c@d.example", "Bcc-Ignored: x",
                     "Content-Type: multipart/mixed; boundary=b1", "Priority: urgent", "Message-Id: <m@x>",
                     "Date: Tue, 09 Dec 2025 10:20:30 +0000", "Newsgroups: a.b", "Sender: s@x.example"});
    msg.ExtraHeaders.Add("X-Extra: 1");
    msg.Body.push_back("body");
    msg.Parts.Add<TIdText>();
    msg.NoDecode = true;
    msg.Tag = 42;

    msg.ResetHeaderFields();
    EXPECT_EQ(msg.Subject, "");
    EXPECT_EQ(msg.From.Text(), "");
    EXPECT_EQ(msg.Sender.Text(), "");
    EXPECT_EQ(msg.Recipients.Count(), 0);
    EXPECT_EQ(msg.ContentType, "");
    EXPECT_EQ(msg.Priority, mpNormal);
    EXPECT_EQ(msg.Date, 0);
    EXPECT_TRUE(msg.NewsGroups.empty());
    EXPECT_EQ(msg.HeaderLines.Count(), 0);
    EXPECT_EQ(msg.ExtraHeaders.Count(), 0);
    EXPECT_EQ(msg.BoundaryStack.Count(), 0);
    // What the header reset leaves alone.
    EXPECT_EQ(msg.MessageId, "<m@x>");
    EXPECT_EQ(msg.Body, Lines{"body"});
    EXPECT_EQ(msg.Parts.Count(), 1);
    EXPECT_TRUE(msg.NoDecode);
    EXPECT_EQ(msg.Tag, 42);

    msg.ResetBody();
    EXPECT_TRUE(msg.Body.empty());
    EXPECT_EQ(msg.Parts.Count(), 0);
    EXPECT_EQ(msg.MessageId, "<m@x>");
}

TEST(MessageParts, AbstractPartCannotBeCreated) {
    TIdMessageParts parts;
    EXPECT_EQ(messageOf([&] { parts.Add<TIdMessagePart>(); }),
              "TIdMessagePart can not be created.  Use descendant classes. ");
    EXPECT_EQ(parts.Count(), 0);
}

TEST(MessageParts, RecountAndIndex) {
    TIdMessageParts parts;
    parts.Add<TIdText>();
    TIdAttachment& related = parts.Add<TIdAttachment>();
    related.ExtraHeaders.SetFieldValue("Content-ID", "<img1>");
    parts.Add<TIdText>();
    TIdAttachment& plain = parts.Add<TIdAttachment>();
    plain.PartHeaders.SetFieldValue("Content-ID", "<only-in-part-headers>");

    // Only RecountParts moves the counters.
    EXPECT_EQ(parts.TextPartTotal, 0);
    parts.RecountParts();
    EXPECT_EQ(parts.TextPartTotal, 2);
    EXPECT_EQ(parts.AttachmentTotal, 2);
    EXPECT_EQ(parts.RelatedPartTotal, 1);
    EXPECT_NE(dynamic_cast<TIdAttachment*>(&parts[3]), nullptr);

    EXPECT_EQ(messageOf([&] { (void)parts.Items(4); }), "List index out of bounds (4)");
    EXPECT_EQ(messageOf([&] { (void)parts.Items(-1); }), "List index out of bounds (-1)");

    parts.Clear();
    parts.RecountParts();
    EXPECT_EQ(parts.TextPartTotal + parts.AttachmentTotal + parts.RelatedPartTotal, 0);
}

// Saving an attachment -------------------------------------------------------------

class SaveCopy : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("stored.bin", content);
        attachment.StoredPath = dir.file("stored.bin");
    }
    TempDir dir;
    TIdAttachment attachment;
    const std::string content = std::string("bytes\0with NUL\r\n", 16) + std::string(200000, 'z');
};

TEST_F(SaveCopy, CopiesTheStoredFile) {
    EXPECT_TRUE(attachment.SaveCopyTo(dir.file("copy.bin")));
    EXPECT_EQ(dir.read("copy.bin"), content);
    EXPECT_EQ(dir.read("stored.bin"), content);
}

TEST_F(SaveCopy, RefusesToOverwrite) {
    dir.write("existing.txt", "keep me");
    EXPECT_EQ(messageOf([&] { attachment.SaveCopyTo(dir.file("existing.txt")); }), "Error saving attachment.");
    EXPECT_EQ(dir.read("existing.txt"), "keep me");
}

TEST_F(SaveCopy, DoesNotFollowALinkAtTheDestination) {
    dir.write("target.txt", "keep me");
    std::filesystem::create_symlink(dir.file("target.txt"), dir.file("link.txt"));
    EXPECT_EQ(messageOf([&] { attachment.SaveCopyTo(dir.file("link.txt")); }), "Error saving attachment.");
    EXPECT_EQ(dir.read("target.txt"), "keep me");
}

TEST_F(SaveCopy, FailuresLeaveNoFileBehind) {
    struct Row {
        const char* name;
        std::string stored;
        std::string destination;
    };
    const Row rows[] = {
        {"stored file missing", dir.file("gone.bin"), dir.file("out1.bin")},
        {"no stored path", "", dir.file("out2.bin")},
        {"stored path is a folder (read fails after create)", dir.path().string(), dir.file("out3.bin")},
        {"destination folder missing", dir.file("stored.bin"), dir.file("nowhere/out4.bin")},
    };
    for (const Row& row : rows) {
        attachment.StoredPath = row.stored;
        EXPECT_EQ(messageOf([&] { attachment.SaveCopyTo(row.destination); }), "Error saving attachment.") << row.name;
        EXPECT_FALSE(std::filesystem::exists(row.destination)) << row.name;
    }
}

// Header fields -------------------------------------------------------------------

TEST(ReadHeaderFields, FieldsFromAFullHeader) {
    TIdMessage msg;
    readHeader(msg, {
                        "Received: from x by y",
                        "Subject: =?ISO-8859-1?Q?Gr=FC=DFe?= aus",
                        "\tBerlin",
                        "From: =?iso-8859-1?q?J=F6rg?= <joerg@example.org>",
                        "To: =?ISO-8859-1?Q?B=E4r?= <baer@example.org>, c@example.org",
                        "CC: d@example.org",
                        "Bcc: hidden@example.org",
                        "Reply-To: =?ISO-8859-1?Q?R=E4?= <r@example.org>",
                        "Sender: =?ISO-8859-1?Q?S=E4?= <s@example.org>",
                        "Message-ID: <abc@example.org>",
                        "Organization: Example =?ISO-8859-1?Q?AG?=",
                        "References: <r1@x> <r2@x>",
                        "Content-Type: text/plain; charset=\"iso-8859-2\"",
                        "Content-Transfer-Encoding: quoted-printable",
                        "Content-Disposition: inline",
                        "Date: Tue, 09 Dec 2025 10:20:30 +0100",
                        "Newsgroups: comp.lang, \"alt,odd\" , ,news.x",
                        "Return-Receipt-To: rr@example.org",
                        "MIME-Version: 1.0",
                    });
    EXPECT_EQ(msg.Subject, "Gr\xFC\xDF" "e aus Berlin");
    EXPECT_EQ(msg.From.Name(), "J\xF6rg");
    EXPECT_EQ(msg.From.Address(), "joerg@example.org");
    ASSERT_EQ(msg.Recipients.Count(), 2);
    EXPECT_EQ(msg.Recipients[0].Name(), "B\xE4r");
    EXPECT_EQ(msg.Recipients[1].Address(), "c@example.org");
    ASSERT_EQ(msg.CCList.Count(), 1);
    EXPECT_EQ(msg.CCList[0].Address(), "d@example.org");
    EXPECT_EQ(msg.BccList.Count(), 0);
    // Reply-To and Sender keep their encoded words.
    ASSERT_EQ(msg.ReplyTo.Count(), 1);
    EXPECT_EQ(msg.ReplyTo[0].Name(), "=?ISO-8859-1?Q?R=E4?=");
    EXPECT_EQ(msg.Sender.Name(), "=?ISO-8859-1?Q?S=E4?=");
    EXPECT_EQ(msg.MessageId, "<abc@example.org>");
    EXPECT_EQ(msg.Organization, "Example =?ISO-8859-1?Q?AG?=");
    EXPECT_EQ(msg.References, "<r1@x> <r2@x>");
    EXPECT_EQ(msg.ContentType, "text/plain; charset=\"iso-8859-2\"");
    EXPECT_EQ(msg.CharSet, "ISO-8859-2");
    EXPECT_EQ(msg.ContentTransferEncoding, "quoted-printable");
    EXPECT_EQ(msg.ContentDisposition, "inline");
    EXPECT_EQ(msg.Date, InternetDateToLocal("Tue, 09 Dec 2025 10:20:30 +0100"));
    EXPECT_NE(msg.Date, 0);
    EXPECT_EQ(msg.NewsGroups, (Lines{"comp.lang", "\"alt,odd\"", "news.x"}));
    EXPECT_EQ(msg.ReceiptRecipient.Address(), "rr@example.org");
    EXPECT_EQ(msg.BoundaryStack.Count(), 0);
    EXPECT_EQ(msg.HeaderLines.Count(), 19);
}

TEST(ReadHeaderFields, ReceiptRecipientPrefersDispositionNotification) {
    TIdMessage msg;
    readHeader(msg, {"Return-Receipt-To: rr@example.org", "Disposition-Notification-To: dn@example.org"});
    EXPECT_EQ(msg.ReceiptRecipient.Address(), "dn@example.org");
}

TEST(ReadHeaderFields, MissingFieldsGiveEmptyValues) {
    TIdMessage msg;
    readHeader(msg, {"X-Only: 1"});
    EXPECT_EQ(msg.Subject, "");
    EXPECT_EQ(msg.From.Text(), "");
    EXPECT_EQ(msg.Date, InternetDateToLocal(""));
    EXPECT_EQ(msg.Priority, mpNormal);
    EXPECT_EQ(msg.CharSet, "");
}

TEST(ReadHeaderFields, Priority) {
    struct Row {
        const char* name;
        Lines header;
        TIdMessagePriority priority;
    };
    const Row rows[] = {
        {"urgent beats X-Priority 5", {"X-Priority: 5", "Priority: urgent"}, mpHigh},
        {"number with comment", {"X-Priority: 2 (High)"}, mpHigh},
        {"non-urgent contains urgent", {"Priority: non-urgent"}, mpHigh},
        {"non-priority", {"Priority: Non-Priority"}, mpLow},
        {"normal word is no number", {"Priority: normal"}, mpNormal},
        {"empty Priority falls back", {"Priority:", "X-Priority: 4"}, mpLow},
        {"Priority wins over X-Priority", {"Priority: 1", "X-Priority: 5"}, mpHighest},
        {"neither field", {}, mpNormal},
    };
    for (const Row& row : rows) {
        TIdMessage msg;
        readHeader(msg, row.header);
        EXPECT_EQ(msg.Priority, row.priority) << row.name;
    }
}

TEST(ParsePriority, Values) {
    struct Row {
        const char* text;
        TIdMessagePriority priority;
    };
    const Row rows[] = {
        {"1", mpHighest},
        {"  1 (Highest)", mpHighest},
        {"2", mpHigh},
        {"3", mpNormal},
        {"", mpNormal},
        {"4", mpLow},
        {"5 (Lowest)", mpLowest},
        {"URGENT", mpHigh},
        {"x3", mpNormal},
        {"3x", mpNormal},
        {"0x5", mpNormal},  // read as decimal only
        // Outside 1 to 5: held to the nearest end of the scale.
        {"0", mpHighest},
        {"-7", mpHighest},
        {"6", mpLowest},
        {"2147483647", mpLowest},
        {"-2147483648", mpHighest},
        {"99999999999", mpNormal},  // not a 32-bit number
    };
    for (const Row& row : rows) EXPECT_EQ(ParsePriority(row.text), row.priority) << row.text;
}

TEST(ContentTypeParameters, CharSetAndBoundary) {
    struct Row {
        const char* contentType;
        const char* charSet;
        const char* boundary;
    };
    const Row rows[] = {
        {"text/plain; charset=\"iso-8859-2\"", "ISO-8859-2", ""},
        {"text/plain; charset=utf-8; format=flowed", "UTF-8", ""},
        {"text/plain; charset=\"unclosed", "UNCLOSED", ""},
        {"text/plain; Charset=", "", ""},
        {"multipart/mixed; boundary=abc; x=1", "", "ABC; X=1"},
        {"multipart/mixed; boundary=\"a=_b c\"; charset=us-ascii", "US-ASCII", "A=_B C"},
        {"multipart/mixed; BOUNDARY=\"open", "", "OPEN"},
        {"multipart/mixed; boundary=\"\"", "", ""},
        {"multipart/mixed; boundary=", "", ""},
        {"", "", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CharSetFromContentType(row.contentType), row.charSet) << row.contentType;
        EXPECT_EQ(BoundaryFromContentType(row.contentType), row.boundary) << row.contentType;
    }
}

TEST(ReadHeaderFields, BoundaryPushedOnceFromFoldedContentType) {
    TIdMessage msg;
    readHeader(msg, {"Content-Type: multipart/mixed;", "\tboundary=\"frontier\""});
    EXPECT_EQ(msg.BoundaryStack.CurrentBoundary(), "FRONTIER");
    TIdMessageClient::ReadHeaderFields(msg);
    EXPECT_EQ(msg.BoundaryStack.Count(), 1);
}

TEST(MIMEBoundary, Stack) {
    TIdMIMEBoundary stack;
    EXPECT_EQ(stack.CurrentBoundary(), "");
    stack.PushBoundary("");
    EXPECT_EQ(stack.Count(), 0);
    stack.PushBoundary("OUTER");
    stack.PushBoundary("outer");  // equal to the top without regard to case
    EXPECT_EQ(stack.Count(), 1);
    stack.PushBoundary("INNER");
    stack.PushBoundary("OUTER");  // only the top is compared
    EXPECT_EQ(stack.Count(), 3);
    stack.PopBoundary();
    EXPECT_EQ(stack.CurrentBoundary(), "INNER");
    stack.ClearBoundaries();
    EXPECT_EQ(messageOf([&] { stack.PopBoundary(); }), "List index out of bounds (0)");
}

// A second header keeps the fields of the first copy (the first matching line
// wins) and doubles the lines; the boundary is not pushed twice.
TEST(ReadHeaderFields, HeaderReceivedTwice) {
    const Lines first{"Subject: first", "From: a@example.org", "Content-Type: multipart/mixed; boundary=b1"};
    TIdMessage msg;
    readHeader(msg, first);
    readHeader(msg, {"Subject: second", "From: z@example.org", "Content-Type: multipart/mixed; boundary=b1"});
    EXPECT_EQ(msg.Subject, "first");
    EXPECT_EQ(msg.From.Address(), "a@example.org");
    EXPECT_EQ(msg.HeaderLines.Count(), 6);
    EXPECT_EQ(msg.BoundaryStack.Count(), 1);
}

// A parser failure passes through: fields before the failing step hold their
// new values, later ones their old values, and no boundary is pushed.
TEST(ReadHeaderFields, ParserFailurePassesThrough) {
    TIdMessage msg;
    msg.Organization = "before";
    msg.HeaderLines.Add("Subject: new");
    msg.HeaderLines.Add("From: <a@example.org> b@example.org");
    msg.HeaderLines.Add("Organization: after");
    msg.HeaderLines.Add("Content-Type: multipart/mixed; boundary=x");
    EXPECT_EQ(messageOf([&] { TIdMessageClient::ReadHeaderFields(msg); }), "@ Outside address");
    EXPECT_EQ(msg.Subject, "new");
    EXPECT_EQ(msg.Organization, "before");
    EXPECT_EQ(msg.BoundaryStack.Count(), 0);
}

// Header reception over a connection ------------------------------------------------

class ReceiveHeader : public ::testing::TestWithParam<int> {
protected:
    void connect(FakeServer& server) {
        server.start();
        client.Host = "127.0.0.1";
        client.Port = server.port();
        client.RecvBufferSize = GetParam();
        client.OnWorkBegin = [&](TIdComponent&, TWorkMode mode, std::int64_t) {
            if (mode == wmRead) ++begun;
        };
        client.OnWorkEnd = [&](TIdComponent&, TWorkMode mode) {
            if (mode == wmRead) ++ended;
        };
        client.Connect();
    }
    TIdMessageClient client;
    TIdMessage msg;
    int begun = 0;
    int ended = 0;
};

INSTANTIATE_TEST_SUITE_P(Feeds, ReceiveHeader, ::testing::Values(32768, 1),
                         [](const auto& info) { return info.param == 1 ? "ByteByByte" : "Whole"; });

// A header fetch takes every non-empty line up to ".", also those after a
// blank line, stored as received (folded lines separate, no unstuffing).
TEST_P(ReceiveHeader, DotTerminated) {
    FakeServer server;
    server.send("Subject: one\r\n\ttwo\r\n..X-Dotted: y\r\n\r\nTo: late@example.org\r\n.\r\nnext\r\n").stall();
    connect(server);
    EXPECT_EQ(client.ReceiveHeaderLines(msg, "."), ".");
    EXPECT_EQ(msg.HeaderLines.Lines(), (Lines{"Subject: one", "\ttwo", "..X-Dotted: y", "To: late@example.org"}));
    EXPECT_EQ(msg.Subject, "one two");
    EXPECT_EQ(msg.Recipients.Count(), 1);
    EXPECT_EQ(client.ReadLine(), "next");
    EXPECT_EQ(begun, 1);
    EXPECT_EQ(ended, 1);
}

TEST_P(ReceiveHeader, EmptyTerminatorStopsAtBlankLine) {
    FakeServer server;
    server.send("Subject: s\r\n\r\nbody\r\n").stall();
    connect(server);
    EXPECT_EQ(client.ReceiveHeaderLines(msg, ""), "");
    EXPECT_EQ(msg.HeaderLines.Lines(), Lines{"Subject: s"});
    EXPECT_EQ(client.ReadLine(), "body");
}

TEST_P(ReceiveHeader, EmptyTerminatorStopsAtDot) {
    FakeServer server;
    server.send("Subject: s\r\n.\r\n").stall();
    connect(server);
    EXPECT_EQ(client.ReceiveHeaderLines(msg, ""), ".");
    EXPECT_EQ(msg.Subject, "s");
}

// A close in the middle: the lines so far stay, the fields are not set, and
// the work span is ended all the same.
TEST_P(ReceiveHeader, ClosedMidHeader) {
    FakeServer server;
    server.send("Subject: s\r\nFrom: a@example.org\r\n").close();
    connect(server);
    EXPECT_EQ(messageOf([&] { client.ReceiveHeaderLines(msg, "."); }), "Connection Closed Gracefully.");
    EXPECT_EQ(msg.HeaderLines.Count(), 2);
    EXPECT_EQ(msg.Subject, "");
    EXPECT_EQ(begun, 1);
    EXPECT_EQ(ended, 1);
}

// A header that never ends may not gather more than MaxReadLinesSize bytes,
// blank lines included.
TEST_P(ReceiveHeader, BoundedSize) {
    for (const std::string& line : {std::string("X-Fill: 0123456789\r\n"), std::string("\r\n")}) {
        FakeServer server;
        std::string flood;
        while (flood.size() < 4000) flood += line;
        server.send(flood).stall();
        TIdMessage fresh;
        connect(server);
        client.MaxReadLinesSize = 1000;
        EXPECT_EQ(messageOf([&] { client.ReceiveHeaderLines(fresh, "."); }),
                  "Multi-line reply exceeds the limit of 1000 bytes.");
        EXPECT_LT(fresh.HeaderLines.Count(), 60);
        client.Disconnect();
    }
    EXPECT_EQ(begun, ended);
}

}  // namespace
