#include "app/udmAccountSecurity.h"

#include "message/IdGlobal.h"
#include "net/IdException.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

constexpr std::string_view kBlockStart = "[account]";

struct ModeName {
    TIdUseTLS mode;
    const char* name;
};

constexpr ModeName kModeNames[] = {
    {TIdUseTLS::utNoTLS, "None"},
    {TIdUseTLS::utImplicitTLS, "SSL/TLS"},
    {TIdUseTLS::utStartTLS, "STARTTLS"},
};

bool sameTie(const TAccountFields& a, const TAccountFields& b) {
    return a.Name == b.Name && a.Host == b.Host && a.UserName == b.UserName &&
           Trim(a.Port) == Trim(b.Port);
}

// One "key=value" line into the block; false when the block cannot be used
// (a field that does not unscramble, a mode that is not one of ours).
bool readLine(TAccountFields& block, std::string_view line, bool& modeGiven) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return true;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = line.substr(equals + 1);
    try {
        if (key == "name") block.Name = UnscrambleText(value);
        if (key == "host") block.Host = UnscrambleText(value);
        if (key == "user") block.UserName = UnscrambleText(value);
    } catch (const EConvertError&) {
        return false;
    }
    if (key == "port") block.Port = Trim(value);
    if (key == "trusted") block.Security.TrustedFingerprint = Trim(value);
    if (key == "security") {
        const std::optional<TIdUseTLS> mode = SecurityModeOf(value);
        if (!mode) return false;
        block.Security.Mode = *mode;
        modeGiven = true;
    }
    return true;
}

}  // namespace

const char* SecurityModeName(TIdUseTLS mode) {
    for (const ModeName& row : kModeNames)
        if (row.mode == mode) return row.name;
    return "None";
}

std::optional<TIdUseTLS> SecurityModeOf(std::string_view name) {
    name = Trim(name);
    for (const ModeName& row : kModeNames)
        if (SameText(name, row.name)) return row.mode;
    return std::nullopt;
}

TAccountSecurity DefaultSecurity(std::string_view port) {
    TAccountSecurity security;
    if (Trim(port) == "995") security.Mode = TIdUseTLS::utImplicitTLS;
    return security;
}

std::vector<TAccountFields> ReadAccountSecurityFile(const std::string& path) {
    std::vector<TAccountFields> blocks;
    if (!std::filesystem::exists(path)) return blocks;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EIdException("Cannot open file " + path + ": " + std::strerror(errno));
    std::optional<TAccountFields> block;
    bool usable = false, modeGiven = false;
    const auto finish = [&] {
        if (block && usable && modeGiven) blocks.push_back(std::move(*block));
        block.reset();
    };
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (Trim(line) == kBlockStart) {
            finish();
            block.emplace();
            usable = true;
            modeGiven = false;
        } else if (block && usable) {
            usable = readLine(*block, line, modeGiven);
        }
    }
    if (in.bad()) throw EIdException("Cannot read file " + path + ": " + std::strerror(errno));
    finish();
    return blocks;
}

TAccountSecurity TakeAccountSecurity(std::vector<TAccountFields>& blocks, const TAccountFields& account) {
    const auto found =
        std::find_if(blocks.begin(), blocks.end(), [&](const TAccountFields& b) { return sameTie(b, account); });
    if (found == blocks.end()) return DefaultSecurity(account.Port);
    TAccountSecurity security = found->Security;
    blocks.erase(found);
    return security;
}

void WriteAccountSecurityFile(const std::string& path, const std::vector<TAccountFields>& accounts) {
    std::string text;
    for (const TAccountFields& a : accounts) {
        text.append(kBlockStart).append("\r\n");
        text += "name=" + ScrambleText(a.Name) + "\r\n";
        text += "host=" + ScrambleText(a.Host) + "\r\n";
        text += "user=" + ScrambleText(a.UserName) + "\r\n";
        text += "port=" + a.Port + "\r\n";
        text += std::string("security=") + SecurityModeName(a.Security.Mode) + "\r\n";
        if (!a.Security.TrustedFingerprint.empty()) text += "trusted=" + a.Security.TrustedFingerprint + "\r\n";
    }
    WriteFileAtomically(path, text);
}
