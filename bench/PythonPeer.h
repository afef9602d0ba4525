#pragma once
// Python's poplib beside a check-run benchmark, and the median the
// benchmarks report.
#include "BenchSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// Python's poplib doing a check run (bench/python/poplib_peer.py --serve),
// kept running beside the benchmark: each "run" line makes it do one whole
// check run and answer with the message count and the seconds the run took
// by its own clock, so that the interpreter's start is not counted.
class PythonPeer {
public:
    explicit PythonPeer(const ServerAccount& account) {
        int toPeer[2], fromPeer[2];
        if (::pipe(toPeer) != 0) return;
        if (::pipe(fromPeer) != 0) {
            ::close(toPeer[0]);
            ::close(toPeer[1]);
            return;
        }
        const std::string script = SKIMLET_SOURCE_DIR "/bench/python/poplib_peer.py";
        const std::string port = std::to_string(account.port);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(toPeer[0], 0);
            ::dup2(fromPeer[1], 1);
            for (int fd : {toPeer[0], toPeer[1], fromPeer[0], fromPeer[1]}) ::close(fd);
            ::execlp("python3", "python3", script.c_str(), "--serve", "--port", port.c_str(), "--user",
                     account.user.c_str(), "--password", account.password.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(toPeer[0]);
        ::close(fromPeer[1]);
        if (pid_ < 0) {
            ::close(toPeer[1]);
            ::close(fromPeer[0]);
            return;
        }
        in_ = ::fdopen(toPeer[1], "w");
        out_ = ::fdopen(fromPeer[0], "r");
    }
    ~PythonPeer() {
        if (in_) std::fclose(in_);  // end of input ends the peer
        if (out_) std::fclose(out_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    PythonPeer(const PythonPeer&) = delete;
    PythonPeer& operator=(const PythonPeer&) = delete;

    // One check run: the seconds it took, or a negative value when the peer
    // failed; `count` gets the number of messages.
    double run(long& count) {
        if (!in_ || !out_) return -1;
        if (std::fputs("run\n", in_) < 0 || std::fflush(in_) != 0) return -1;
        double seconds = -1;
        if (std::fscanf(out_, "%ld %lf", &count, &seconds) != 2) return -1;
        return seconds;
    }

private:
    pid_t pid_ = -1;
    FILE* in_ = nullptr;
    FILE* out_ = nullptr;
};

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace bench
