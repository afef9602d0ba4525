#include "message/IdCharsets.h"

#include "message/IdGlobal.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kMaxCharsetName = 40;

// Code points of the bytes 0x80 to 0xFF in Windows-1250. The five bytes the
// code page leaves undefined (0x81, 0x83, 0x88, 0x90, 0x98) map to the C1
// control of the same number, as the platform's own conversion does.
constexpr std::array<char16_t, 128> kWindows1250High = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// Letters, digits and the punctuation of registered charset names. "/"
// above all stays out: the C library reads suffixes such as "//IGNORE"
// after it as orders to the converter.
constexpr TByteSet kNameChars("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.:+()");

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

bool isAscii(std::string_view bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Runs the converter over all of `bytes`, then ends its shift state;
// nothing when a sequence is invalid or cut off.
std::optional<std::string> runConverter(iconv_t cd, std::string_view bytes) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out(bytes.size() + bytes.size() / 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t used = 0;
    bool input = true;
    for (;;) {
        char* next = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t result = input ? iconv(cd, &in, &inLeft, &next, &outLeft)
                                         : iconv(cd, nullptr, nullptr, &next, &outLeft);
        used = static_cast<std::size_t>(next - out.data());
        if (result == static_cast<std::size_t>(-1)) {
            // EILSEQ: an invalid sequence; EINVAL: one cut off at the end.
            if (errno != E2BIG) return std::nullopt;
            out.resize(out.size() * 2);
            continue;
        }
        if (!input) break;
        input = false;
    }
    out.resize(used);
    return out;
}

// The UTF-8 form of each byte from 0x80 up of a charset whose converter
// turns every byte into one character of its own, ASCII into itself, with
// no shift state and no composition of neighbouring bytes; a size of 0 for
// a byte the charset leaves undefined. Converting through it gives what the
// converter gives, in a fraction of the time.
struct ByteTable {
    std::array<std::array<char, 4>, 128> Utf8{};
    std::array<std::uint8_t, 128> Size{};
};

// The charsets known to be such: the ISO-8859 parts, KOI8 and the Windows
// code pages but 1255 and 1258, whose converters compose letters with the
// marks that follow them.
bool isPlainSingleByte(std::string_view name) {
    static constexpr std::string_view kNames[] = {"WINDOWS-1250", "WINDOWS-1251", "WINDOWS-1252", "WINDOWS-1253",
                                                  "WINDOWS-1254", "WINDOWS-1256", "WINDOWS-1257", "KOI8-R", "KOI8-U"};
    return name.starts_with("ISO-8859-") || std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// Asks the converter for every byte on its own; nothing when one of them
// turns into anything but one character (ASCII: itself).
std::unique_ptr<ByteTable> makeByteTable(iconv_t cd) {
    auto table = std::make_unique<ByteTable>();
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        const std::optional<std::string> one = runConverter(cd, std::string_view(&byte, 1));
        if (b < 0x80) {
            if (one != std::string(1, byte)) return nullptr;
            continue;
        }
        if (!one) continue;
        const auto lead = static_cast<unsigned char>(one->empty() ? 0 : (*one)[0]);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (one->empty() || one->size() != length) return nullptr;
        std::copy(one->begin(), one->end(), table->Utf8[b - 0x80].begin());
        table->Size[b - 0x80] = static_cast<std::uint8_t>(length);
    }
    return table;
}

std::optional<std::string> convertByTable(const ByteTable& table, std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
            continue;
        }
        const std::uint8_t size = table.Size[b - 0x80];
        if (size == 0) return std::nullopt;
        out.append(table.Utf8[b - 0x80].data(), size);
    }
    return out;
}

// The open converters to UTF-8 of the charsets used last, most recent
// first; a charset the C library does not know is kept too, so that asking
// for it again costs no search. Opening a converter loads its module and
// costs far more than a header's conversion.
class ConverterCache {
public:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

    struct Entry {
        std::string name;
        iconv_t cd;
        std::unique_ptr<ByteTable> table;
    };

    ConverterCache() = default;
    ~ConverterCache() {
        for (const Entry& entry : FEntries)
            if (entry.cd != kNone) iconv_close(entry.cd);
    }
    ConverterCache(const ConverterCache&) = delete;
    ConverterCache& operator=(const ConverterCache&) = delete;

    // The converter of a normalised name (cd kNone for an unknown charset);
    // valid until the next call.
    const Entry& Find(const std::string& name) {
        for (std::size_t i = 0; i < FEntries.size(); ++i) {
            if (FEntries[i].name != name) continue;
            if (i == 0) return FEntries[0];
            std::swap(FEntries[i], FEntries[i - 1]);
            return FEntries[i - 1];
        }
        if (FEntries.size() == kMaxEntries) {
            if (FEntries.back().cd != kNone) iconv_close(FEntries.back().cd);
            FEntries.pop_back();
        }
        const iconv_t cd = iconv_open("UTF-8", name.c_str());
        std::unique_ptr<ByteTable> table = cd != kNone && isPlainSingleByte(name) ? makeByteTable(cd) : nullptr;
        FEntries.insert(FEntries.begin(), Entry{name, cd, std::move(table)});
        return FEntries.front();
    }

private:
    // Enough for the charsets of one mailbox; a hostile one that names a
    // new charset in every header cannot keep more open.
    static constexpr std::size_t kMaxEntries = 16;
    std::vector<Entry> FEntries;
};

ConverterCache& converters() {
    thread_local ConverterCache cache;
    return cache;
}

}  // namespace

std::string NormalizeCharsetName(std::string_view name) {
    name = Trim(name.substr(0, name.find('*')));
    if (name.empty() || name.size() > kMaxCharsetName) return {};
    std::string upper = UpperCaseAZ(name);
    for (const char c : upper)
        if (!kNameChars.Contains(c)) return {};
    return upper;
}

bool IsUtf8Charset(std::string_view name) {
    const std::string upper = NormalizeCharsetName(name);
    return upper == "UTF-8" || upper == "UTF8" || upper == "US-ASCII" || upper == "ASCII";
}

std::optional<std::string> ConvertToUtf8(std::string_view charset, std::string_view bytes) {
    const std::string name = NormalizeCharsetName(charset);
    if (name.empty()) return std::nullopt;
    // The common cases need only a look at the bytes.
    if (name == "UTF-8" || name == "UTF8") {
        if (IsValidUtf8(bytes)) return std::string(bytes);
        return std::nullopt;
    }
    if (name == "US-ASCII" || name == "ASCII") {
        if (isAscii(bytes)) return std::string(bytes);
        return std::nullopt;
    }
    const ConverterCache::Entry& converter = converters().Find(name);
    if (converter.table) return convertByTable(*converter.table, bytes);
    if (converter.cd == ConverterCache::kNone) return std::nullopt;
    return runConverter(converter.cd, bytes);
}

bool IsValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        std::uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;  // continuation byte alone, C0/C1 overlong lead, or F5..FF
        }
        if (n - i < len) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if (!isContinuation(p[i + k])) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000)) return false;  // overlong
        if (cp >= 0xD800 && cp <= 0xDFFF) return false;                           // surrogate
        if (cp > 0x10FFFF) return false;
        i += len;
    }
    return true;
}

char16_t Windows1250CodePoint(unsigned char byte) {
    return byte < 0x80 ? static_cast<char16_t>(byte) : kWindows1250High[byte - 0x80];
}

std::string RawBytesToUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Windows1250ToUtf8(bytes);
}

std::string Windows1250ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) appendUtf8(out, Windows1250CodePoint(static_cast<unsigned char>(c)));
    return out;
}
