#include "NetTestUtil.h"
#include "FakeServer.h"

#include "net/IdExceptions.h"
#include "net/IdTCPClient.h"
#include "net/IdTCPStream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

namespace {

using Lines = std::vector<std::string>;

void connectTo(TIdTCPClient& client, FakeServer& server, int recvBufferSize = 32768) {
    server.start();
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.RecvBufferSize = recvBufferSize;
    client.Connect();
}

// Every reading test runs twice: with whole chunks, and with the client
// taking one byte per receive so that every boundary falls everywhere.
class TCPRead : public ::testing::TestWithParam<int> {
protected:
    void connect(FakeServer& server) { connectTo(client, server, GetParam()); }
    TIdTCPClient client;
};

INSTANTIATE_TEST_SUITE_P(Feeds, TCPRead, ::testing::Values(32768, 1),
                         [](const auto& info) { return info.param == 1 ? "ByteByByte" : "Whole"; });

TEST_P(TCPRead, LineTerminators) {
    struct Row {
        const char* name;
        std::string sent;
        std::string line;
    };
    const Row rows[] = {
        {"LF", "abc\n", "abc"},
        {"CR LF", "abc\r\n", "abc"},
        {"CR CR LF keeps one CR", "abc\r\r\n", "abc\r"},
        {"lone CR LF is an empty line", "\r\n", ""},
    };
    for (const Row& row : rows) {
        FakeServer server;
        server.send(row.sent + "next\r\n");
        TIdTCPClient reader;
        connectTo(reader, server, GetParam());
        EXPECT_EQ(reader.ReadLine(), row.line) << row.name;
        EXPECT_EQ(reader.ReadLine(), "next") << row.name;
    }
}

TEST_P(TCPRead, MaxLineLength) {
    struct Row {
        const char* name;
        std::string sent;
        std::string result;
    };
    const std::string limit(16384, 'a');
    const Row rows[] = {
        {"16384 bytes accepted", limit + "\n", limit},
        {"CR counts towards the limit", limit.substr(1) + "\r\n", limit.substr(1)},
        {"16385 bytes refused", limit + "b\n", "Max line length exceeded."},
        {"refused before the LF arrives", limit + "bcd", "Max line length exceeded."},
    };
    for (const Row& row : rows) {
        FakeServer server;
        server.send(row.sent).stall();
        TIdTCPClient reader;
        connectTo(reader, server, GetParam());
        std::string result;
        const std::string error = messageOf([&] { result = reader.ReadLine(); });
        EXPECT_EQ(error == "no exception" ? result : error, row.result) << row.name;
    }
}

TEST_P(TCPRead, SplitLongLine) {
    FakeServer server;
    server.send(std::string(40000, 'x') + "\r\n");
    connect(server);
    client.MaxLineAction = maSplit;
    EXPECT_EQ(client.ReadLine().size(), 16384u);
    EXPECT_TRUE(client.ReadLnSplit());
    EXPECT_EQ(client.ReadLine().size(), 16384u);
    EXPECT_TRUE(client.ReadLnSplit());
    EXPECT_EQ(client.ReadLine().size(), 7232u);
    EXPECT_FALSE(client.ReadLnSplit());
}

TEST_P(TCPRead, LinesThenClose) {
    FakeServer server;
    server.send("one\r\ntwo\r\n").close();
    connect(server);
    EXPECT_EQ(client.ReadLine(), "one");
    EXPECT_EQ(client.ReadLine(), "two");
    EXPECT_EQ(messageOf([&] { (void)client.ReadLine(); }), "Connection Closed Gracefully.");
    EXPECT_FALSE(client.IsConnected());
}

TEST_P(TCPRead, PartialLineThenCloseIsNeverReturned) {
    FakeServer server;
    server.send("abc").close();
    connect(server);
    EXPECT_EQ(client.ReadLine(), "");
    EXPECT_EQ(messageOf([&] { (void)client.ReadLine(); }), "Connection Closed Gracefully.");
    EXPECT_EQ(client.InputBuffer().View(), "abc");
}

TEST_P(TCPRead, Replies) {
    struct Row {
        const char* name;
        std::string sent;
        std::string textCode;
        int numericCode;
        Lines text;
    };
    const Row rows[] = {
        {"blank lines and blanks around", "\r\n\r\n  +OK ready  \r\n", "+OK", 0, {"ready"}},
        {"text after the code", "+OK 2 320\r\n", "+OK", 0, {"2 320"}},
        {"code alone", "+OK\r\n", "+OK", 0, {""}},
        {"leading blank of the text kept", "-ERR no such message\r\n", "-ERR", 0, {" no such message"}},
        {"multi-line reply up to its closing line", "250-first\r\n250-second\r\n250 last\r\n", "250", 250,
         {"first", "second", "last"}},
    };
    for (const Row& row : rows) {
        FakeServer server;
        server.send(row.sent);
        TIdTCPClient reader;
        connectTo(reader, server, GetParam());
        EXPECT_EQ(reader.ReadResponse({-1}), row.numericCode) << row.name;
        EXPECT_EQ(reader.LastReply().TextCode(), row.textCode) << row.name;
        EXPECT_EQ(reader.LastReply().Text, row.text) << row.name;
    }
}

TEST_P(TCPRead, ReadLinesUntilUnstuffsDotsAndReportsWork) {
    FakeServer server;
    server.send("..\r\n...\r\n.x\r\nplain\r\n.\r\nnext\r\n");
    connect(server);
    std::vector<std::int64_t> totals;
    int spans = 0;
    client.OnWorkBegin = [&](TIdComponent&, TWorkMode, std::int64_t) { ++spans; };
    client.OnWork = [&](TIdComponent&, TWorkMode mode, std::int64_t count) {
        if (mode == wmRead) totals.push_back(count);
    };
    Lines lines{"kept"};
    EXPECT_EQ(client.ReadLinesUntil(lines), 4);
    EXPECT_EQ(lines, (Lines{"kept", ".", "..", ".x", "plain"}));
    EXPECT_EQ(totals, (std::vector<std::int64_t>{4, 9, 13, 20, 23}));
    EXPECT_EQ(spans, 1);
    EXPECT_EQ(client.ReadLine(), "next");
}

TEST_P(TCPRead, ReadLinesUntilIntoStreamAndBounded) {
    FakeServer server;
    std::string endless;
    for (int i = 0; i < 30; ++i) endless += std::string(98, 'z') + "\r\n";
    server.send("a\nb\r\n.\r\n" + endless).stall();
    connect(server);
    std::ostringstream stream;
    EXPECT_EQ(client.ReadLinesUntil(stream, "."), 2);
    EXPECT_EQ(stream.str(), "a\r\nb\r\n");
    client.MaxReadLinesSize = 1000;
    EXPECT_EQ(messageOf([&] { client.ReadLinesUntil(nullptr); }),
              "Multi-line reply exceeds the limit of 1000 bytes.");
}

// Without a line length limit, the reply's byte limit is all that bounds a
// line that never ends; a reply that fills the limit exactly still ends.
TEST_P(TCPRead, ReadLinesUntilBoundsAnEndlessLineWithoutLineLimit) {
    std::string exact;
    for (int i = 0; i < 9; ++i) exact += std::string(98, 'x') + "\r\n";
    exact += std::string(98, 'y') + "\r\n.\r\n";
    {
        FakeServer server;
        server.send(exact).stall();
        connect(server);
        client.MaxLineLength = 0;
        client.MaxReadLinesSize = 1000;
        EXPECT_EQ(client.ReadLinesUntil(nullptr), 10);
        client.Disconnect();
    }
    FakeServer server;
    server.send("first\r\n" + std::string(5000, 'z')).stall();
    connect(server);
    client.MaxLineLength = 0;
    client.MaxReadLinesSize = 1000;
    // Were the line not bounded, the read would wait for its end and time out.
    client.ReadTimeout = 5000;
    EXPECT_EQ(messageOf([&] { client.ReadLinesUntil(nullptr); }),
              "Multi-line reply exceeds the limit of 1000 bytes.");
}

TEST_P(TCPRead, ReadBytesAndAsciiFilter) {
    FakeServer server;
    server.send("12345\xC1" "bc\r\n");
    connect(server);
    TIdTCPStream stream(client);
    EXPECT_EQ(stream.Read(3), "123");
    client.ASCIIFilter = true;
    EXPECT_EQ(stream.Read(2), "45");
    EXPECT_EQ(stream.ReadLine(), GetParam() == 1 ? "Abc" : "\xC1" "bc");
}

// Maps "+OK" to 1 and "-ERR" to 2 as a POP3 client does, through the
// overridable reply reading.
class StatusWordClient : public TIdTCPClient {
public:
    int ReadResponse(const std::vector<int>& allowed) override {
        GetInternalResponse();
        LastReply().SetNumericCode(LastReply().TextCode() == "+OK" ? 1 : 2);
        return CheckResponse(allowed);
    }
};

TEST(TCPConnection, SendCommandChecksTheReplyCode) {
    FakeServer server;
    server.exchange("STAT", "-ERR locked\r\n").exchange("DELE 1", "-ERR no such message\r\n");
    StatusWordClient client;
    connectTo(client, server);
    EXPECT_EQ(client.SendCommand("STAT", -1), 2);
    try {
        client.SendCommand("DELE 1", 1);
        ADD_FAILURE() << "reply code 2 accepted";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.Message(), " no such message\r\n");
        EXPECT_EQ(e.ReplyErrorCode(), 2);
    }
    client.Disconnect();
    EXPECT_EQ(server.waitAndLines(), (Lines{"STAT", "DELE 1"}));
    EXPECT_EQ(server.problems(), Lines{});
}

