#include "NetTestUtil.h"
#include "FakeServer.h"

#include "message/IdGlobal.h"
#include "net/IdExceptions.h"
#include "net/IdIOHandlerSocket.h"
#include "net/IdPOP3.h"
#include "net/IdStack.h"

#include <gtest/gtest.h>

#include <functional>

#include <poll.h>

namespace {

using Lines = std::vector<std::string>;

const std::string kGreeting = "+OK POP3 ready\r\n";

// The script of a USER/PASS login as bob with password "secret".
FakeServer& loggedIn(FakeServer& server) {
    return server.send(kGreeting).exchange("USER bob", "+OK\r\n").exchange("PASS secret", "+OK\r\n");
}

void connectTo(TIdPOP3& client, FakeServer& server, int recvBufferSize = 32768) {
    server.start();
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.Username = "bob";
    client.Password = "secret";
    client.RecvBufferSize = recvBufferSize;
    client.Connect();
}

// What an action raised: the protocol reply error with its code, any other
// failure of the family by its message, or "no exception".
std::string failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EIdProtocolReplyError& e) {
        return "reply error " + std::to_string(e.ReplyErrorCode()) + ": " + e.what();
    } catch (const EIdException& e) {
        return e.what();
    }
    return "no exception";
}

// Connects and logs in, reporting the failure as failureOf does.
std::string loginFailure(TIdPOP3& client, FakeServer& server) {
    server.start();
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.Username = "bob";
    client.Password = "secret";
    return failureOf([&] { client.Connect(); });
}

// A login that fails on a scripted server: what the client raised and every
// line the server received.
struct LoginRow {
    const char* name;
    std::function<void(FakeServer&)> script;
    Lines sent;
    std::string failure;
};

template <std::size_t N>
void expectLoginFailures(const LoginRow (&rows)[N], TIdUseTLS mode) {
    for (const LoginRow& row : rows) {
        FakeServer server;
        row.script(server);
        TIdPOP3 client;
        client.UseTLS = mode;
        EXPECT_EQ(loginFailure(client, server), row.failure) << row.name;
        EXPECT_FALSE(client.IsConnected()) << row.name;
        EXPECT_EQ(server.waitAndLines(), row.sent) << row.name;
    }
}

TEST(POP3, DefaultsAndLogin) {
    TIdPOP3 client;
    EXPECT_EQ(client.Port, 110);
    EXPECT_FALSE(client.APOP);
    FakeServer server;
    loggedIn(server).expect("QUIT").close();
    connectTo(client, server);
    EXPECT_EQ(client.LastReply().NumericCode(), 1);
    EXPECT_EQ(client.LastReply().TextCode(), "1");
    client.Disconnect();
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(server.waitAndLines(), (Lines{"USER bob", "PASS secret", "QUIT"}));
    EXPECT_EQ(server.problems(), Lines{});
}

// "-ERR" anywhere in the login: the reply error with the text after "-ERR",
// then QUIT and close.
TEST(POP3, LoginRefusedAtEveryStep) {
    const LoginRow rows[] = {
        {"greeting", [](FakeServer& s) { s.send("-ERR busy\r\n"); }, {"QUIT"}, "reply error 2:  busy\r\n"},
        {"USER",
         [](FakeServer& s) { s.send(kGreeting).exchange("USER bob", "-ERR who?\r\n"); },
         {"USER bob", "QUIT"},
         "reply error 2:  who?\r\n"},
        {"PASS",
         [](FakeServer& s) { s.send(kGreeting).exchange("USER bob", "+OK\r\n").exchange("PASS secret", "-ERR no\r\n"); },
         {"USER bob", "PASS secret", "QUIT"},
         "reply error 2:  no\r\n"},
        {"-ERROR counts as -ERR",
         [](FakeServer& s) {
             s.send(kGreeting).exchange("USER bob", "+OK\r\n").exchange("PASS secret", "-ERROR locked\r\n");
         },
         {"USER bob", "PASS secret", "QUIT"},
         "reply error 2: OR locked\r\n"},
        {"unrecognised greeting",
         [](FakeServer& s) { s.send("+OKready\r\n"); },
         {"QUIT"},
         "Unrecognized POP3 Response Header:\n\"eady\r\n\""},
        {"unrecognised reply to USER",
         [](FakeServer& s) { s.send(kGreeting).exchange("USER bob", "OK fine\r\n"); },
         {"USER bob", "QUIT"},
         "Unrecognized POP3 Response Header:\n\"ine\r\n\""},
    };
    expectLoginFailures(rows, TIdUseTLS::utNoTLS);
}

