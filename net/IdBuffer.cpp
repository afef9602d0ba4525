#include "net/IdBuffer.h"

#include "net/IdExceptions.h"

#include <algorithm>

#include <cstring>

char* TIdManagedBuffer::Reserve(std::size_t count) {
    if (consumed_ == size_) Clear();
    if (size_ + count > capacity_ && consumed_ > 0) {
        // Move the unconsumed rest to the front before growing.
        std::memmove(data_.get(), data_.get() + consumed_, size_ - consumed_);
        size_ -= consumed_;
        consumed_ = 0;
    }
    if (size_ + count > capacity_) {
        const std::size_t capacity = std::max(size_ + count, capacity_ * 2);
        auto grown = std::make_unique_for_overwrite<char[]>(capacity);
        if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
        data_ = std::move(grown);
        capacity_ = capacity;
    }
    return data_.get() + size_;
}

void TIdManagedBuffer::Append(std::string_view bytes) {
    if (bytes.empty()) return;
    std::memcpy(Reserve(bytes.size()), bytes.data(), bytes.size());
    Commit(bytes.size());
}

void TIdManagedBuffer::Remove(std::size_t count) {
    if (count > Size()) throw EIdNotEnoughDataInBuffer();
    consumed_ += count;
    totalRemoved_ += count;
    if (consumed_ == size_) {
        Clear();
    } else if (consumed_ >= kCompactAt) {
        std::memmove(data_.get(), data_.get() + consumed_, size_ - consumed_);
        size_ -= consumed_;
        consumed_ = 0;
    }
    if (owner_ != nullptr && count > 0) owner_->DoWork(wmRead, static_cast<std::int64_t>(count));
}

void TIdManagedBuffer::ExtractInto(std::string& out, std::size_t count) {
    if (count > Size()) throw EIdNotEnoughDataInBuffer();
    out.assign(data_.get() + consumed_, count);
    Remove(count);
}

void TIdManagedBuffer::Clear() {
    size_ = 0;
    consumed_ = 0;
}

void TIdSimpleBuffer::SetSize(std::size_t size) {
    if (size > capacity_) {
        data_ = std::make_unique_for_overwrite<char[]>(size);
        capacity_ = size;
    }
    size_ = size;
}
