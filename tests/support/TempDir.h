#pragma once

#include <filesystem>
#include <string>

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::string file(const std::string& name) const { return (path_ / name).string(); }

    // Writes bytes to a file in the folder, exactly as given.
    void write(const std::string& name, const std::string& bytes) const;
    // Reads a whole file in the folder; empty when it does not exist.
    [[nodiscard]] std::string read(const std::string& name) const;

private:
    std::filesystem::path path_;
};
