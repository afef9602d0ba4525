#pragma once

#include "net/IdException.h"

#include <string>
#include <string_view>
#include <vector>

// Raised for an "@" that follows a closed bracketed address outside the
// brackets ("<a@b.example> c@d.example").
class EIdEmailParseError : public EIdParseError {
public:
    EIdEmailParseError() : EIdParseError("@ Outside address") {}
};

// One e-mail address: the mailbox and the display name. Assigning Text parses
// a single address leniently; reading Text gives the display form
// ("Name <local@domain>", quoted where the name or local part needs it).
class TIdEMailAddressItem {
public:
    TIdEMailAddressItem() = default;

    // The mailbox (local part "@" domain) without angle brackets.
    [[nodiscard]] const std::string& Address() const { return FAddress; }
    void SetAddress(std::string address) { FAddress = std::move(address); }

    // The display name, unquoted and unescaped.
    [[nodiscard]] const std::string& Name() const { return FName; }
    void SetName(std::string name) { FName = std::move(name); }

    // The display form of Name and Address ("" for an empty item).
    [[nodiscard]] std::string Text() const;

    // Replaces Name and Address with those parsed from `value`. Comments are
    // dropped; nothing is rejected except a second address after a bracketed
    // one, which throws EIdEmailParseError.
    void SetText(std::string_view value);

private:
    std::string FAddress;
    std::string FName;
};

// An ordered list of addresses parsed from one header field.
class TIdEMailAddressList {
public:
    [[nodiscard]] int Count() const { return static_cast<int>(FItems.size()); }
    [[nodiscard]] const TIdEMailAddressItem& Items(int index) const;
    [[nodiscard]] const TIdEMailAddressItem& operator[](int index) const { return Items(index); }
    [[nodiscard]] auto begin() const { return FItems.begin(); }
    [[nodiscard]] auto end() const { return FItems.end(); }

    // Appends an item parsed from `text` (throws as SetText does).
    TIdEMailAddressItem& Add(std::string_view text);
    void Clear() { FItems.clear(); }

    // Replaces the items by those of a field value: addresses separated by
    // commas outside quotes and comments; group names ("Team:") are dropped,
    // and parts whose display form is empty or "<>" are removed. Throws
    // EIdEmailParseError from an item; the items before it stay in the list.
    void ParseAddressList(std::string_view text);

    // The display forms of all items joined by ", " ("" for an empty list).
    [[nodiscard]] std::string AddressListText() const;

private:
    void addUnlessEmpty(std::string_view text);

    std::vector<TIdEMailAddressItem> FItems;
};
