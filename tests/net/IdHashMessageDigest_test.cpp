#include "net/IdHashMessageDigest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DigestCase {
    const char* name;
    std::string input;
    const char* hex;
};

// Bytes i*7+3 (mod 256): every byte value occurs, including 0 and 0x80, so a
// signed-char slip or a stray terminator changes the digest.
std::string patterned(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = char((i * 7 + 3) & 0xff);
    return s;
}

std::string allBytes() {
    std::string s(256, '\0');
    for (int i = 0; i < 256; ++i) s[i] = char(i);
    return s;
}

std::string bigInput() {
    std::string s(3'000'001, '\0');
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = char((i * 31 + i / 256) & 0xff);
    return s;
}

const DigestCase kCases[] = {
    // The test suite of RFC 1321 appendix A.5.
    {"rfc_empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
    {"rfc_a", "a", "0cc175b9c0f1b6a831c399e269772661"},
    {"rfc_abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"rfc_message_digest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"rfc_alphabet", "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"rfc_alphanumerics",
     "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"rfc_80_digits",
     "1234567890123456789012345678901234567890"
     "1234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
    // APOP example of RFC 1939: timestamp immediately followed by the secret.
    {"apop_rfc1939", "<1896.697170952@dbc.mtview.ca.us>tanstaaf",
     "c4c9334bac560ecc979e58001b3e22fb"},
    // Around the padding boundaries: 55 bytes still fit the length in the
    // same block, 56 need a second one; 64 and 120 end exactly on blocks.
    {"pad_55_fits_one_block", patterned(55), "52c0e574e1198de5fe3f8f11440dcb1b"},
    {"pad_56_needs_extra_block", patterned(56), "46c9907fc908ee68b1e7b8e71286a518"},
    {"pad_57", patterned(57), "1c805dd236c35cab25fcb1bc73802c51"},
    {"pad_63", patterned(63), "a62f6d59e837867693f042f5b8f5a236"},
    {"pad_64_one_full_block", patterned(64), "7160b8fb5e9e4023d549c3971fbaeead"},
    {"pad_65", patterned(65), "70bd662e7aefbda85a0f7244167b7897"},
    {"pad_119", patterned(119), "e84905d4214f4d1ca56c2cdcc152b143"},
    {"pad_120", patterned(120), "e3eb5a6c8669ea01a8c185b8abc8a5dc"},
    {"pad_128_two_full_blocks", patterned(128), "10b2da1a82f16d99a81a7203fe9f02cb"},
    {"all_byte_values", allBytes(), "e2c865db4162bed963bfaa9ef6ac18f0"},
    {"million_a_in_one_call", std::string(1'000'000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
};

TEST(MD5Hex, MatchesReferenceDigests) {
    for (const auto& c : kCases) {
        EXPECT_EQ(MD5Hex(c.input), c.hex) << c.name;
    }
}

TEST(MD5Hex, LargeOddSizedInputInOneCall) {
    EXPECT_EQ(MD5Hex(bigInput()), "701e010b5f3c301bbd3891d809753ef4");
}

// Feeding in pieces must give the same digest as one call, whatever the
// piece size relative to the 64-byte block.
TEST(TIdHashMessageDigest5, PiecewiseUpdateEqualsOneCall) {
    const std::string input = patterned(1000);
    const std::string whole = MD5Hex(input);
    for (std::size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 200u}) {
        TIdHashMessageDigest5 md5;
        for (std::size_t at = 0; at < input.size(); at += piece) {
            md5.Update(std::string_view(input).substr(at, piece));
        }
        EXPECT_EQ(DigestToHex(md5.Final()), whole) << "piece size " << piece;
    }
}

TEST(TIdHashMessageDigest5, FinalStartsAFreshMessage) {
    TIdHashMessageDigest5 md5;
    md5.Update("something else");
    (void)md5.Final();
    md5.Update("abc");
    EXPECT_EQ(DigestToHex(md5.Final()), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(MD5Digest, RawBytesMatchHexForm) {
    const auto raw = MD5Digest("abc");
    EXPECT_EQ(raw[0], 0x90);
    EXPECT_EQ(raw[15], 0x72);
    EXPECT_EQ(DigestToHex(raw), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
