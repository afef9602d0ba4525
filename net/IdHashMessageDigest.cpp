#include "net/IdHashMessageDigest.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// Per-step left rotations, four per round.
constexpr std::array<int, 16> kShift = {7, 12, 17, 22, 5, 9, 14, 20,
                                        4, 11, 16, 23, 6, 10, 15, 21};

// T[i] = floor(abs(sin(i + 1)) * 2^32), the constants of RFC 1321 3.4.
constexpr std::array<std::uint32_t, 64> kSine = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a,
    0xa8304613, 0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340,
    0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8,
    0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92,
    0xffeff47d, 0x85845dd1, 0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// The digest is defined over little-endian words, whatever the host order.
std::uint32_t loadLE(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
           std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void storeLE(std::uint32_t v, std::uint8_t* p) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

}  // namespace

TIdHashMessageDigest5::TIdHashMessageDigest5() { Reset(); }

void TIdHashMessageDigest5::Reset() {
    FState = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    FBuffered = 0;
    FLength = 0;
}

void TIdHashMessageDigest5::transform(const std::uint8_t* block) {
    std::array<std::uint32_t, 16> x;
    for (int i = 0; i < 16; ++i) x[i] = loadLE(block + 4 * i);
    std::uint32_t a = FState[0], b = FState[1], c = FState[2], d = FState[3];
    for (int i = 0; i < 64; ++i) {
        // Each round has its own mixing function and word order (RFC 1321 3.4).
        std::uint32_t f;
        int g;
        switch (i / 16) {
            case 0: f = (b & c) | (~b & d); g = i; break;
            case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
            case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
            default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
        }
        const std::uint32_t rotated =
            std::rotl(a + f + kSine[i] + x[g], kShift[(i / 16) * 4 + i % 4]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }
    FState[0] += a;
    FState[1] += b;
    FState[2] += c;
    FState[3] += d;
}

void TIdHashMessageDigest5::Update(std::string_view data) {
    auto p = reinterpret_cast<const std::uint8_t*>(data.data());
    std::size_t left = data.size();
    FLength += left;
    if (FBuffered > 0) {
        const std::size_t take = std::min(left, 64 - FBuffered);
        std::memcpy(FBuffer.data() + FBuffered, p, take);
        FBuffered += take;
        p += take;
        left -= take;
        if (FBuffered < 64) return;
        transform(FBuffer.data());
        FBuffered = 0;
    }
    // Whole blocks are hashed in place; only a tail is copied.
    for (; left >= 64; p += 64, left -= 64) transform(p);
    if (left > 0) std::memcpy(FBuffer.data(), p, left);
    FBuffered = left;
}

TIdHashMessageDigest5::Digest TIdHashMessageDigest5::Final() {
    // Padding: one 0x80 byte, zeros up to 56 mod 64, then the bit length as a
    // 64-bit little-endian number (RFC 1321 3.1, 3.2).
    const std::uint64_t bits = FLength * 8;
    std::array<std::uint8_t, 72> pad{};
    pad[0] = 0x80;
    const std::size_t padLen = (FBuffered < 56 ? 56 : 120) - FBuffered;
    std::uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i) lengthBytes[i] = std::uint8_t(bits >> (8 * i));
    Update(std::string_view(reinterpret_cast<const char*>(pad.data()), padLen));
    Update(std::string_view(reinterpret_cast<const char*>(lengthBytes), 8));
    Digest out;
    for (int i = 0; i < 4; ++i) storeLE(FState[i], out.data() + 4 * i);
    Reset();
    return out;
}

TIdHashMessageDigest5::Digest MD5Digest(std::string_view data) {
    TIdHashMessageDigest5 md5;
    md5.Update(data);
    return md5.Final();
}

std::string DigestToHex(const TIdHashMessageDigest5::Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(32);
    for (std::uint8_t byte : digest) {
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0f];
    }
    return out;
}

std::string MD5Hex(std::string_view data) { return DigestToHex(MD5Digest(data)); }
