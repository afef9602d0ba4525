#pragma once
// Access to the private Dovecot that scripts/dovecot-test-server.sh runs for
// the tests: its account data from the environment, its Maildirs and its log.

#include "net/IdPOP3.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace dovecot {

struct Server {
    std::string host;
    int port = 0;
    std::string user, password, maildir;
    std::string user2, password2, maildir2;
    std::string manifest, log;
    // TLS: the port of the server itself, the test authority (made the
    // trusted one when the data is first read) and the ports of the servers
    // with faulty certificates.
    int tlsPort = 0, expiredPort = 0, otherNamePort = 0, selfSignedPort = 0;
    std::string caFile;
};

// The server's data (empty when the program was not started through the
// server script) and whether there is a server.
[[nodiscard]] const Server& server();
[[nodiscard]] bool available();

// A POP3 client for the account, with the settings the program uses and a
// read time limit so that a silent server fails the test instead of hanging.
[[nodiscard]] std::unique_ptr<TIdPOP3> client(const std::string& user, const std::string& password);

// The messages of a Maildir in the server's order: by file name (the part
// before ":"), wherever the server has moved them (new/ or cur/).
[[nodiscard]] std::vector<std::filesystem::path> mailFiles(const std::string& maildir);
[[nodiscard]] std::string readFile(const std::filesystem::path& path);

// The size the server reports for a stored message: every line end counted
// as CR LF; a last line without a line end adds nothing.
[[nodiscard]] long wireSize(const std::string& content);
// The header lines of a stored message as sent: up to the first empty line
// (the whole file when there is none), without line ends.
[[nodiscard]] std::vector<std::string> headerLines(const std::string& content);

// One line of the generator's manifest.
struct Expected {
    std::string file, messageId, from;
    std::vector<std::string> to, cc;
    long long date = 0;        // seconds since 1970 UTC
    bool subjectKnown = false;
    std::string subject;       // bytes, when known
};
[[nodiscard]] std::vector<Expected> manifest();
// The same from any manifest file the generator wrote.
[[nodiscard]] std::vector<Expected> manifest(const std::string& path);

// Counts the server's "Disconnected" log lines of one user's POP3 sessions;
// waitForMore waits (up to 10 s) until there are more than `count` and
// returns the newest one ("" on time-out). A session is over on the server,
// deletions included, once its line is there.
class SessionLog {
public:
    explicit SessionLog(std::string user) : user_(std::move(user)) {}
    [[nodiscard]] int count() const;
    [[nodiscard]] std::string waitForMore(int count) const;

private:
    [[nodiscard]] std::vector<std::string> lines() const;
    std::string user_;
};

// Waits (up to 10 s) until the server's log holds a line containing
// `needle`; returns whether it came. The login process logs a login only
// after it has handed the client over, so that line can arrive after the
// session's own lines.
[[nodiscard]] bool waitForLogLine(const std::string& needle);

// Replaces the messages of a Maildir by `messages` (whole files, written
// into new/ in name order with mode 0644 so that the server's user can read
// them); the server numbers them 1 to n in the given order.
void refillMaildir(const std::string& maildir, const std::vector<std::string>& messages);

}  // namespace dovecot
