#pragma once
// A minimal blocking POP3 client on plain POSIX sockets, the yardstick for
// the check-run benchmarks: it does the exchanges of a check run and nothing
// else (no parsing of the headers, no objects, no progress events), so its
// rate is what the round trips to the server allow.
//
//     MinimalPop3 pop;
//     long n = minimal_pop3_check_run(&pop, "127.0.0.1", port, "alice", "secret");
//
// The exchanges, one after the other on one connection: greeting, USER,
// PASS, UIDL (read up to "."), STAT, then for n = 1 to the count "TOP n 0"
// (read up to ".") and "LIST n", then QUIT. Header-only and usable from
// C++ benchmark programs of the project without linking any project code.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

struct MinimalPop3 {
    int fd = -1;
    std::size_t start = 0;  // first unread byte in buf
    std::size_t end = 0;    // one past the last received byte
    char buf[65536];
};

// Connects to host:port (a dotted IPv4 address) and reads the greeting.
// Returns 0, or -1 when the connection fails or the greeting is not "+OK".
int minimal_pop3_connect(MinimalPop3* p, const char* host, int port);
// Sends QUIT, reads its reply and closes. Safe on a closed client.
void minimal_pop3_quit(MinimalPop3* p);
// Closes without QUIT.
void minimal_pop3_close(MinimalPop3* p);
// Sends one command line (CR LF added) and reads the one-line reply into
// `reply` (without CR LF, cut to `cap` - 1 bytes). Returns 1 for "+OK",
// 0 for "-ERR" and anything else, -1 when the connection failed.
int minimal_pop3_command(MinimalPop3* p, const char* command, char* reply, std::size_t cap);
// Reads lines up to and including the line "."; returns the number of
// lines before it, or -1 when the connection failed.
long minimal_pop3_read_multiline(MinimalPop3* p);
// One whole check run on a new connection; returns the message count, or -1
// on any failure (with a line on stderr).
long minimal_pop3_check_run(MinimalPop3* p, const char* host, int port, const char* user, const char* password);

// ---------------------------------------------------------------------------

// The next line in the buffer, receiving more as needed. *line points into
// the buffer (valid until the next read) and *len counts the bytes before LF
// (a CR before it included). Returns 0, or -1 on a failure or a line longer
// than the buffer.
inline int minimal_pop3_next_line(MinimalPop3* p, const char** line, std::size_t* len) {
    for (;;) {
        const char* from = p->buf + p->start;
        const char* lf = static_cast<const char*>(std::memchr(from, '\n', p->end - p->start));
        if (lf) {
            *line = from;
            *len = static_cast<std::size_t>(lf - from);
            p->start += *len + 1;
            return 0;
        }
        if (p->start > 0) {
            std::memmove(p->buf, p->buf + p->start, p->end - p->start);
            p->end -= p->start;
            p->start = 0;
        }
        if (p->end == sizeof p->buf) return -1;
        const ssize_t n = ::recv(p->fd, p->buf + p->end, sizeof p->buf - p->end, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        p->end += static_cast<std::size_t>(n);
    }
}

inline int minimal_pop3_send(MinimalPop3* p, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(p->fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

inline int minimal_pop3_reply(MinimalPop3* p, char* reply, std::size_t cap) {
    const char* line;
    std::size_t len;
    if (minimal_pop3_next_line(p, &line, &len) != 0) return -1;
    if (len > 0 && line[len - 1] == '\r') --len;
    if (reply && cap > 0) {
        const std::size_t n = len < cap - 1 ? len : cap - 1;
        std::memcpy(reply, line, n);
        reply[n] = '\0';
    }
    return len >= 3 && std::memcmp(line, "+OK", 3) == 0 ? 1 : 0;
}

inline int minimal_pop3_connect(MinimalPop3* p, const char* host, int port) {
    p->start = p->end = 0;
    p->fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (p->fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<unsigned short>(port));
    if (::inet_pton(AF_INET, host, &a.sin_addr) != 1 ||
        ::connect(p->fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || minimal_pop3_reply(p, nullptr, 0) != 1) {
        minimal_pop3_close(p);
        return -1;
    }
    return 0;
}

inline void minimal_pop3_close(MinimalPop3* p) {
    if (p->fd >= 0) ::close(p->fd);
    p->fd = -1;
}

inline int minimal_pop3_command(MinimalPop3* p, const char* command, char* reply, std::size_t cap) {
    char line[512];
    const int n = std::snprintf(line, sizeof line, "%s\r\n", command);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof line) return -1;
    if (minimal_pop3_send(p, line, static_cast<std::size_t>(n)) != 0) return -1;
    return minimal_pop3_reply(p, reply, cap);
}

inline long minimal_pop3_read_multiline(MinimalPop3* p) {
    long count = 0;
    for (;;) {
        const char* line;
        std::size_t len;
        if (minimal_pop3_next_line(p, &line, &len) != 0) return -1;
        if (line[0] == '.' && (len == 1 || (len == 2 && line[1] == '\r'))) return count;
        ++count;
    }
}

inline void minimal_pop3_quit(MinimalPop3* p) {
    if (p->fd < 0) return;
    minimal_pop3_command(p, "QUIT", nullptr, 0);
    minimal_pop3_close(p);
}

inline long minimal_pop3_check_run(MinimalPop3* p, const char* host, int port, const char* user,
                                   const char* password) {
    char command[300];
    char reply[256] = "connection failed";
    if (minimal_pop3_connect(p, host, port) != 0) {
        std::fprintf(stderr, "minimal POP3 client: cannot connect to %s:%d\n", host, port);
        return -1;
    }
    long count = -1;
    std::snprintf(command, sizeof command, "USER %s", user);
    if (minimal_pop3_command(p, command, reply, sizeof reply) != 1) goto failed;
    std::snprintf(command, sizeof command, "PASS %s", password);
    if (minimal_pop3_command(p, command, reply, sizeof reply) != 1) goto failed;
    // A server without UIDL answers -ERR and sends no listing.
    switch (minimal_pop3_command(p, "UIDL", reply, sizeof reply)) {
        case 1:
            if (minimal_pop3_read_multiline(p) < 0) goto failed;
            break;
        case 0:
            break;
        default:
            goto failed;
    }
    if (minimal_pop3_command(p, "STAT", reply, sizeof reply) != 1) goto failed;
    count = std::strtol(reply + 3, nullptr, 10);
    for (long n = 1; n <= count; ++n) {
        std::snprintf(command, sizeof command, "TOP %ld 0", n);
        if (minimal_pop3_command(p, command, reply, sizeof reply) != 1 || minimal_pop3_read_multiline(p) < 0) {
            count = -1;
            goto failed;
        }
        std::snprintf(command, sizeof command, "LIST %ld", n);
        if (minimal_pop3_command(p, command, reply, sizeof reply) != 1) {
            count = -1;
            goto failed;
        }
    }
    minimal_pop3_quit(p);
    return count;
failed:
    std::fprintf(stderr, "minimal POP3 client: %s\n", reply);
    minimal_pop3_close(p);
    return -1;
}
