#include "message/IdEMailAddress.h"

#include "message/IdGlobal.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Letters, digits and ! # $ % & ' * + - / = ? _ ` { } | ~ may stand unquoted
// in a local part; a display name may hold these and the space.
constexpr std::array<bool, 256> makeLocalPartChars() {
    std::array<bool, 256> table{};
    for (int c = 'a'; c <= 'z'; ++c) table[static_cast<std::size_t>(c)] = true;
    for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<std::size_t>(c)] = true;
    for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = true;
    for (const char c : std::string_view("!#$%&'*+-/=?_`{}|~")) table[static_cast<unsigned char>(c)] = true;
    return table;
}
constexpr std::array<bool, 256> kLocalPartChars = makeLocalPartChars();

bool isLocalPartChar(char c) { return kLocalPartChars[static_cast<unsigned char>(c)]; }
bool isNameChar(char c) { return c == ' ' || isLocalPartChar(c); }

// The text in double quotes with a backslash before each backslash and quote.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// Trims without copying: the name is trimmed again at every "<", and a long
// value with many of them must not cost a copy of the name each time.
void trimInPlace(std::string& text) {
    while (!text.empty() && IsBlank(text.back())) text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) ++first;
    if (first > 0) text.erase(0, first);
}

// Splits one address into name and mailbox, moving a cursor over the text.
// The flags: inside double quotes, an "<" was seen (never cleared), the
// mailbox is being read, its "@" was seen, and the depth of "(" comments.
class ItemParser {
public:
    ItemParser(std::string& address, std::string& name) : FAddress(address), FName(name) {}

    void run(std::string_view text) {
        FRest = text;
        for (std::size_t p = specials().FindIn(FRest); p != npos; p = specials().FindIn(FRest)) {
            step(p);
        }
        // The rest of an unbracketed mailbox, unless an unclosed comment
        // swallowed it.
        if (FInAddress && !FBracketed && FDepth == 0) FAddress += Trim(FRest);
    }

private:
    [[nodiscard]] const TByteSet& specials() const {
        static constexpr TByteSet inComment("()\\"), inQuotes("\"\\"), bracketedDomain(".>("),
            bareDomain(".( "), mailbox("\"(@>"), name("(\"< @\t");
        if (FDepth > 0) return inComment;
        if (FQuoted) return inQuotes;
        if (FAtSeen) return FBracketed ? bracketedDomain : bareDomain;
        if (FInAddress) return mailbox;
        return name;
    }

    void drop(std::size_t count) { FRest.remove_prefix(std::min(count, FRest.size())); }
    [[nodiscard]] std::string_view before(std::size_t p) const { return FRest.substr(0, p); }
    [[nodiscard]] std::string& quoteTarget() { return FBracketed ? FAddress : FName; }

    void step(std::size_t p) {
        switch (FRest[p]) {
            case ' ':
            case '\t': onBlank(p); break;
            case '"': onQuote(p); break;
            case '(': onOpenComment(p); break;
            case ')': drop(p + 1); --FDepth; break;
            case '.': onDot(p); break;
            case '<': onOpenBracket(p); break;
            case '>': onCloseBracket(p); break;
            case '@': onAt(p); break;
            case '\\': onBackslash(p); break;
            default: assert(false);
        }
    }

    // A blank ends a word of the name, or the mailbox after its "@".
    void onBlank(std::size_t p) {
        if (p > 0) {
            if (FAtSeen) {
                FAddress += Trim(before(p));
            } else {
                FName += FRest.substr(0, p + 1);
            }
        }
        drop(p + 1);
    }

    // An opening quote normally starts the remaining text; text before one in
    // the middle of a word is kept as part of the same name (or mailbox).
    // Blanks just inside the quotes are dropped, blanks next to an escaped
    // character inside them are kept.
    void onQuote(std::size_t p) {
        std::string& target = quoteTarget();
        target += before(p);
        if (FQuoted) {
            const std::size_t start = std::min(FQuoteStart, target.size());
            while (target.size() > start && IsBlank(target.back())) target.pop_back();
            std::size_t first = start;
            while (first < target.size() && IsBlank(target[first])) ++first;
            target.erase(start, first - start);
        } else {
            FQuoteStart = target.size();
        }
        FQuoted = !FQuoted;
        drop(p + 1);
    }

    // Comments are discarded; text before one counts only outside comments.
    void onOpenComment(std::size_t p) {
        if (p > 0 && FDepth == 0) {
            if (FInAddress) {
                FAddress += Trim(before(p));
            } else {
                FName += before(p);
            }
        }
        drop(p + 1);
        ++FDepth;
    }

    // Inside brackets blanks around the dots of a domain are dropped.
    void onDot(std::size_t p) {
        if (FBracketed) {
            FAddress += Trim(before(p));
            FAddress += '.';
            drop(p + 1);
            FRest = TrimLeft(FRest);
        } else {
            FAddress += FRest.substr(0, p + 1);
            drop(p + 1);
        }
    }

    void onOpenBracket(std::size_t p) {
        FName += before(p);
        trimInPlace(FName);
        FBracketed = true;
        FInAddress = true;
        drop(p + 1);
    }

    void onCloseBracket(std::size_t p) {
        FInAddress = false;
        FAtSeen = false;
        FAddress += Trim(before(p));
        drop(p + 1);
    }

