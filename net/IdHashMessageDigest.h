#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// MD5 message digest (RFC 1321), as the APOP login needs it: the digest of
// the greeting's timestamp followed by the password, in lower-case hex.
class TIdHashMessageDigest5 {
public:
    using Digest = std::array<std::uint8_t, 16>;

    TIdHashMessageDigest5();

    // Feeds more bytes; the digest covers everything fed since construction
    // or the last Reset.
    void Update(std::string_view data);

    // Pads the input, returns the 16-byte digest and resets the object for
    // the next message.
    [[nodiscard]] Digest Final();

    // Forgets everything fed so far.
    void Reset();

private:
    void transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> FState{};
    std::array<std::uint8_t, 64> FBuffer{};
    std::size_t FBuffered = 0;
    std::uint64_t FLength = 0;  // bytes fed, modulo 2^64
};

// The 16 raw digest bytes of `data`.
[[nodiscard]] TIdHashMessageDigest5::Digest MD5Digest(std::string_view data);

// The digest of `data` as 32 lower-case hexadecimal digits, high half of
// each byte first, bytes in digest order.
[[nodiscard]] std::string MD5Hex(std::string_view data);

// `digest` as 32 lower-case hexadecimal digits.
[[nodiscard]] std::string DigestToHex(const TIdHashMessageDigest5::Digest& digest);
