#include "message/IdMessage.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <cstdio>
#include <optional>
#include <random>
#include <unistd.h>
#include <utility>

namespace {

const std::string kContentType = "Content-Type";
const std::string kContentTransfer = "Content-Transfer-Encoding";
const std::string kContentDisposition = "Content-Disposition";

// An optional sign followed by decimal digits and nothing else; nullopt for
// anything else, or for a value beyond 32 bits.
std::optional<long long> decimalValue(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > INT_MAX + 1LL) return std::nullopt;
    }
    return negative ? -value : value;
}

std::string lowerCaseAZ(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return result;
}

// The value after the first `name` (which ends in "=") in the upper-cased
// content type: a quoted value up to its closing quote (or the end), else
// what follows it up to `stop` (std::string_view::npos keeps all of it).
std::string parameterValue(std::string_view contentType, std::string_view name, char stop) {
    const std::string upper = UpperCaseAZ(contentType);
    const std::size_t at = upper.find(name);
    if (at == std::string::npos) return {};
    std::string_view rest = std::string_view(upper).substr(at + name.size());
    if (rest.starts_with('"')) {
        rest.remove_prefix(1);
        return std::string(rest.substr(0, rest.find('"')));
    }
    if (stop != '\0') rest = rest.substr(0, rest.find(stop));
    return std::string(rest);
}

// Writes all of `data` to `fd`, going on after short writes and signals.
bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Copies the open file `from` to the open file `to` until end of file: in
// the kernel where it can, so that the bytes do not pass through the
// program, else through a buffer from where the kernel stopped.
bool copyContents(int from, int to) {
    for (;;) {
        const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, std::size_t{1} << 30, 0);
        if (n == 0) return true;
        if (n > 0 || errno == EINTR) continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
        break;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!writeAll(to, buffer, static_cast<std::size_t>(n))) return false;
    }
}

// Keeps a file descriptor closed on every way out.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    [[nodiscard]] int get() const { return fd_; }
    // Closes now and reports whether the close (the last write-back) worked.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Parts

std::string TIdMessagePart::ContentType() const { return PartHeaders.GetFieldValue(kContentType); }

void TIdMessagePart::SetContentType(std::string_view value) { PartHeaders.SetFieldValue(kContentType, value); }

std::string TIdMessagePart::ContentTransfer() const { return PartHeaders.GetFieldValue(kContentTransfer); }

void TIdMessagePart::SetContentTransfer(std::string_view value) {
    PartHeaders.SetFieldValue(kContentTransfer, value);
}

std::string TIdAttachment::ContentDisposition() const { return PartHeaders.GetFieldValue(kContentDisposition); }

void TIdAttachment::SetContentDisposition(std::string_view value) {
    PartHeaders.SetFieldValue(kContentDisposition, value);
}

TIdAttachment::~TIdAttachment() {
    if (!FOwnedFile.empty()) ::unlink(FOwnedFile.c_str());
}

void TIdAttachment::TakeStoredFile(std::string path) {
    StoredPath = path;
    FOwnedFile = std::move(path);
}

namespace {

// Copies the file at `source` to `destination`, which is created
// exclusively, so that an existing file or link there is never replaced or
// followed; a partly written copy is removed again. 0, or the errno of the
// step that failed.
int copyToNewFile(const std::string& source, const std::string& destination) {
    FileHandle from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (from.get() < 0) return errno;
    FileHandle target(::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (target.get() < 0) return errno;
    int error = copyContents(from.get(), target.get()) ? 0 : (errno != 0 ? errno : EIO);
    if (!target.close() && error == 0) error = errno != 0 ? errno : EIO;
    // The file is ours (we created it): a partial copy must not look like a
    // saved attachment.
    if (error != 0) ::unlink(destination.c_str());
    return error;
}

std::string randomSuffix() {
    static std::mt19937 random{std::random_device{}()};
    constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix(8, ' ');
    for (char& c : suffix) c = kLetters[random() % kLetters.size()];
    return suffix;
}

}  // namespace

bool TIdAttachment::SaveCopyTo(const std::string& destination) const {
    if (StoredPath.empty() || destination.empty() || copyToNewFile(StoredPath, destination) != 0)
        throw EIdException("Error saving attachment.");
    return true;
}

bool TIdAttachment::SaveCopyOver(const std::string& destination) const {
    const auto fail = [] { throw EIdException("Error saving attachment."); };
    const std::size_t slash = destination.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : destination.substr(0, slash + 1);
    const std::string name = destination.substr(folder.size());
    if (StoredPath.empty() || name.empty()) fail();
    // A hidden name in the same folder, so that the rename stays on one
    // file system and is a single step; names already taken are skipped.
    constexpr int kAttempts = 16;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string partial = folder + "." + name.substr(0, 128) + "." + randomSuffix() + ".part";
        const int error = copyToNewFile(StoredPath, partial);
        if (error == EEXIST) continue;
        if (error != 0) fail();
        if (::rename(partial.c_str(), destination.c_str()) != 0) {
            ::unlink(partial.c_str());
            fail();
        }
        return true;
    }
    fail();
    return false;
}

