#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The friends list: senders whose mail is never marked as spam. One entry a
// line, an address ("anna@example.org") or a whole domain ("@example.org"),
// compared with the sender's address without regard to the case of the
// letters a to z. Plain C++ on bytes; nothing here touches a widget.

// The friends list file, beside the word list (ui::UserFilePath).
[[nodiscard]] std::string FriendsFilePath();

// An entry as it is compared: spaces and control characters trimmed from
// both ends, the letters a to z upper-cased. Empty for a blank entry.
[[nodiscard]] std::string FriendKey(std::string_view entry);

// A friends list prepared once for a check run. A lookup hashes the address
// once and probes a flat table twice (the address, then its domain),
// whatever the number of entries.
class TFriendsList {
public:
    TFriendsList() = default;
    // Blank entries and a bare "@" are left out; of entries equal but for
    // letter case the first is kept.
    explicit TFriendsList(const std::vector<std::string>& entries);

    // The entry, as written, that makes `address` a friend: the address
    // itself, else the domain from its last "@" on; null when none does.
    [[nodiscard]] const std::string* Find(std::string_view address) const;
    [[nodiscard]] bool Empty() const { return keys_.empty(); }

private:
    struct TSlot {
        std::uint64_t Hash = 0;
        std::uint32_t Index = 0;  // into keys_, plus one; 0 = empty
    };
    [[nodiscard]] const std::string* Probe(std::uint64_t hash, std::string_view part) const;
    void Mark(std::uint64_t domainHash);
    [[nodiscard]] bool Marked(std::uint64_t domainHash) const;

    std::vector<std::string> keys_;
    std::vector<std::string> entries_;
    std::vector<TSlot> slots_;  // open addressing, a power of two long
    // One bit per domain hash, set for the domain of every entry: a clear
    // bit answers "no friend" from 4 kB that stay in the cache beside the
    // spam word tables.
    std::vector<std::uint64_t> seen_;
    bool hasAddresses_ = false;
    bool hasDomains_ = false;
};

// Throws EIdException when `entry` cannot stand as one line of the friends
// list: a control character (a line break would make two entries of it,
// naming a sender nobody chose).
void CheckFriendEntry(std::string_view entry);

// Appends `address` to the friends list file unless an entry with the same
// key is there; true when it was added. A missing file is created. Throws
// EIdException when the address is blank or fails CheckFriendEntry, or when
// the file cannot be read or written; a failed write leaves the previous
// file intact.
bool AddFriend(const std::string& path, std::string_view address);
