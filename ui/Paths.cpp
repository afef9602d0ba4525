#include "ui/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ui {
namespace {

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