TIdMessagePart& TIdMessageParts::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return *FItems[static_cast<std::size_t>(index)];
}

void TIdMessageParts::RecountParts() {
    TextPartTotal = 0;
    AttachmentTotal = 0;
    RelatedPartTotal = 0;
    for (const auto& item : FItems) {
        if (dynamic_cast<const TIdText*>(item.get()) != nullptr) {
            ++TextPartTotal;
        } else if (dynamic_cast<const TIdAttachment*>(item.get()) != nullptr) {
            ++AttachmentTotal;
            if (!item->ExtraHeaders.GetFieldValue("Content-ID").empty()) ++RelatedPartTotal;
        }
    }
}

// ---------------------------------------------------------------------------
// Boundaries

std::string TIdMIMEBoundary::CurrentBoundary() const { return FStack.empty() ? std::string() : FStack.back(); }

void TIdMIMEBoundary::PushBoundary(std::string_view boundary) {
    if (boundary.empty()) return;
    if (!FStack.empty() && SameText(FStack.back(), boundary)) return;
    FStack.emplace_back(boundary);
}

void TIdMIMEBoundary::PopBoundary() {
    if (FStack.empty()) throw EListError(0);
    FStack.pop_back();
}

// boundary := "BOUNDARY=" ( quoted-text | rest-of-field ); an unquoted value
// keeps any later parameters, which the boundary matcher then compares too.
std::string BoundaryFromContentType(std::string_view contentType) {
    return parameterValue(contentType, "BOUNDARY=", '\0');
}

TIdMessagePriority ParsePriority(std::string_view text) {
    const std::string lower = lowerCaseAZ(text);
    // "non-urgent" counts as urgent as well: the first test wins.
    if (lower.find("urgent") != std::string::npos) return mpHigh;
    if (lower.find("non-priority") != std::string::npos) return mpLow;
    std::string_view number = Trim(text);
    number = Trim(number.substr(0, number.find(' ')));
    const long long value = decimalValue(number).value_or(3);
    // Numbers outside 1 to 5 are held to the nearest end of the scale, so
    // that Priority is always one of the five values.
    if (value <= 1) return mpHighest;
    if (value >= 5) return mpLowest;
    return static_cast<TIdMessagePriority>(value - 1);
}

// ---------------------------------------------------------------------------
// The message

TIdMessage::TIdMessage() { ResetMessage(); }

void TIdMessage::ResetMessage() {
    ResetHeaderFields();
    ResetBody();
}

void TIdMessage::ResetHeaderFields() {
    BccList.Clear();
    CharSet.clear();
    CCList.Clear();
    ContentType.clear();
    ContentTransferEncoding.clear();
    ContentDisposition.clear();
    Date = 0;
    From.SetText("");
    NewsGroups.clear();
    Organization.clear();
    Priority = mpNormal;
    ReceiptRecipient.SetText("");
    Recipients.Clear();
    References.clear();
    ReplyTo.Clear();
    Subject.clear();
    Sender.SetText("");
    HeaderLines.Clear();
    ExtraHeaders.Clear();
    BoundaryStack.ClearBoundaries();
}

void TIdMessage::ResetBody() {
    Parts.Clear();
    Body.clear();
}

std::string CharSetFromContentType(std::string_view contentType) {
    return parameterValue(contentType, "CHARSET=", ';');
}