TEST(POP3, StatusWordsIgnoreCase) {
    FakeServer server;
    server.send("+ok hi\r\n")
        .exchange("USER bob", "+Ok\r\n")
        .exchange("PASS secret", "+oK\r\n")
        .exchange("DELE 1", "-err gone\r\n")
        .exchange("DELE 2", "-eRr\r\n");
    TIdPOP3 client;
    connectTo(client, server);
    EXPECT_EQ(failureOf([&] { client.DeleteMessage(1); }), "reply error 2:  gone\r\n");
    EXPECT_EQ(failureOf([&] { client.DeleteMessage(2); }), "reply error 2: \r\n");
    EXPECT_EQ(client.LastReply().TextCode(), "2");
}

// "-ERR" in the transaction state raises and leaves the connection open: the
// next command is answered normally.
TEST(POP3, TransactionRefusals) {
    struct Row {
        const char* name;
        std::string command;
        std::function<void(TIdPOP3&)> call;
    };
    TIdMessage msg;
    const Row rows[] = {
        {"STAT", "STAT", [](TIdPOP3& c) { (void)c.MessageCount(); }},
        {"LIST", "LIST 3", [](TIdPOP3& c) { (void)c.MessageSize(3); }},
        {"TOP", "TOP 4 0", [&](TIdPOP3& c) { c.FetchHeader(4, msg); }},
        {"DELE", "DELE 2", [](TIdPOP3& c) { c.DeleteMessage(2); }},
    };
    for (const Row& row : rows) {
        FakeServer server;
        loggedIn(server).exchange(row.command, "-ERR no such message\r\n").exchange("STAT", "+OK 1 10\r\n");
        TIdPOP3 client;
        connectTo(client, server);
        EXPECT_EQ(failureOf([&] { row.call(client); }), "reply error 2:  no such message\r\n") << row.name;
        EXPECT_TRUE(client.IsConnected()) << row.name;
        EXPECT_EQ(client.MessageCount(), 1) << row.name;
    }
    EXPECT_EQ(msg.HeaderLines.Count(), 0);
}

// A status line whose fourth character is "-" is one line like any other:
// the client goes on at once instead of waiting for a closing line.
TEST(POP3, StatusIsAlwaysOneLine) {
    FakeServer server;
    server.send("+OK-ready\r\n").exchange("USER bob", "+OK-fine\r\n").exchange("PASS secret", "+OK\r\n")
        .exchange("STAT", "-ERR-busy\r\n").exchange("STAT", "+OK-2 300\r\n");
    TIdPOP3 client;
    connectTo(client, server);
    EXPECT_EQ(failureOf([&] { (void)client.MessageCount(); }), "reply error 2: -busy\r\n");
    EXPECT_EQ(client.MessageCount(), 2);
    EXPECT_EQ(client.LastReply().Text, Lines{"2 300"});
}

TEST(POP3, UnrecognisedReplyInTransactionKeepsConnection) {
    FakeServer server;
    loggedIn(server).exchange("STAT", "OK fine\r\n");
    TIdPOP3 client;
    connectTo(client, server);
    EXPECT_EQ(failureOf([&] { (void)client.MessageCount(); }), "Unrecognized POP3 Response Header:\n\"ine\r\n\"");
    EXPECT_TRUE(client.IsConnected());
}

