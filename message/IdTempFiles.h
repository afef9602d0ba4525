#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>

// A file just made for an attachment: its path, and its descriptor open for
// writing (the caller closes it).
struct AttachmentFile {
    std::string path;
    int fd;
};

// The private folder that holds the decoded attachments of received
// messages: one per process, in the temporary directory, named "skm", the
// process id, "-" and six random characters, mode 0700, made when the first
// file is needed. Every file in it is created exclusively with mode 0600, so
// that no other user can read an attachment or plant a file or link in its
// place. The folder and whatever is left in it go with the object; the
// process-wide one goes at program exit.
class AttachmentFolder {
public:
    explicit AttachmentFolder(std::filesystem::path base) : FBase(std::move(base)) {}
    ~AttachmentFolder() { Remove(); }
    AttachmentFolder(const AttachmentFolder&) = delete;
    AttachmentFolder& operator=(const AttachmentFolder&) = delete;

    // The process's folder, in the temporary directory found at the first
    // call (the system's default when that cannot be found).
    static AttachmentFolder& Process();

    // Creates a new, empty file whose name begins with "skm". Raises
    // EIdException "Cannot create a temporary file: " and the reason.
    [[nodiscard]] AttachmentFile CreateFile();
    // Removes the folder with everything in it; the next file makes a new
    // one. A child process never removes the folder its parent made.
    void Remove();

    [[nodiscard]] const std::filesystem::path& Base() const { return FBase; }
    // The folder; empty until the first file is made.
    [[nodiscard]] const std::filesystem::path& Path() const { return FPath; }

    // Removes the folders under `base` that processes of this user left
    // behind when they ended without removing them (a crash). The folders of
    // running processes are never touched.
    static void RemoveStale(const std::filesystem::path& base);

private:
    void makeFolder();

    std::filesystem::path FBase;
    std::filesystem::path FPath;
    pid_t FMaker = 0;
};

// At program start: removes the attachment folders of ended runs from the
// temporary directory, and fixes that directory for the run.
void RemoveStaleAttachmentFolders();
