#include "message/IdByteSink.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

MemorySink::~MemorySink() { std::free(data_); }

void MemorySink::put(std::string_view bytes) {
    const std::size_t size = static_cast<std::size_t>(Size());
    if (bytes.size() > capacity_ - size) {
        const std::size_t capacity = std::max({size + bytes.size(), 2 * capacity_, std::size_t{4096}});
        void* grown = std::realloc(data_, capacity);
        if (grown == nullptr) throw std::bad_alloc();
        data_ = static_cast<char*>(grown);
        capacity_ = capacity;
    }
    if (!bytes.empty()) std::memcpy(data_ + size, bytes.data(), bytes.size());
}

FileSink::FileSink(int fd) : fd_(fd), buffer_(new char[kBufferSize]) {}

FileSink::~FileSink() {
    if (fd_ >= 0) ::close(fd_);
}

void FileSink::put(std::string_view bytes) {
    if (fd_ < 0) throw EIdFileWriteError(std::strerror(EBADF));
    if (used_ + bytes.size() > kBufferSize) flush();
    if (bytes.size() >= kBufferSize) {
        writeAll(bytes.data(), bytes.size());
        return;
    }
    std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
}

void FileSink::flush() {
    const std::size_t size = used_;
    used_ = 0;
    writeAll(buffer_.get(), size);
}

void FileSink::writeAll(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EIdFileWriteError(std::strerror(n < 0 ? errno : ENOSPC));
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void FileSink::Close() {
    if (fd_ < 0) return;
    try {
        flush();
    } catch (...) {
        ::close(fd_);
        fd_ = -1;
        throw;
    }
    const int fd = fd_;
    fd_ = -1;
    // The last write-back can fail at the close (a full disk, a quota).
    if (::close(fd) != 0) throw EIdFileWriteError(std::strerror(errno));
}
