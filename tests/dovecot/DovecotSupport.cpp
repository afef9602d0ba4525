#include "DovecotSupport.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace dovecot {

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

std::string baseName(const fs::path& path) {
    const std::string name = path.filename().string();
    return name.substr(0, name.find(':'));
}

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

}  // namespace

const Server& server() {
    static const Server s = [] {
        Server v;
        v.host = env("SKIMLET_DOVECOT_HOST");
        v.port = std::atoi(env("SKIMLET_DOVECOT_PORT").c_str());
        v.user = env("SKIMLET_DOVECOT_USER");
        v.password = env("SKIMLET_DOVECOT_PASSWORD");
        v.maildir = env("SKIMLET_DOVECOT_MAILDIR");
        v.user2 = env("SKIMLET_DOVECOT_USER2");
        v.password2 = env("SKIMLET_DOVECOT_PASSWORD2");
        v.maildir2 = env("SKIMLET_DOVECOT_MAILDIR2");
        v.manifest = env("SKIMLET_DOVECOT_MANIFEST");
        v.log = env("SKIMLET_DOVECOT_LOG");
        v.tlsPort = std::atoi(env("SKIMLET_DOVECOT_TLS_PORT").c_str());
        v.expiredPort = std::atoi(env("SKIMLET_DOVECOT_EXPIRED_PORT").c_str());
        v.otherNamePort = std::atoi(env("SKIMLET_DOVECOT_OTHER_NAME_PORT").c_str());
        v.selfSignedPort = std::atoi(env("SKIMLET_DOVECOT_SELF_SIGNED_PORT").c_str());
        v.caFile = env("SKIMLET_DOVECOT_CA_FILE");
        TIdSSLIOHandlerSocket::SetCAFile(v.caFile);
        return v;
    }();
    return s;
}

bool available() { return server().host == "127.0.0.1" && server().port > 0; }

std::unique_ptr<TIdPOP3> client(const std::string& user, const std::string& password) {
    auto pop = std::make_unique<TIdPOP3>();
    pop->Host = server().host;
    pop->Port = server().port;
    pop->Username = user;
    pop->Password = password;
    pop->RecvBufferSize = 32768;
    pop->SendBufferSize = 32768;
    pop->ASCIIFilter = false;
    pop->ReadTimeout = 10000;
    return pop;
}

std::vector<fs::path> mailFiles(const std::string& maildir) {
    // The server moves messages from new/ to cur/ while a session runs, so
    // a message can be seen in both folders: it counts once, under its
    // newer place.
    std::map<std::string, fs::path> files;
    for (const char* sub : {"new", "cur"}) {
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(maildir) / sub, ec)) {
            if (entry.is_regular_file(ec)) files[baseName(entry.path())] = entry.path();
        }
    }
    std::vector<fs::path> sorted;
    sorted.reserve(files.size());
    for (auto& [name, path] : files) sorted.push_back(std::move(path));
    return sorted;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

long wireSize(const std::string& content) {
    long size = 0;
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\n' && (i == 0 || content[i - 1] != '\r')) ++size;
        ++size;
    }
    return size;
}

std::vector<std::string> headerLines(const std::string& content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        std::string line = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break;
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

std::vector<Expected> manifest() { return manifest(server().manifest); }

std::vector<Expected> manifest(const std::string& path) {
    std::vector<Expected> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = split(line, '\t');
        if (f.size() != 8) continue;
        Expected e;
        e.file = f[1];
        e.messageId = f[2];
        e.from = f[3];
        if (f[4] != "-") e.to = split(f[4], ' ');
        if (f[5] != "-") e.cc = split(f[5], ' ');
        e.date = std::stoll(f[6]);
        e.subjectKnown = f[7] != "-";
        if (e.subjectKnown) e.subject = fromHex(f[7]);
        rows.push_back(std::move(e));
    }
    return rows;
}

std::vector<std::string> SessionLog::lines() const {
    std::vector<std::string> result;
    std::ifstream in(server().log);
    std::string line;
    const std::string who = "pop3(" + user_ + ")";
    while (std::getline(in, line)) {
        if (line.find(who) != std::string::npos && line.find("Disconnected") != std::string::npos) {
            result.push_back(line);
        }
    }
    return result;
}

int SessionLog::count() const { return static_cast<int>(lines().size()); }

std::string SessionLog::waitForMore(int count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<std::string> all = lines();
        if (static_cast<int>(all.size()) > count) return all.back();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

bool waitForLogLine(const std::string& needle) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (readFile(server().log).find(needle) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void refillMaildir(const std::string& maildir, const std::vector<std::string>& messages) {
    for (const fs::path& file : mailFiles(maildir)) fs::remove(file);
    // The server numbers messages by the order in which it first saw their
    // file names and remembers names it has seen: every refill uses names
    // never used before that sort after all earlier ones.
    static int refills = 0;
    ++refills;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%010lld.%04d.%07zu.test", static_cast<long long>(std::time(nullptr)),
                      refills, i + 1);
        const fs::path path = fs::path(maildir) / "new" / name;
        std::ofstream(path, std::ios::binary) << messages[i];
        ::chmod(path.c_str(), 0644);
    }
}

}  // namespace dovecot
