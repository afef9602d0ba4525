#include "NetTestUtil.h"
#include "FakeServer.h"

#include "net/IdExceptions.h"
#include "net/IdIOHandlerSocket.h"
#include "net/IdSocketHandle.h"
#include "net/IdStack.h"
#include "net/IdTCPClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

struct StatusLog {
    std::vector<std::string> texts;
    TIdStatusEvent handler() {
        return [this](TIdComponent&, TIdStatus, const std::string& text) { texts.push_back(text); };
    }
};

// A port on 127.0.0.1 on which nothing listens (bound, then released).
int unusedPort() {
    TIdSocketHandle handle;
    handle.AllocateSocket(SOCK_STREAM);
    handle.IP = "127.0.0.1";
    handle.Bind();
    return handle.Port;
}

}  // namespace

TEST(IdStack, LivesFromFirstToLastNetworkObject) {
    const int before = TIdStack::UsageCount();
    {
        TIdTCPClient first;
        ASSERT_NE(TIdStack::Instance(), nullptr);
        {
            TIdTCPClient second;
            EXPECT_EQ(TIdStack::UsageCount(), before + 2);
        }
        EXPECT_EQ(TIdStack::UsageCount(), before + 1);
    }
    EXPECT_EQ(TIdStack::UsageCount(), before);
    if (before == 0) {
        EXPECT_EQ(TIdStack::Instance(), nullptr);
    }
}

