#include "app/udmAccounts.h"

#include "message/IdGlobal.h"
#include "net/IdException.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <random>

namespace {

// The generator is seeded once, from the clock, on first use.
std::mt19937& generator() {
    static std::mt19937 engine(static_cast<std::uint32_t>(
        std::chrono::system_clock::now().time_since_epoch().count()));
    return engine;
}

int randomBelow(int bound) {
    return std::uniform_int_distribution<int>(0, bound - 1)(generator());
}

unsigned char rotateRight3(unsigned char b) {
    return static_cast<unsigned char>((b >> 3) | (b << 5));
}

unsigned char rotateLeft3(unsigned char b) {
    return static_cast<unsigned char>((b << 3) | (b >> 5));
}

std::string systemError(const std::string& what, const std::string& path) {
    return "Cannot " + what + " file " + path + ": " + std::strerror(errno);
}

// One line without its end; LF ends a line and a CR before it is dropped.
// At the end of the file the line is empty.
std::string readLine(std::istream& in) {
    std::string line;
    if (!std::getline(in, line)) return {};
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void writeAll(int fd, const std::string& bytes, const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EIdException(systemError("write", path));
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::string ScrambleText(std::string_view text) {
    std::string out;
    out.reserve(1 + text.size() * 6);
    out += '.';
    for (const char c : text) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%03u",
                      static_cast<unsigned>(rotateRight3(static_cast<unsigned char>(c))));
        out.append(digits, 3);
        out += static_cast<char>('A' + randomBelow(20));
        out += static_cast<char>('a' + randomBelow(18));
        out += static_cast<char>('0' + randomBelow(9));
    }
    return out;
}

std::string UnscrambleText(std::string_view text) {
    if (!text.empty() && text.front() != '.') return std::string(text);
    std::string out;
    if (text.empty()) return out;
    text.remove_prefix(1);
    while (text.size() > 2) {
        // The conversion is the program's strict integer one, so a group
        // like "$1F" reads as hexadecimal, as it always has.
        const int value = StrToInt(text.substr(0, 3));
        text.remove_prefix(std::min<std::size_t>(6, text.size()));
        out += static_cast<char>(rotateLeft3(static_cast<unsigned char>(value & 0xFF)));
    }
    return out;
}

TAccountFields FieldsOf(const TPOP3Rec& rec) {
    return {rec.Name, rec.Host, rec.UserName, rec.Password, std::to_string(rec.Port), rec.Security};
}

TPOP3Rec RecOf(const TAccountFields& fields) {
    return {fields.Name, fields.Host, fields.UserName, fields.Password, StrToInt(fields.Port), fields.Security};
}

void ReadAccountsFile(const std::string& path,
                      const std::function<void(const TAccountFields&)>& add) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EIdException(systemError("open", path));
    while (in.peek() != std::char_traits<char>::eof()) {
        TAccountFields fields;
        // Each account is handed over only once all five fields have been
        // read, so a field that fails leaves no half-read account behind.
        fields.Name = UnscrambleText(readLine(in));
        fields.Host = UnscrambleText(readLine(in));
        fields.UserName = UnscrambleText(readLine(in));
        fields.Password = UnscrambleText(readLine(in));
        fields.Port = UnscrambleText(readLine(in));
        if (in.bad()) throw EIdException(systemError("read", path));
        add(fields);
    }
    if (in.bad()) throw EIdException(systemError("read", path));
}

void WriteAccountsFile(const std::string& path, const std::vector<TAccountFields>& accounts) {
    std::string text;
    for (const TAccountFields& a : accounts) {
        for (const std::string* field : {&a.Name, &a.Host, &a.UserName, &a.Password, &a.Port}) {
            text += ScrambleText(*field);
            text += "\r\n";
        }
    }
    WriteFileAtomically(path, text);
}

void WriteFileAtomically(const std::string& path, const std::string& text) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) throw EIdException(systemError("create", path));
    try {
        // mkstemp already gives 0600; fchmod states it, whatever the umask.
        if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0) throw EIdException(systemError("create", path));
        writeAll(fd, text, path);
        if (::fsync(fd) != 0) throw EIdException(systemError("write", path));
    } catch (...) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw;
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string message = systemError("write", path);
        ::unlink(temporary.c_str());
        throw EIdException(message);
    }
}