TEST(POP3, MessageCount) {
    struct Row {
        const char* name;
        std::string reply;
        std::string result;
    };
    const Row rows[] = {
        {"empty mailbox", "+OK 0 0", "0"},
        {"count and size", "+OK 7 31200", "7"},
        {"bare +OK", "+OK", "0"},
        {"count without size", "+OK 5", "5"},
        {"word for a count", "+OK many 100", "'many' is not a valid integer value"},
    };
    for (const Row& row : rows) {
        FakeServer server;
        loggedIn(server).exchange("STAT", row.reply + "\r\n");
        TIdPOP3 client;
        connectTo(client, server);
        std::string result;
        const std::string error = failureOf([&] { result = std::to_string(client.MessageCount()); });
        EXPECT_EQ(error == "no exception" ? result : error, row.result) << row.name;
    }
}

TEST(POP3, MessageSize) {
    struct Row {
        const char* name;
        std::string reply;
        int size;
    };
    const Row rows[] = {
        {"number and size", "+OK 3 1200", 1200},
        {"trailing words", "+OK 3 1200 octets in all", 1200},
        {"size alone", "+OK 1200", 1200},
        {"bare +OK", "+OK", -1},
        {"no number", "+OK 3 big", -1},
    };
    for (const Row& row : rows) {
        FakeServer server;
        loggedIn(server).exchange("LIST 3", row.reply + "\r\n");
        TIdPOP3 client;
        connectTo(client, server);
        EXPECT_EQ(client.MessageSize(3), row.size) << row.name;
    }
}

// The listing is read to "." (unstuffed, appended to what the list held), so
// the reply to the next command is read correctly.
TEST(POP3, UniqueIdListing) {
    FakeServer server;
    loggedIn(server)
        .exchange("UIDL", "+OK\r\n1 abc\r\n..odd\r\n.\r\n")
        .exchange("STAT", "+OK 2 300\r\n")
        .exchange("UIDL 2", "+OK 2 def\r\n")
        .exchange("UIDL 9", "-ERR no such message\r\n")
        .exchange("UIDL", "-ERR not supported\r\n")
        .exchange("STAT", "+OK 2 300\r\n");
    TIdPOP3 client;
    connectTo(client, server, 1);
    Lines list{"kept"};
    EXPECT_TRUE(client.ListUniqueIds(list));
    EXPECT_EQ(list, (Lines{"kept", "1 abc", ".odd"}));
    EXPECT_EQ(client.MessageCount(), 2);

    EXPECT_TRUE(client.ListUniqueIds(list, 2));
    EXPECT_EQ(list, Lines{"2 def"});
    EXPECT_FALSE(client.ListUniqueIds(list, 9));
    EXPECT_EQ(list, Lines{"2 def"});
    EXPECT_FALSE(client.ListUniqueIds(list));
    EXPECT_EQ(client.MessageCount(), 2);
}

