#pragma once

#include "net/IdSSLIOHandlerSocket.h"
#include "ui/Paths.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// How an account's connection is secured. It lives in a file of its own
// beside accounts.dat (udmAccountSecurity), which keeps its five lines.
struct TAccountSecurity {
    TIdUseTLS Mode = TIdUseTLS::utNoTLS;
    // The SHA-256 fingerprint of a certificate the user chose to trust for
    // this account although it did not verify; empty for none.
    std::string TrustedFingerprint;

    bool operator==(const TAccountSecurity&) const = default;
};

// One POP3 account as it travels between the account list, the account
// dialog and the check run. Texts are bytes, as stored in accounts.dat.
struct TPOP3Rec {
    std::string Name;
    std::string Host;
    std::string UserName;
    std::string Password;
    std::int32_t Port = 110;
    TAccountSecurity Security{};
};

// The five stored fields of one account, all as text: the port stays text
// until the account is used, so a hand-edited port that is not a number
// fails only then.
struct TAccountFields {
    std::string Name;
    std::string Host;
    std::string UserName;
    std::string Password;
    std::string Port;
    TAccountSecurity Security{};
};

// The account file's name; ui::UserFilePath says in which folder.
using ui::kAccountsFileName;

// "." then one group of six characters per byte: three digits holding the
// byte rotated right by 3 bits, then a random capital A-T, a random small
// letter a-r and a random digit 0-8 that carry nothing.
[[nodiscard]] std::string ScrambleText(std::string_view text);

// The inverse of ScrambleText. A text not starting with "." is plain and
// comes back as it is; a trailing group shorter than 3 characters is
// ignored. Throws EConvertError when a group's digits are not an integer.
[[nodiscard]] std::string UnscrambleText(std::string_view text);

// The fields of an account record with the port as decimal text.
[[nodiscard]] TAccountFields FieldsOf(const TPOP3Rec& rec);

// The record of stored fields; throws EConvertError when the port is not an
// integer.
[[nodiscard]] TPOP3Rec RecOf(const TAccountFields& fields);

// Reads the account file at `path`, handing every complete account to
// `add` in file order. Five lines per account (LF or CR LF ends); a line
// after the end of the file reads as empty, so a truncated last account
// gets empty fields. An unreadable file throws EIdException, a bad
// scrambled field EConvertError; the accounts handed over before stay.
void ReadAccountsFile(const std::string& path,
                      const std::function<void(const TAccountFields&)>& add);

// Writes `bytes` to a new file readable and writable by its owner only,
// which then replaces the one at `path`, so that a failed write leaves the
// old file as it was. Throws EIdException when it cannot be written.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

// Writes the accounts to `path`, every field scrambled, CR LF line ends.
// The text goes to a new file, readable and writable by its owner only,
// which then replaces the old one, so a failed write leaves the old file
// as it was. Throws EIdException when the file cannot be written.
void WriteAccountsFile(const std::string& path, const std::vector<TAccountFields>& accounts);