TEST(TCPConnection, CommandLineWithLineBreakIsRefused) {
    FakeServer server;
    TIdTCPClient client;
    connectTo(client, server);
    EXPECT_EQ(messageOf([&] { client.WriteLine("USER bob\r\nDELE 1"); }),
              "A command line must not contain CR or LF.");
    EXPECT_EQ(messageOf([&] { client.WriteLine("USER bob\nDELE 1"); }), "A command line must not contain CR or LF.");
    client.WriteLine("NOOP");
    client.Disconnect();
    EXPECT_EQ(server.waitAndLines(), Lines{"NOOP"});
}

TEST(TCPConnection, ConnectionStates) {
    FakeServer server;
    server.expect("FIRST").nextConnection().expect("SECOND");
    TIdTCPClient client;
    EXPECT_EQ(messageOf([&] { (void)client.ReadLine(); }), "Not Connected");
    EXPECT_EQ(messageOf([&] { client.WriteLine("X"); }), "Not Connected");
    connectTo(client, server);
    EXPECT_EQ(messageOf([&] { client.Connect(); }), "Already connected.");
    client.WriteLine("FIRST");
    client.Disconnect();
    client.Disconnect();
    EXPECT_FALSE(client.IsConnected());
    client.Connect();
    client.WriteLine("SECOND");
    client.Disconnect();
    EXPECT_EQ(server.waitAndLines(), (Lines{"FIRST", "SECOND"}));
    EXPECT_EQ(server.connections(), 2);
    EXPECT_EQ(server.problems(), Lines{});
}

TEST(TCPConnection, ReadTimeout) {
    FakeServer server;
    server.stall();
    TIdTCPClient client;
    connectTo(client, server);
    client.ReadTimeout = 100;
    EXPECT_EQ(messageOf([&] { (void)client.ReadLine(); }), "Read Timeout");
}

TEST(TCPConnection, ReplyCodeAssignments) {
    TIdRFCReply reply;
    reply.SetTextCode("250");
    EXPECT_EQ(reply.NumericCode(), 250);
    reply.SetTextCode("+OK");
    EXPECT_EQ(reply.NumericCode(), 0);
    reply.SetNumericCode(2);
    EXPECT_EQ(reply.TextCode(), "2");
    reply.Clear();
    EXPECT_EQ(reply.NumericCode(), 0);
    EXPECT_EQ(reply.TextCode(), "");
}

}  // namespace