// The check run's conversation: header fetch and size of each message, each
// read to its end so the next reply lines up. Also fed one byte at a time.
TEST(POP3, HeaderFetchConversation) {
    for (const int bufferSize : {32768, 1}) {
        FakeServer server;
        loggedIn(server)
            .exchange("STAT", "+OK 1 420\r\n")
            .exchange("TOP 1 0",
                      "+OK header follows\r\n"
                      "Subject: =?ISO-8859-1?Q?Caf=E9?=\r\n"
                      "From: Ann <ann@example.org>\r\n"
                      "To: bob@example.org,\r\n"
                      " carol@example.org\r\n"
                      "Message-Id: <1@example.org>\r\n"
                      "\r\n"
                      ".\r\n")
            .exchange("LIST 1", "+OK 1 420\r\n")
            .expect("QUIT")
            .close();
        TIdPOP3 client;
        connectTo(client, server, bufferSize);
        ASSERT_EQ(client.MessageCount(), 1);
        TIdMessage msg;
        EXPECT_TRUE(client.FetchHeader(1, msg));
        msg.Tag = client.MessageSize(1);
        client.Disconnect();

        EXPECT_EQ(msg.HeaderLines.Count(), 5) << bufferSize;
        EXPECT_EQ(msg.Subject, "Caf\xE9");
        EXPECT_EQ(msg.From.Address(), "ann@example.org");
        EXPECT_EQ(msg.Recipients.Count(), 2);
        EXPECT_EQ(msg.MessageId, "<1@example.org>");
        EXPECT_EQ(msg.Tag, 420);
        EXPECT_EQ(server.waitAndLines(), (Lines{"USER bob", "PASS secret", "STAT", "TOP 1 0", "LIST 1", "QUIT"}));
        EXPECT_EQ(server.problems(), Lines{});
    }
}

// "RETR 4" into a message that holds the check run's header: what the reply
// adds, and a "STAT" after it that finds the connection in step. Fed a
// byte at a time too.
TEST(POP3, FetchMessageConversation) {
    const auto strict = TIdHeaderFields::Strict;
    const struct {
        const char* name;
        std::string reply;
        TIdHeaderFields fields;
        std::string result;  // "true", "false" or the failure's text
        Lines body;
    } rows[] = {
        {"-ERR reads nothing", "-ERR no such message\r\n", strict, "false", {}},
        {"a header ended by a dot has no body", "+OK\r\nSubject: b\r\n.\r\n", strict, "true", {}},
        {"the body ends at the dot line", "+OK\r\nSubject: b\r\n\r\none\r\n..two\r\n.\r\n", strict, "true",
         {"one", ".two"}},
        {"a content failure reads the reply to its end",
         "+OK\r\nContent-Transfer-Encoding: base64\r\n\r\nabc\r\nx\r\n.\r\n", strict, "Uneven size in DecodeToStream.", {}},
        {"a lenient header keeps a bad address", "+OK\r\nFrom: <a@x> b@x\r\n\r\nx\r\n.\r\n", TIdHeaderFields::Lenient,
         "true", {"x"}},
    };
    for (const auto& row : rows) {
        for (const int bufferSize : {32768, 1}) {
            SCOPED_TRACE(std::string(row.name) + " " + std::to_string(bufferSize));
            FakeServer server;
            loggedIn(server).exchange("RETR 4", row.reply).exchange("STAT", "+OK 1 5\r\n").expect("QUIT").close();
            TIdPOP3 client;
            connectTo(client, server, bufferSize);
            TIdMessage msg;
            msg.HeaderLines.Add("Subject: from the check run");
            bool fetched = false;
            const std::string failure = failureOf([&] { fetched = client.FetchMessage(4, msg, row.fields); });
            EXPECT_EQ(failure == "no exception" ? (fetched ? "true" : "false") : failure, row.result);
            EXPECT_EQ(client.MessageCount(), 1);
            client.Disconnect();
            EXPECT_EQ(msg.HeaderLines.Count(), row.result == "false" ? 1 : 2);
            EXPECT_EQ(msg.Body, row.body);
            EXPECT_EQ(server.waitAndLines(), (Lines{"USER bob", "PASS secret", "RETR 4", "STAT", "QUIT"}));
        }
    }
}

// Deletions send nothing more; a server that has closed (seen by a read)
// gets no QUIT.
TEST(POP3, NoQuitAfterServerClosed) {
    FakeServer server;
    loggedIn(server).exchange("DELE 2", "+OK\r\n").exchange("DELE 5", "+OK\r\n").halfClose();
    TIdPOP3 client;
    connectTo(client, server);
    EXPECT_TRUE(client.DeleteMessage(2));
    EXPECT_TRUE(client.DeleteMessage(5));
    EXPECT_EQ(messageOf([&] { (void)client.ReadLine(); }), "Connection Closed Gracefully.");
    EXPECT_FALSE(client.IsConnected());
    client.Disconnect();
    EXPECT_EQ(server.waitAndLines(), (Lines{"USER bob", "PASS secret", "DELE 2", "DELE 5"}));
}

