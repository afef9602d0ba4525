#include "app/udmFriends.h"

#include "app/udmSpam.h"
#include "message/IdGlobal.h"
#include "net/IdException.h"
#include "ui/Paths.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
constexpr std::size_t kSeenBits = 32768;

// The letters a to z of eight bytes upper-cased at once: a byte below 0x80
// whose value lies from "a" to "z" loses its 0x20 bit. No addition carries
// into the next byte, as every byte is at most 0x7F before it.
std::uint64_t upperCaseAZ8(std::uint64_t bytes) {
    const std::uint64_t low7 = bytes & (0x7F * kOnes);
    const std::uint64_t fromA = low7 + (0x80 - 'a') * kOnes;
    const std::uint64_t pastZ = low7 + (0x80 - 'z' - 1) * kOnes;
    const std::uint64_t letters = fromA & ~pastZ & ~bytes & (0x80 * kOnes);
    return bytes ^ (letters >> 2);
}

std::uint64_t mix(std::uint64_t hash, std::uint64_t bytes) {
    hash = (hash ^ bytes) * kMultiplier;
    return hash ^ (hash >> 29);
}

// A hash of the upper-cased text, eight bytes a step: the lookup runs for
// every message of a check run.
std::uint64_t hashUpper(std::string_view text) {
    std::uint64_t hash = mix(0, text.size());
    for (; text.size() >= 8; text.remove_prefix(8)) {
        std::uint64_t bytes;
        std::memcpy(&bytes, text.data(), 8);
        hash = mix(hash, upperCaseAZ8(bytes));
    }
    if (!text.empty()) {
        // Byte by byte: a copy of a varying length would be a call.
        std::uint64_t bytes = 0;
        for (std::size_t i = 0; i < text.size(); ++i)
            bytes |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
        hash = mix(hash, upperCaseAZ8(bytes));
    }
    return hash;
}

const std::uint64_t kEmptyHash = hashUpper({});

// The hashes of a key: a domain's ("@" and what follows), and an address's
// from the part before the "@" and its domain's hash, so that the lookup
// of an address hashes its domain once for both.
std::uint64_t domainHashOf(std::string_view domain) { return mix(kEmptyHash, hashUpper(domain)); }

std::uint64_t addressHashOf(std::string_view local, std::uint64_t domainHash) {
    return mix(hashUpper(local), domainHash);
}

// An address split at its last "@" (a quoted local part may hold another):
// the part before it, and the domain from it on, empty when there is none.
std::pair<std::string_view, std::string_view> splitAddress(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) return {address, {}};
    return {address.substr(0, at), address.substr(at)};
}

}  // namespace

std::string FriendsFilePath() { return ui::UserFilePath("friends.dat"); }

std::string FriendKey(std::string_view entry) { return UpperCaseAZ(Trim(entry)); }

TFriendsList::TFriendsList(const std::vector<std::string>& entries) {
    std::size_t size = 16;
    while (size < entries.size() * 2) size *= 2;
    slots_.resize(size);
    seen_.assign(kSeenBits / 64, 0);
    for (const std::string& entry : entries) {
        std::string key = FriendKey(entry);
        // A bare "@" names no domain; it would make every address that ends
        // in "@" a friend.
        if (key.empty() || key == "@") continue;
        const auto [local, domain] = splitAddress(key);
        const std::uint64_t domainHash = domainHashOf(domain);
        const std::uint64_t hash = local.empty() ? domainHash : addressHashOf(local, domainHash);
        if (Probe(hash, key)) continue;
        std::size_t at = hash & (slots_.size() - 1);
        while (slots_[at].Index != 0) at = (at + 1) & (slots_.size() - 1);
        (key.front() == '@' ? hasDomains_ : hasAddresses_) = true;
        Mark(domainHash);
        keys_.push_back(std::move(key));
        entries_.push_back(entry);
        slots_[at] = {hash, static_cast<std::uint32_t>(keys_.size())};
    }
}

void TFriendsList::Mark(std::uint64_t domainHash) {
    const std::size_t bit = (domainHash >> 32) % kSeenBits;
    seen_[bit / 64] |= std::uint64_t{1} << (bit % 64);
}

bool TFriendsList::Marked(std::uint64_t domainHash) const {
    const std::size_t bit = (domainHash >> 32) % kSeenBits;
    return (seen_[bit / 64] & (std::uint64_t{1} << (bit % 64))) != 0;
}

const std::string* TFriendsList::Probe(std::uint64_t hash, std::string_view part) const {
    for (std::size_t at = hash & (slots_.size() - 1); slots_[at].Index != 0; at = (at + 1) & (slots_.size() - 1)) {
        const TSlot& slot = slots_[at];
        if (slot.Hash == hash && SameText(keys_[slot.Index - 1], part)) return &entries_[slot.Index - 1];
    }
    return nullptr;
}

const std::string* TFriendsList::Find(std::string_view address) const {
    if (keys_.empty() || address.empty()) return nullptr;
    const auto [local, domain] = splitAddress(address);
    const std::uint64_t domainHash = domainHashOf(domain);
    // Mostly no entry names the sender's domain, alone or in an address:
    // that answer comes without hashing the rest of the address.
    if (!Marked(domainHash)) return nullptr;
    if (hasAddresses_) {
        if (const std::string* entry = Probe(addressHashOf(local, domainHash), address)) return entry;
    }
    if (!hasDomains_ || domain.size() <= 1) return nullptr;
    return Probe(domainHash, domain);
}

void CheckFriendEntry(std::string_view entry) {
    const bool control = std::any_of(entry.begin(), entry.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
    if (control) throw EIdException("A friends list entry cannot hold a line break or control character.");
}

bool AddFriend(const std::string& path, std::string_view address) {
    const std::string key = FriendKey(address);
    if (key.empty()) throw EIdException("The message has no sender address.");
    CheckFriendEntry(key);
    std::vector<std::string> entries = ReadFilterFile(path);
    if (std::any_of(entries.begin(), entries.end(), [&](const std::string& e) { return FriendKey(e) == key; }))
        return false;
    entries.emplace_back(Trim(address));
    WriteFilterFile(path, entries);
    return true;
}
