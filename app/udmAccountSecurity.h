#pragma once

// How each account is secured, kept in a file of its own beside
// accounts.dat, whose five lines per account stay as they always were.
//
// The file holds one block per account, in list order, lines ended by CR LF
// (LF also read):
//
//   [account]
//   name=<the account's name>
//   host=<its server>
//   user=<its user name>
//   port=<its port, as in accounts.dat>
//   security=None | SSL/TLS | STARTTLS
//   trusted=<SHA-256 fingerprint of a certificate the user trusted>
//
// Name, server and user name are scrambled as in accounts.dat (plain text
// is read too). They tie a block to its account: an account gets the first
// block not yet taken whose four fields equal its own. An account without
// a block (an older file, a hand-edited accounts.dat) is secured as its
// port suggests, and a block without an account is dropped at the next
// save. Within the program the security travels with the account itself,
// so editing, reordering and removing accounts keep it right.

#include "app/udmAccounts.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kAccountSecurityFileName = "accounts-security.dat";

// "None", "SSL/TLS", "STARTTLS".
[[nodiscard]] const char* SecurityModeName(TIdUseTLS mode);
// The mode of such a name (any case, blanks around it ignored).
[[nodiscard]] std::optional<TIdUseTLS> SecurityModeOf(std::string_view name);

// The security of an account that has none stored: SSL/TLS on port 995,
// none on any other.
[[nodiscard]] TAccountSecurity DefaultSecurity(std::string_view port);

// The blocks of the file at `path` as accounts holding the four tying
// fields and the security (no password); none when there is no file.
// Blocks that cannot be read are left out. Throws EIdException when the
// file exists but cannot be read.
[[nodiscard]] std::vector<TAccountFields> ReadAccountSecurityFile(const std::string& path);

// The security of the block tying to `account`, which is taken out of
// `blocks`; DefaultSecurity when none does.
[[nodiscard]] TAccountSecurity TakeAccountSecurity(std::vector<TAccountFields>& blocks,
                                                   const TAccountFields& account);

// Writes one block per account, atomically, readable by the owner only.
void WriteAccountSecurityFile(const std::string& path, const std::vector<TAccountFields>& accounts);