TEST(POP3, DisconnectWhenNotConnectedSendsNothing) {
    TIdPOP3 client;
    int disconnected = 0;
    client.OnDisconnected = [&](TIdComponent&) { ++disconnected; };
    EXPECT_EQ(messageOf([&] { client.Disconnect(); }), "no exception");
    EXPECT_EQ(disconnected, 1);
}

// The same object logs in again after a failed login, as the commands
// reconnect a client of an earlier check run.
TEST(POP3, ReconnectAfterFailedLogin) {
    FakeServer server;
    server.send(kGreeting).exchange("USER bob", "-ERR try later\r\n").expect("QUIT").nextConnection();
    loggedIn(server).expect("QUIT");
    TIdPOP3 client;
    EXPECT_EQ(loginFailure(client, server), "reply error 2:  try later\r\n");
    client.Connect();
    EXPECT_TRUE(client.IsConnected());
    client.Disconnect();
    EXPECT_EQ(server.waitAndLines(), (Lines{"USER bob", "QUIT", "USER bob", "PASS secret", "QUIT"}));
}

// A user name holding a line break would start a second command on the
// server; it is refused before anything is sent, and the login is ended.
TEST(POP3, LineBreakInUserNameIsNotSent) {
    FakeServer server;
    server.send(kGreeting);
    TIdPOP3 client;
    server.start();
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.Username = "bob\r\nDELE 1";
    EXPECT_EQ(failureOf([&] { client.Connect(); }), "A command line must not contain CR or LF.");
    EXPECT_EQ(server.waitAndLines(), Lines{"QUIT"});
}

// APOP: the digest is MD5 over the timestamp of the greeting's first line,
// brackets included, followed by the password.
TEST(POP3, APOPLogin) {
    struct Row {
        const char* name;
        std::string greeting;
        std::string digest;
    };
    const Row rows[] = {
        {"worked example of RFC 1939", "+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>",
         "c4c9334bac560ecc979e58001b3e22fb"},
        // <1896.697170952.77>
        {"short timestamp", "+OK POP3 ready <1896.697170952.77>", "0c471e45a363e2a193f619295ff90431"},
        // <Ab+/cd=@host.example>
        {"+ / = inside", "+OK Ready. <Ab+/cd=@host.example>", "b67fbd44a6e36d3dc91b4910bbf9cf41"},
        // <x<y>
        {"first < to the first > after it", "+OK a> <x<y> <z>", "32ce7c8524ce3ffc9e73bfbf951e0fa5"},
    };
    for (const Row& row : rows) {
        FakeServer server;
        server.send(row.greeting + "\r\n").receive(1).send("+OK maildrop locked\r\n");
        TIdPOP3 client;
        client.APOP = true;
        server.start();
        client.Host = "127.0.0.1";
        client.Port = server.port();
        client.Username = "mrose";
        client.Password = "tanstaaf";
        client.Connect();
        EXPECT_EQ(server.lines(), Lines{"APOP mrose " + row.digest}) << row.name;
    }
}

TEST(POP3, APOPWithoutTimestamp) {
    for (const std::string greeting : {"+OK ready", "+OK ready <unclosed", "+OK ready >"}) {
        FakeServer server;
        server.send(greeting + "\r\n");
        TIdPOP3 client;
        client.APOP = true;
        EXPECT_EQ(loginFailure(client, server), "Server do not support APOP (no timestamp)") << greeting;
        EXPECT_FALSE(client.IsConnected());
        EXPECT_EQ(server.waitAndLines(), Lines{"QUIT"}) << greeting;
    }
}

