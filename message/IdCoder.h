#pragma once

#include "message/IdByteSink.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>

// A content transfer decoder: turns one encoded text (a received line, or a
// line and its CR LF) back into bytes. Each text is decoded on its own; an
// encoded group or escape never spans two calls.
class TIdDecoder {
public:
    virtual ~TIdDecoder() = default;
    TIdDecoder(const TIdDecoder&) = delete;
    TIdDecoder& operator=(const TIdDecoder&) = delete;

    // Decodes all of `text` and appends the result to `destination` in one
    // write, or writes nothing when the result is empty. A text the decoder
    // refuses raises before anything is written.
    virtual void DecodeToStream(std::string_view text, ByteSink& destination) = 0;

protected:
    TIdDecoder() = default;
    // Room for `size` bytes of the result of one call. It is reused, so that
    // a line costs no allocation, and carries nothing from one call to the
    // next.
    [[nodiscard]] char* outputRoom(std::size_t size) {
        if (size > FCapacity) {
            FCapacity = std::max(size, 2 * FCapacity);
            FOutput = std::make_unique_for_overwrite<char[]>(FCapacity);
        }
        return FOutput.get();
    }
    // Writes the result, the room's bytes up to `end`, if there are any.
    void writeOut(const char* end, ByteSink& destination) const {
        if (end != FOutput.get()) destination.Write(std::string_view(FOutput.get(), end - FOutput.get()));
    }

private:
    std::unique_ptr<char[]> FOutput;
    std::size_t FCapacity = 0;
};
