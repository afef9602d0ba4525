#pragma once

#include "net/IdException.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

// A write to a file failed; the text names the system's reason.
class EIdFileWriteError : public EIdException {
public:
    explicit EIdFileWriteError(const std::string& reason) : EIdException("Error writing file: " + reason) {}
};

// Where decoded content goes: bytes appended in order and counted. Two kinds
// exist, a buffer in memory (text parts) and a buffered file (attachments).
class ByteSink {
public:
    virtual ~ByteSink() = default;
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;

    // Appends `bytes`; raises what the kind raises when it cannot keep them.
    void Write(std::string_view bytes) {
        put(bytes);
        size_ += bytes.size();
    }
    // The bytes written so far.
    [[nodiscard]] std::uint64_t Size() const { return size_; }

protected:
    ByteSink() = default;
    virtual void put(std::string_view bytes) = 0;

private:
    std::uint64_t size_ = 0;
};

// The bytes kept in memory. The block grows with realloc, which moves a
// large block by remapping its pages instead of copying them.
class MemorySink final : public ByteSink {
public:
    MemorySink() = default;
    ~MemorySink() override;
    // The bytes written so far; valid until the next write.
    [[nodiscard]] std::string_view Data() const { return {data_, static_cast<std::size_t>(Size())}; }

private:
    void put(std::string_view bytes) override;
    char* data_ = nullptr;
    std::size_t capacity_ = 0;
};

// Passes every write on to `target` after `check` has seen its size; the
// check raises to refuse it, before anything of it is kept.
class CheckedSink final : public ByteSink {
public:
    CheckedSink(ByteSink& target, std::function<void(std::size_t)> check)
        : target_(target), check_(std::move(check)) {}

private:
    void put(std::string_view bytes) override {
        check_(bytes.size());
        target_.Write(bytes);
    }
    ByteSink& target_;
    std::function<void(std::size_t)> check_;
};

// A file written through a buffer of kBufferSize bytes, so that a write per
// decoded line does not cost a system call per line. Raises
// EIdFileWriteError when the file refuses bytes.
class FileSink final : public ByteSink {
public:
    // Takes over `fd`, a file open for writing.
    explicit FileSink(int fd);
    // Closes the file; bytes still buffered are lost unless Close() ran.
    ~FileSink() override;
    // Writes out what is buffered and closes the file; raises
    // EIdFileWriteError when either fails. Later writes raise too.
    void Close();

    static constexpr std::size_t kBufferSize = 64 * 1024;

private:
    void put(std::string_view bytes) override;
    void flush();
    void writeAll(const char* data, std::size_t size);

    int fd_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};
