#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A scripted TCP server on 127.0.0.1 for network tests. The test builds the
// script fluently, starts the server, runs the client against port(), then
// asserts the exact conversation:
//
//     FakeServer server;
//     server.send("+OK ready\r\n")
//           .exchange("USER bob", "+OK\r\n")
//           .exchange("PASS secret", "+OK\r\n")
//           .expect("QUIT")
//           .close()
//           .start();
//     ... client connects to server.port() ...
//     EXPECT_EQ(server.waitAndLines(), (std::vector<std::string>{"USER bob", "PASS secret", "QUIT"}));
//     EXPECT_EQ(server.problems(), std::vector<std::string>{});
//
// Steps run in order on the accepted connection; nextConnection() closes it
// and waits for the client's next one. When the script ends with the
// connection still open, the server goes on recording lines until the
// client closes. Every received line is recorded without its CR LF (a final
// piece without LF too). The destructor stops the server at once, even in
// the middle of a wait or a stall.
class FakeServer {
public:
    FakeServer();
    ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    // Sends bytes as given.
    FakeServer& send(std::string bytes);
    // Sends bytes one at a time with `gap` between them, so that the client
    // receives them in separate pieces.
    FakeServer& sendSlowly(std::string bytes, std::chrono::milliseconds gap = std::chrono::milliseconds(2));
    // Reads one line and notes a problem unless it equals `line`.
    FakeServer& expect(std::string line);
    // Reads `count` lines without checking them.
    FakeServer& receive(int count = 1);
    // expect(line), then send(reply): one command and its answer.
    FakeServer& exchange(std::string line, std::string reply);
    // Waits without reading or sending.
    FakeServer& pause(std::chrono::milliseconds duration);
    // Holds the connection open without a word until the server stops.
    FakeServer& stall();
    // Closes the connection in the orderly way.
    FakeServer& close();
    // Shuts down the sending direction only; lines are still received.
    FakeServer& halfClose();
    // Aborts the connection with a reset (RST).
    FakeServer& reset();
    // Closes the current connection (if open) and accepts the next one.
    FakeServer& nextConnection();
    // Any other step: `step` gets the connection's socket.
    FakeServer& custom(std::function<void(int fd)> step);

    // Starts running the script on a thread of its own.
    FakeServer& start();
    // Waits until the script and the recording after it have ended (the
    // client closed); false when `limit` passed first.
    bool waitDone(std::chrono::milliseconds limit = std::chrono::seconds(10));

    [[nodiscard]] int port() const { return port_; }
    // Every line received so far, over all connections.
    [[nodiscard]] std::vector<std::string> lines() const;
    // waitDone(), then lines().
    [[nodiscard]] std::vector<std::string> waitAndLines();
    // Mismatches of expect() and failures of the server's own calls.
    [[nodiscard]] std::vector<std::string> problems() const;
    // Connections accepted so far.
    [[nodiscard]] int connections() const;

private:
    struct Stopped {};
    struct Session;
    using Step = std::function<void(Session&)>;

    FakeServer& add(Step step);
    void run();
    void runSteps();
    void accept(Session& session);
    void waitReadable(int fd, int msec);
    void waitWritable(int fd);
    bool readLine(Session& session, std::string& line);
    void record(std::string line);
    void problem(std::string text);

    int listener_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    int port_ = 0;
    std::vector<Step> steps_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable doneChanged_;
    std::vector<std::string> lines_;
    std::vector<std::string> problems_;
    int connections_ = 0;
    bool done_ = false;
};