TEST(IdStack, ErrorMessages) {
    struct Row {
        const char* name;
        int error;
        std::string message;
    };
    const Row rows[] = {
        {"refused", 10061, "Socket Error # 10061\r\nConnection refused."},
        {"host not found", 11001, "Socket Error # 11001\r\nHost not found."},
        {"trailing blank kept", 10035, "Socket Error # 10035\r\nOperation would block. "},
        {"no full stop", 10066, "Socket Error # 10066\r\nDirectory not empty"},
        {"outside the table", 10101, "Socket Error # 10101\r\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TIdStack::SocketErrorMessage(row.error), row.message) << row.name;
        try {
            TIdStack::RaiseSocketError(row.error);
        } catch (const EIdSocketError& e) {
            EXPECT_EQ(e.LastError(), row.error) << row.name;
            EXPECT_EQ(e.Message(), row.message) << row.name;
        }
    }
}

TEST(IdStack, ErrnoMapsOntoErrorNumbersByMeaning) {
    struct Row {
        int err;
        int number;
    };
    const Row rows[] = {
        {ECONNREFUSED, 10061}, {ECONNRESET, 10054}, {ECONNABORTED, 10053}, {ETIMEDOUT, 10060},
        {ENETUNREACH, 10051},  {EHOSTUNREACH, 10065}, {EADDRINUSE, 10048}, {EPIPE, 10058},
        {EWOULDBLOCK, 10035},  {ENOTSOCK, 10038},
    };
    for (const Row& row : rows) EXPECT_EQ(TIdStack::TranslateErrno(row.err), row.number) << row.err;
    // An errno without a row keeps a number outside the table, with no text.
    const int unmapped = TIdStack::TranslateErrno(EIO);
    EXPECT_EQ(unmapped, TIdStack::kUnmappedErrorBase + EIO);
    EXPECT_EQ(TIdStack::WSTranslateSocketErrorMsg(unmapped), "");
}

TEST(IdStack, DottedAddressClassification) {
    struct Row {
        const char* text;
        bool dotted;
    };
    const Row rows[] = {
        {"127.0.0.1", true},     {"0.0.0.0", true},      {"255.255.255.255", true},
        {"10.0.0.300", false},   {"10.0.0", false},      {"10.0.0.1.5", false},
        {"a.b.c.d", false},      {"10..0.1", false},     {"-1.0.0.1", false},
        {"localhost", false},    {"", false},            {"1.2.3.4 ", false},
    };
    for (const Row& row : rows) EXPECT_EQ(TIdStack::IsIP(row.text), row.dotted) << row.text;
}

TEST(IdStack, ResolveHost) {
    EXPECT_EQ(TIdStack::ResolveHost("LocalHost"), "127.0.0.1");
    EXPECT_EQ(TIdStack::ResolveHost("192.168.7.9"), "192.168.7.9");
    // 300 is no address byte, so the text goes to the lookup, which fails.
    EXPECT_EQ(messageOf([] { (void)TIdStack::ResolveHost("10.0.0.300"); }),
              "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(messageOf([] { (void)TIdStack::ResolveHost("no-such-host.invalid"); }),
              "Socket Error # 11001\r\nHost not found.");
}

TEST(IdIOHandlerSocket, LoopbackNameConnectsWithoutLookupButReportsResolving) {
    FakeServer server;
    server.send("+OK\r\n").start();
    StatusLog log;
    TIdTCPClient client;
    client.Host = "localhost";
    client.Port = server.port();
    client.OnStatus = log.handler();
    client.Connect();
    EXPECT_EQ(log.texts, (std::vector<std::string>{"Resolving hostname localhost.", "Connecting to 127.0.0.1.",
                                                   "Connected."}));
    EXPECT_EQ(client.ReadLine(), "+OK");
    client.Disconnect();
    EXPECT_EQ(log.texts.back(), "Disconnected.");
}

TEST(IdIOHandlerSocket, ConnectFailures) {
    const int refusedPort = unusedPort();
    struct Row {
        const char* name;
        std::string host;
        int port;
        std::string message;
    };
    const Row rows[] = {
        {"refused", "127.0.0.1", refusedPort, "Socket Error # 10061\r\nConnection refused."},
        {"unknown host", "mailbox.invalid", 110, "Socket Error # 11001\r\nHost not found."},
        {"port that would wrap onto 110", "127.0.0.1", 65646, "Invalid port number 65646."},
        {"port 0", "127.0.0.1", 0, "Invalid port number 0."},
        {"negative port", "127.0.0.1", -5, "Invalid port number -5."},
    };
    for (const Row& row : rows) {
        TIdTCPClient client;
        client.Host = row.host;
        client.Port = row.port;
        EXPECT_EQ(messageOf([&] { client.Connect(); }), row.message) << row.name;
        EXPECT_FALSE(client.IsConnected()) << row.name;
    }
}

TEST(IdIOHandlerSocket, ConnectWithTimeLimitReportsRefusal) {
    TIdTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = unusedPort();
    EXPECT_EQ(messageOf([&] { client.Connect(2000); }), "Socket Error # 10061\r\nConnection refused.");
}

TEST(IdSocketHandle, BindInPortRange) {
    const int port = unusedPort();
    TIdSocketHandle occupant;
    occupant.AllocateSocket(SOCK_STREAM);
    occupant.IP = "127.0.0.1";
    occupant.Port = port;
    occupant.Bind();

    // The range is tried from its top down: the occupied top port is skipped.
    TIdSocketHandle ranged;
    ranged.AllocateSocket(SOCK_STREAM);
    ranged.IP = "127.0.0.1";
    ranged.ClientPortMin = port - 1;
    ranged.ClientPortMax = port;
    ranged.Bind();
    EXPECT_EQ(ranged.Port, port - 1);

    const auto bindMessage = [](int fixedPort, int min, int max) {
        TIdSocketHandle handle;
        handle.AllocateSocket(SOCK_STREAM);
        handle.IP = "127.0.0.1";
        handle.Port = fixedPort;
        handle.ClientPortMin = min;
        handle.ClientPortMax = max;
        return messageOf([&] { handle.Bind(); });
    };
    EXPECT_EQ(bindMessage(port, 0, 0), "Could not bind socket. Address and port are already in use.");
    EXPECT_EQ(bindMessage(0, port, port), "Can not bind in port range (" + std::to_string(port) + " - " +
                                              std::to_string(port) + ")");
    EXPECT_EQ(bindMessage(0, 2000, 1000), "Invalid Port Range (2000 - 1000)");
    EXPECT_EQ(bindMessage(0, 1000, 70000), "Invalid Port Range (1000 - 70000)");
}

TEST(IdIOHandlerSocket, SendToPeerThatResetGivesSocketErrorNotSigpipe) {
    FakeServer server;
    server.reset().start();
    TIdTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.Connect();
    ASSERT_TRUE(server.waitDone());
    std::string message;
    // The first sends may still be accepted by the kernel; keep sending
    // until the reset shows.
    for (int i = 0; i < 50 && message.empty(); ++i) {
        try {
            client.WriteLine("NOOP");
        } catch (const EIdSocketError& e) {
            message = e.Message();
        } catch (const EIdConnClosedGracefully& e) {
            message = e.Message();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(message == "Socket Error # 10054\r\nConnection reset by peer." ||
                message == "Socket Error # 10058\r\nCannot send or receive after socket is closed.")
        << message;
    EXPECT_FALSE(client.IsConnected());
}

TEST(IdIOHandlerSocket, IdleHookRunsWhileReadWaitsOnSilentServer) {
    FakeServer server;
    server.pause(std::chrono::milliseconds(400)).send("late\r\n").start();
    int calls = 0;
    TIdStack::SetIdleHook([&calls] { ++calls; });
    TIdTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.Connect();
    const std::string line = client.ReadLine();
    TIdStack::SetIdleHook(nullptr);
    EXPECT_EQ(line, "late");
    // 400 ms of waiting in slices of at most 50 ms.
    EXPECT_GE(calls, 5);
}

TEST(IdIOHandlerSocket, ReadTimeoutHoldsWhileTheIdleHookRuns) {
    FakeServer server;
    server.stall().start();
    int calls = 0;
    TIdStack::SetIdleHook([&calls] { ++calls; });
    TIdTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.Connect();
    client.ReadTimeout = 180;
    std::string message;
    try {
        (void)client.ReadLine();
    } catch (const EIdException& e) {
        message = e.what();
    }
    TIdStack::SetIdleHook(nullptr);
    EXPECT_EQ(message, "Read Timeout");
    EXPECT_GE(calls, 3);
}

TEST(IdIOHandlerSocket, ConnectionClosedByTheIdleHookEndsTheRead) {
    FakeServer server;
    server.stall().start();
    TIdTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.Connect();
    int calls = 0;
    // As when the window is closed while a command waits: the hook closes
    // the connection, and the read must end instead of waiting on it.
    TIdStack::SetIdleHook([&] {
        if (++calls == 2) client.Disconnect();
    });
    EXPECT_THROW((void)client.ReadLine(), EIdException);
    TIdStack::SetIdleHook(nullptr);
    EXPECT_EQ(calls, 2);
}