// A transport whose send fails for QUIT, with an error that does not close
// the socket by itself.
class QuitFailingHandler : public TIdIOHandlerSocket {
public:
    int Send(const char* data, std::size_t size) override {
        if (std::string_view(data, size).starts_with("QUIT")) {
            TIdStack::SetLastError(10055);
            return -1;
        }
        return TIdIOHandlerSocket::Send(data, size);
    }
};

TEST(POP3, DisconnectClosesWhenQuitFails) {
    FakeServer server;
    loggedIn(server);
    QuitFailingHandler handler;
    TIdPOP3 client;
    client.SetIOHandler(&handler);
    int disconnected = 0;
    client.OnDisconnected = [&](TIdComponent&) { ++disconnected; };
    connectTo(client, server);
    EXPECT_NE(failureOf([&] { client.Disconnect(); }), "no exception");
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(disconnected, 1);
    EXPECT_EQ(server.waitAndLines(), (Lines{"USER bob", "PASS secret"}));
}

// When the goodbye fails after a refused login, the refusal is what the
// caller sees.
TEST(POP3, LoginFailureSurvivesFailedQuit) {
    FakeServer server;
    server.send(kGreeting).exchange("USER bob", "-ERR locked\r\n");
    QuitFailingHandler handler;
    TIdPOP3 client;
    client.SetIOHandler(&handler);
    EXPECT_EQ(loginFailure(client, server), "reply error 2:  locked\r\n");
    EXPECT_FALSE(client.IsConnected());
}

TEST(ParseUniqueIdListing, NumbersAndIds) {
    const std::vector<std::string> lines = {
        "1 abc",  "2   def  trailing", "3",    "x ghi", "-4 neg", "5\tjkl",
        "1 again", "  6 mno",          "0 zero", "99999999999 big", "",
    };
    const TUniqueIds expected = {{1, "abc"}, {2, "def"}, {5, "jkl"}, {6, "mno"}};
    EXPECT_EQ(ParseUniqueIdListing(lines), expected);
}

// A listing out of order still gives ids by number, the first line of a
// repeated number winning wherever it stands; lookups find only listed
// numbers.
TEST(ParseUniqueIdListing, OutOfOrderAndRepeatedNumbers) {
    const std::vector<std::string> lines = {"7 g", "3 c", "7 again", "1 a", "3 again", "5 e"};
    const TUniqueIds ids = ParseUniqueIdListing(lines);
    const TUniqueIds expected = {{1, "a"}, {3, "c"}, {5, "e"}, {7, "g"}};
    EXPECT_EQ(ids, expected);
    for (const auto& [number, id] : expected) {
        ASSERT_NE(FindUniqueId(ids, number), nullptr) << number;
        EXPECT_EQ(*FindUniqueId(ids, number), id);
    }
    for (std::int32_t missing : {0, 2, 4, 6, 8}) EXPECT_EQ(FindUniqueId(ids, missing), nullptr) << missing;
    EXPECT_EQ(FindUniqueId(TUniqueIds{}, 1), nullptr);
}

// --- Commands in line

// Whether the client has sent nothing the server has not read yet, looked at
// for a moment: a command sent before the reply it must wait for shows up.
bool nothingWaiting(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 50) == 0;
}

