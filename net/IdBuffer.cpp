#include "net/IdBuffer.h"

#include "net/IdExceptions.h"

void TIdManagedBuffer::Append(std::string_view bytes) {
    if (consumed_ == data_.size()) Clear();
    data_.append(bytes);
}

void TIdManagedBuffer::Remove(std::size_t count) {
    if (count > Size()) throw EIdNotEnoughDataInBuffer();
    consumed_ += count;
    totalRemoved_ += count;
    if (consumed_ == data_.size()) {
        Clear();
    } else if (consumed_ >= kCompactAt) {
        data_.erase(0, consumed_);
        consumed_ = 0;
    }
    if (owner_ != nullptr && count > 0) owner_->DoWork(wmRead, static_cast<std::int64_t>(count));
}

void TIdManagedBuffer::ExtractInto(std::string& out, std::size_t count) {
    if (count > Size()) throw EIdNotEnoughDataInBuffer();
    out.assign(data_, consumed_, count);
    Remove(count);
}

void TIdManagedBuffer::Clear() {
    data_.clear();
    consumed_ = 0;
}

void TIdSimpleBuffer::SetSize(std::size_t size) {
    if (size > capacity_) {
        data_ = std::make_unique_for_overwrite<char[]>(size);
        capacity_ = size;
    }
    size_ = size;
}
