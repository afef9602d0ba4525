#include "message/IdTempFiles.h"

#include "net/IdException.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kPrefix = "skm";
constexpr std::size_t kRandomPart = 6;  // what mkdtemp puts for "XXXXXX"

[[noreturn]] void raiseCannotCreate(int error) {
    throw EIdException(std::string("Cannot create a temporary file: ") + std::strerror(error));
}

// The process id in a folder name "skm<pid>-XXXXXX", or nothing for any
// other name.
std::optional<pid_t> makerOf(std::string_view name) {
    if (!name.starts_with(kPrefix)) return std::nullopt;
    name.remove_prefix(kPrefix.size());
    const std::size_t dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos || name.size() - dash - 1 != kRandomPart || dash > 9)
        return std::nullopt;
    pid_t pid = 0;
    for (const char c : name.substr(0, dash)) {
        if (c < '0' || c > '9') return std::nullopt;
        pid = pid * 10 + (c - '0');
    }
    return pid > 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

// Whether a process with this id runs (one of another user counts too).
bool runs(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

std::filesystem::path temporaryDirectory() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::temp_directory_path(error);
    return error ? std::filesystem::path("/tmp") : path;
}

}  // namespace

AttachmentFolder& AttachmentFolder::Process() {
    static AttachmentFolder folder(temporaryDirectory());
    return folder;
}

void AttachmentFolder::makeFolder() {
    std::string pattern = (FBase / (std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    // mkdtemp makes the folder with mode 0700.
    if (::mkdtemp(pattern.data()) == nullptr) raiseCannotCreate(errno);
    FPath = pattern;
    FMaker = ::getpid();
}

AttachmentFile AttachmentFolder::CreateFile() {
    if (FPath.empty() || FMaker != ::getpid()) makeFolder();
    for (int attempt = 0;; ++attempt) {
        std::string pattern = (FPath / (std::string(kPrefix) + "XXXXXX")).string();
        // mkostemp creates the file exclusively, with mode 0600.
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0) return {pattern, fd};
        // The folder may have been cleared away under a long-running
        // program; make it again once.
        if (errno != ENOENT || attempt > 0) raiseCannotCreate(errno);
        makeFolder();
    }
}

void AttachmentFolder::Remove() {
    if (!FPath.empty() && FMaker == ::getpid()) {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    FPath.clear();
}

void AttachmentFolder::RemoveStale(const std::filesystem::path& base) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(base, error)) {
        const std::optional<pid_t> maker = makerOf(entry.path().filename().native());
        if (!maker) continue;
        // A folder with this process's own id is left from an earlier run
        // whose id came round again, unless it is the one in use.
        const bool stale = *maker == ::getpid() ? entry.path() != Process().Path() : !runs(*maker);
        struct stat info;
        if (!stale || ::lstat(entry.path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::getuid())
            continue;
        std::error_code ignored;
        std::filesystem::remove_all(entry.path(), ignored);
    }
}

void RemoveStaleAttachmentFolders() { AttachmentFolder::RemoveStale(AttachmentFolder::Process().Base()); }