// The check run's exchanges through the line: with the depth 1 each command
// goes out only once the reply before it is in; with a larger depth that
// many are in flight at once; a refusal, a too long status line or the
// server's close in the middle of a window ends the line there, and an
// over-long header line is cut without ending anything.
TEST(POP3Line, RepliesInOrderWithinTheDepth) {
    const std::string longLine = "X-Long: " + std::string(20000, 'x') + "\r\n";
    const std::string tooLongStatus = "+OK " + std::string(20000, '1') + "\r\n";
    struct Row {
        const char* name;
        int depth;
        std::string secondTop;  // the reply to "TOP 2 0"
        bool serverCloses;      // after that reply
        std::string error;      // empty: all three messages are read
    };
    const Row rows[] = {
        {"one at a time", 1, "+OK\r\nSubject: two\r\n.\r\n", false, ""},
        {"a window of four", 4, "+OK\r\nSubject: two\r\n.\r\n", false, ""},
        {"over-long header line in a window", 4, "+OK\r\n" + longLine + "Subject: two\r\n.\r\n", false, ""},
        {"refused TOP in a window", 4, "-ERR gone\r\n", false, " gone\r\n"},
        {"too long status in a window", 4, tooLongStatus, false, "Max line length exceeded."},
        {"server closes in a window", 4, "+OK\r\nSubject: two\r\n", true, "Connection Closed Gracefully."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeServer server;
        loggedIn(server);
        const auto top = [](int n) { return "TOP " + std::to_string(n) + " 0"; };
        const auto list = [](int n) { return "LIST " + std::to_string(n); };
        if (row.depth == 1) {
            for (int n = 1; n <= 3; ++n) {
                server.expect(top(n)).custom([&](int fd) { EXPECT_TRUE(nothingWaiting(fd)) << n; });
                server.send(n == 2 ? row.secondTop : "+OK\r\nSubject: s\r\n.\r\n");
                server.expect(list(n)).custom([&](int fd) { EXPECT_TRUE(nothingWaiting(fd)) << n; });
                server.send("+OK " + std::to_string(n) + " " + std::to_string(100 * n) + "\r\n");
            }
        } else {
            // Four commands arrive before the first reply goes out.
            server.expect(top(1)).expect(list(1)).expect(top(2)).expect(list(2))
                .custom([](int fd) { EXPECT_TRUE(nothingWaiting(fd)); })
                .send("+OK\r\nSubject: s\r\n.\r\n+OK 1 100\r\n" + row.secondTop);
            if (row.serverCloses) {
                server.close();
            } else if (row.error.empty()) {
                server.send("+OK 2 200\r\n").expect(top(3)).expect(list(3))
                    .send("+OK\r\nSubject: s\r\n.\r\n+OK 3 300\r\n");
            }
        }
        TIdPOP3 client;
        client.LongHeaderLines = TIdMessageClient::TIdLongHeaderLines::Cut;
        connectTo(client, server);
        client.SetPipelineDepth(row.depth);
        for (int n = 1; n <= 3; ++n) {
            client.Enqueue(TIdPOP3Command::Top, n);
            client.Enqueue(TIdPOP3Command::List, n);
        }
        std::vector<int> sizes;
        const std::string error = failureOf([&] {
            for (int n = 1; n <= 3; ++n) {
                TIdMessage msg;
                client.ReceiveHeader(msg);
                sizes.push_back(client.ReceiveSize());
            }
        });
        if (row.error.empty()) {
            EXPECT_EQ(error, "no exception");
            EXPECT_EQ(sizes, (std::vector<int>{100, 200, 300}));
        } else if (row.serverCloses) {
            // The command sent ahead may meet the close first: the kernel
            // then resets the connection, and what was still on its way in
            // can be lost with it. Either way the connection is gone.
            EXPECT_TRUE(error == row.error || error.starts_with("Socket Error # ")) << error;
            EXPECT_LE(sizes.size(), 1u);
        } else {
            EXPECT_NE(error.find(row.error), std::string::npos) << error;
            EXPECT_EQ(sizes, std::vector<int>{100});
        }
        EXPECT_EQ(client.CommandsInLine(), 0u) << "nothing left waiting";
        client.Abandon();
        server.waitDone(std::chrono::milliseconds(500));
        EXPECT_EQ(server.problems(), Lines{});
    }
}

// RFC 2449: "CAPA" right after the greeting, its lines up to "." read; a
// server without it answers "-ERR" and offers nothing.
TEST(POP3Line, CapabilitiesAfterTheGreeting) {
    const struct {
        const char* name;
        std::string reply;
        bool pipelining;
    } rows[] = {
        {"listed", "+OK\r\nTOP\r\nUIDL\r\npipelining\r\n.\r\n", true},
        {"not listed", "+OK\r\nTOP\r\nUIDL\r\n.\r\n", false},
        {"refused", "-ERR unknown command\r\n", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeServer server;
        server.send(kGreeting).exchange("CAPA", row.reply).exchange("USER bob", "+OK\r\n")
            .exchange("PASS secret", "+OK\r\n").exchange("STAT", "+OK 0 0\r\n");
        TIdPOP3 client;
        client.AskCapabilities = true;
        connectTo(client, server);
        EXPECT_EQ(client.HasCapability("PIPELINING"), row.pipelining);
        EXPECT_EQ(client.MessageCount(), 0);
        client.Abandon();
        EXPECT_EQ(server.waitAndLines(), (Lines{"CAPA", "USER bob", "PASS secret", "STAT"}));
    }
}

// With STARTTLS nothing but "STLS" goes out before the encryption is up: a
// refusal, bytes slipped in after "+OK", or a failed handshake end the
// connection before "USER".
TEST(POP3, StartTLSNeverFallsBackToAPlainLogin) {
    const LoginRow rows[] = {
        {"refused", [](FakeServer& s) { s.send(kGreeting).exchange("STLS", "-ERR Unknown command\r\n"); },
         {"STLS", "QUIT"},
         "The server refused to encrypt the connection (STLS), so the user name and password were not sent. "
         "Its answer: Unknown command"},
        {"bytes after +OK", [](FakeServer& s) { s.send(kGreeting).exchange("STLS", "+OK Begin TLS\r\n+OK\r\n"); },
         {"STLS"},
         "The server sent more than its answer to STLS before the encryption began; the connection was closed."},
        {"closed in the handshake", [](FakeServer& s) { s.send(kGreeting).exchange("STLS", "+OK Begin\r\n").close(); },
         {"STLS"},
         "The encrypted connection could not be set up: the server closed the connection"},
    };
    expectLoginFailures(rows, TIdUseTLS::utStartTLS);
}

// A plain server on a TLS port: the handshake fails and not even the
// greeting is taken for one.
TEST(POP3, ImplicitTLSToAPlainServerFailsInTheHandshake) {
    FakeServer server;
    server.send(kGreeting).pause(std::chrono::milliseconds(200)).close();
    TIdPOP3 client;
    client.UseTLS = TIdUseTLS::utImplicitTLS;
    EXPECT_EQ(loginFailure(client, server).rfind("The encrypted connection could not be set up: ", 0), 0u);
    EXPECT_FALSE(client.IsConnected());
}

// A server that never answers the handshake: it ends at the read time
// limit, as a read would, and the idle hook runs while it waits.
TEST(POP3, TLSHandshakeWaitsAsReadsDo) {
    FakeServer server;
    server.stall();
    TIdPOP3 client;
    client.UseTLS = TIdUseTLS::utImplicitTLS;
    client.ReadTimeout = 300;
    int calls = 0;
    TIdStack::SetIdleHook([&] { ++calls; });
    EXPECT_EQ(loginFailure(client, server), "Read Timeout");
    EXPECT_GE(calls, 1) << "the idle hook runs while the handshake waits";
    EXPECT_FALSE(client.IsConnected());
    // A hook that ends the command (the user's stop) ends the handshake.
    FakeServer stalled;
    stalled.stall().start();
    client.Port = stalled.port();
    TIdStack::SetIdleHook([&] {
        if (++calls > 6) throw std::runtime_error("stopped");
    });
    EXPECT_THROW(client.Connect(), std::runtime_error);
    TIdStack::SetIdleHook(nullptr);
    EXPECT_FALSE(client.IsConnected());
}

}  // namespace
