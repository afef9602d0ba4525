#include "ui/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

// The installed data folder relative to the installed program's folder; the
// build sets it from the install layout.
#ifndef SKIMLET_DATA_FROM_BIN
#define SKIMLET_DATA_FROM_BIN "../share/skimlet"
#endif

namespace ui {
namespace {

namespace fs = std::filesystem;

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// Creates the folder and every missing one above it, each readable by its
// owner only. A failure is left to show when a file is written there.
void makePrivateFolder(const fs::path& folder) {
    std::error_code ec;
    if (folder.empty() || fs::is_directory(folder, ec)) return;
    makePrivateFolder(folder.parent_path());
    if (::mkdir(folder.c_str(), S_IRWXU) == 0) ::chmod(folder.c_str(), S_IRWXU);
}

std::string& programFolderOverride() {
    static std::string folder;
    return folder;
}

std::string& settingsFolderOverride() {
    static std::string folder;
    return folder;
}

std::string withTrailingSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

std::string collapseSeparators(std::string path) {
    std::string::size_type at;
    while ((at = path.find("//")) != std::string::npos) path.erase(at, 1);
    return path;
}

std::string programFolder() {
    if (!programFolderOverride().empty()) return withTrailingSeparator(programFolderOverride());
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "./";
    return withTrailingSeparator(exe.parent_path().string());
}

void setProgramFolder(const std::string& folder) { programFolderOverride() = folder; }

std::string ProgramFilePath(const std::string& name) {
    return collapseSeparators(programFolder() + "/" + name);
}

std::string installedDataFolder() {
    const fs::path folder = fs::path(programFolder()) / SKIMLET_DATA_FROM_BIN;
    return withTrailingSeparator(folder.lexically_normal().string());
}

std::string DataFilePath(const std::string& name) {
    const std::string beside = ProgramFilePath(name);
    if (exists(beside)) return beside;
    const std::string installed = collapseSeparators(installedDataFolder() + name);
    return exists(installed) ? installed : beside;
}

std::string UserFilePath(const std::string& name, bool programFolderWritable) {
    const bool beside = exists(ProgramFilePath(kAccountsFileName)) ||
                        (programFolderWritable && !exists(installedDataFolder()));
    if (beside) return ProgramFilePath(name);
    const std::string folder = settingsFilePath("skimlet");
    makePrivateFolder(folder);
    return collapseSeparators(folder + "/" + name);
}

std::string UserFilePath(const std::string& name) {
    return UserFilePath(name, ::access(programFolder().c_str(), W_OK) == 0);
}

std::string settingsFilePath(const std::string& bareName) {
    std::string folder = settingsFolderOverride();
    if (folder.empty()) {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        if (xdg != nullptr && xdg[0] == '/') {
            folder = xdg;
        } else {
            const char* home = std::getenv("HOME");
            folder = std::string(home != nullptr ? home : ".") + "/.config";
        }
    }
    return collapseSeparators(folder + "/" + bareName);
}

void setSettingsFolder(const std::string& folder) { settingsFolderOverride() = folder; }

}  // namespace ui