    void onAt(std::size_t p) {
        FAtSeen = true;
        if (!FInAddress) {
            // A second mailbox after a closed bracketed one.
            if (FBracketed) throw EIdEmailParseError();
            FInAddress = true;
        }
        FAddress += FRest.substr(0, p + 1);
        drop(p + 1);
    }

    // Inside quotes a backslash keeps the next character literally (in the
    // same place as the quoted text); inside a comment both are dropped.
    void onBackslash(std::size_t p) {
        if (FQuoted) {
            std::string& target = quoteTarget();
            target += before(p);
            if (p + 1 < FRest.size()) target += FRest[p + 1];
        }
        drop(p + 2);
    }

    std::string& FAddress;
    std::string& FName;
    std::string_view FRest;
    bool FQuoted = false;
    bool FBracketed = false;
    bool FInAddress = false;
    bool FAtSeen = false;
    int FDepth = 0;
    std::size_t FQuoteStart = 0;
};

}  // namespace

void TIdEMailAddressItem::SetText(std::string_view value) {
    FAddress.clear();
    FName.clear();
    const std::string_view s = Trim(value);
    if (s.empty()) return;
    static constexpr TByteSet plainAddressStops("(<@\" \t");
    if (plainAddressStops.FindIn(s) == npos) {
        FAddress = s;
        return;
    }
    ItemParser(FAddress, FName).run(s);
}

std::string TIdEMailAddressItem::Text() const {
    // The mailbox, quoted when its local part needs it, bracketed when a name
    // goes with it.
    std::string bracketed;
    const std::size_t at = FAddress.rfind('@');
    if (at == std::string::npos) {
        bracketed = FName.empty() ? "" : "<>";
    } else {
        const std::string_view local = std::string_view(FAddress).substr(0, at);
        const std::string_view domain = std::string_view(FAddress).substr(at);
        const auto odd = std::find_if(local.begin(), local.end(), [](char c) { return !isLocalPartChar(c); });
        if (odd != local.end() && *odd != '.') {
            bracketed = "<" + quoted(local) + std::string(domain) + ">";
        } else {
            bracketed = FName.empty() ? FAddress : "<" + FAddress + ">";
        }
    }
    // A name that only repeats the address adds nothing.
    if (FName.empty() || SameText(FName, FAddress)) return bracketed;
    if (std::all_of(FName.begin(), FName.end(), isNameChar)) return FName + " " + bracketed;
    return quoted(FName) + " " + bracketed;
}

const TIdEMailAddressItem& TIdEMailAddressList::Items(int index) const {
    assert(index >= 0 && index < Count());
    return FItems[static_cast<std::size_t>(index)];
}

TIdEMailAddressItem& TIdEMailAddressList::Add(std::string_view text) {
    TIdEMailAddressItem item;
    item.SetText(text);
    FItems.push_back(std::move(item));
    return FItems.back();
}

void TIdEMailAddressList::addUnlessEmpty(std::string_view text) {
    TIdEMailAddressItem item;
    item.SetText(text);
    // With an "@" in the address the item's text holds it and is neither
    // empty nor "<>"; only the rest needs the text built to be judged.
    if (item.Address().find('@') == std::string::npos) {
        const std::string display = item.Text();
        const std::string_view trimmed = Trim(display);
        if (trimmed.empty() || trimmed == "<>") return;
    }
    FItems.push_back(std::move(item));
}

std::string TIdEMailAddressList::AddressListText() const {
    std::string text;
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (i > 0) text += ", ";
        text += FItems[i].Text();
    }
    return text;
}

namespace {

// The bytes that steer the list split: commas outside quotes and comments
// end an item; a colon drops a group name, a semicolon ends a group.
const TByteSet& listSpecials(bool quotedText, int depth) {
    static constexpr TByteSet inComment("()\\"), inQuotes("\"\\"), outside(":;(,\" \t");
    if (depth > 0) return inComment;
    if (quotedText) return inQuotes;
    return outside;
}

}  // namespace

void TIdEMailAddressList::ParseAddressList(std::string_view text) {
    FItems.clear();
    if (Trim(text).empty()) return;
    if (listSpecials(false, 0).FindIn(text) == npos) {
        Add(TrimLeft(text));
        return;
    }
    std::string current;
    bool quotedText = false;
    int depth = 0;
    std::string_view s = text;
    for (std::size_t p = listSpecials(quotedText, depth).FindIn(s); p != npos;
         p = listSpecials(quotedText, depth).FindIn(s)) {
        const char c = s[p];
        // Everything up to the special character (exclusive for the item
        // ends, inclusive otherwise; a backslash takes the next byte too).
        const std::size_t keep = c == ',' || c == ';' ? p : c == '\\' ? std::min(p + 2, s.size()) : p + 1;
        const std::size_t consumed = c == '\\' ? keep : p + 1;
        if (c != ':') current += s.substr(0, keep);
        s.remove_prefix(consumed);
        switch (c) {
            case '"': quotedText = !quotedText; break;
            case '(': ++depth; break;
            case ')': --depth; break;
            case ',':
                addUnlessEmpty(current);
                current.clear();
                break;
            case ':': current.clear(); break;
            case ';':
                if (!Trim(current).empty()) {
                    Add(TrimLeft(current));
                    current.clear();
                }
                break;
            default: break;
        }
    }
    if (Trim(current).empty() && Trim(s).empty()) return;
    current += s;
    addUnlessEmpty(TrimLeft(current));
}
