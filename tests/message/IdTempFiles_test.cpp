#include "TempDir.h"

#include "message/IdMessage.h"
#include "message/IdTempFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// A private folder named for the process, private files, and a message that
// removes its attachment files when it is freed.
TEST(AttachmentFolder, PrivateFilesRemovedWithTheirMessage) {
    std::string path;
    {
        TIdMessage msg;
        const AttachmentFile file = AttachmentFolder::Process().CreateFile();
        ::close(file.fd);
        path = file.path;
        msg.Parts.Add<TIdAttachment>().TakeStoredFile(path);
        const fs::path folder = fs::path(path).parent_path();
        EXPECT_EQ(folder, AttachmentFolder::Process().Path());
        EXPECT_TRUE(folder.filename().string().starts_with("skm" + std::to_string(::getpid()) + "-"));
        EXPECT_TRUE(fs::path(path).filename().string().starts_with("skm"));
        EXPECT_EQ(modeOf(folder), 0700u);
        EXPECT_EQ(modeOf(path), 0600u);
    }
    EXPECT_FALSE(fs::exists(path));
}

// The program's end removes its folder; a child never removes its parent's.
TEST(AttachmentFolder, RemovedAtExit) {
    const AttachmentFile parentFile = AttachmentFolder::Process().CreateFile();
    ::close(parentFile.fd);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const std::string path = AttachmentFolder::Process().CreateFile().path;
        (void)!::write(pipeEnds[1], path.data(), path.size());
        std::exit(0);
    }
    ::close(pipeEnds[1]);
    char buffer[4096];
    const ssize_t size = ::read(pipeEnds[0], buffer, sizeof buffer);
    ::close(pipeEnds[0]);
    ::waitpid(child, nullptr, 0);
    ASSERT_GT(size, 0);
    const fs::path childFile(std::string(buffer, static_cast<std::size_t>(size)));
    EXPECT_NE(childFile.parent_path(), AttachmentFolder::Process().Path());
    EXPECT_FALSE(fs::exists(childFile.parent_path()));
    EXPECT_TRUE(fs::exists(parentFile.path));
    ::unlink(parentFile.path.c_str());
}

// At start: the folder of a run that ended (and one with this process's id
// that is not in use) goes; that of a running process and other names stay.
TEST(AttachmentFolder, StaleFoldersRemovedAtStart) {
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    TempDir base;
    const std::string kept[] = {"skm1-abcdef", "skm-abcdef", "skm12-abc", "other"};
    const std::string gone[] = {"skm" + std::to_string(ended) + "-abcdef", "skm" + std::to_string(::getpid()) + "-zzzzzz"};
    for (const auto& names : {std::vector<std::string>(std::begin(kept), std::end(kept)),
                              std::vector<std::string>(std::begin(gone), std::end(gone))}) {
        for (const std::string& name : names) {
            fs::create_directory(base.path() / name);
            std::ofstream(base.path() / name / "skmfile") << "x";
        }
    }
    AttachmentFolder::RemoveStale(base.path());
    for (const std::string& name : kept) EXPECT_TRUE(fs::exists(base.path() / name / "skmfile")) << name;
    for (const std::string& name : gone) EXPECT_FALSE(fs::exists(base.path() / name)) << name;
}

}  // namespace
