#pragma once

#include "net/IdComponent.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The input buffer of a connection: bytes received and not yet consumed, in
// arrival order. Consuming only advances an offset; the unconsumed rest
// moves to the front once kCompactAt bytes have been consumed, and the
// buffer empties at once when everything is consumed. Every removal reports
// its size as read progress to the owner.
class TIdManagedBuffer {
public:
    explicit TIdManagedBuffer(TIdComponent* owner = nullptr) : owner_(owner) {}

    [[nodiscard]] std::size_t Size() const { return size_ - consumed_; }
    [[nodiscard]] bool Empty() const { return Size() == 0; }
    // The unconsumed bytes; valid until the next change.
    [[nodiscard]] std::string_view View() const { return {data_.get() + consumed_, Size()}; }
    // Bytes removed from the front since construction.
    [[nodiscard]] std::uint64_t TotalRemoved() const { return totalRemoved_; }

    void Append(std::string_view bytes);
    // Room for `count` more bytes at the end, to receive into directly;
    // Commit(n) then adds the first n of them.
    [[nodiscard]] char* Reserve(std::size_t count);
    void Commit(std::size_t count) { size_ += count; }
    // Consumes `count` bytes from the front; raises EIdNotEnoughDataInBuffer
    // when fewer are held.
    void Remove(std::size_t count);
    // Copies `count` bytes from the front into `out` (replacing its
    // contents), then removes them.
    void ExtractInto(std::string& out, std::size_t count);
    void Clear();

    static constexpr std::size_t kCompactAt = 32768;

private:
    TIdComponent* owner_;
    std::unique_ptr<char[]> data_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    std::size_t consumed_ = 0;
    std::uint64_t totalRemoved_ = 0;
};

// The receive chunk: a block resized before every receive and cut to what
// arrived. Growing keeps the old allocation when it is large enough.
class TIdSimpleBuffer {
public:
    void SetSize(std::size_t size);
    [[nodiscard]] std::size_t Size() const { return size_; }
    [[nodiscard]] char* Data() { return data_.get(); }
    [[nodiscard]] std::string_view View() const { return {data_.get(), size_}; }

private:
    std::unique_ptr<char[]> data_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};
