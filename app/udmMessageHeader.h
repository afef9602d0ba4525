#pragma once

#include "message/IdMessage.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TPOP3;

// One message of the last check run: what the run read of it. Plain data:
// building one talks to no server; the commands that act on the message
// (deletion, download) use its client.
class TMessageHeader {
public:
    // A record for message `number` of the run of `client`, with an empty
    // message for the run to read the header into.
    TMessageHeader(std::shared_ptr<TPOP3> client, int number);
    TMessageHeader(const TMessageHeader&) = delete;
    TMessageHeader& operator=(const TMessageHeader&) = delete;

    // The run's client, shared by all records of the run.
    std::shared_ptr<TPOP3> Client;
    // The header read by the run (later the whole message); its Tag holds
    // the size the server listed, -1 when the listing held no number.
    std::unique_ptr<TIdMessage> Msg;
    std::int32_t Number = 0;
    bool Retrieved = false;
    bool Deleted = false;
    // The unique id the run's "UIDL" listing gave this number; empty when the
    // server has no listing or left the number out. A later command on a new
    // connection compares it with "UIDL n" to make sure that n still names
    // this message.
    std::string UniqueId;
    // What went wrong while the header was read, empty when nothing did.
    std::string HeaderError;
    // The header held a line over the length limit, kept cut at the limit:
    // HeaderLines is not the whole header.
    bool HeaderCut = false;
    // The "To" text shown when the field could not be parsed into addresses.
    std::string RawRecipients;
    // Why the check run marked the message, or that its sender is a friend,
    // in one line; empty for any other message.
    std::string SpamReason;
    // Never reused within the process: a header list row keeps it to find
    // its own record, whatever the message's "Message-Id".
    const std::uint64_t Serial;

    // The column texts.
    [[nodiscard]] QString DateText() const;
    [[nodiscard]] std::string SizeText() const;
    [[nodiscard]] std::string SenderText() const;
    [[nodiscard]] std::string RecipientsText() const;
    [[nodiscard]] std::string SubjectText() const;
    [[nodiscard]] std::string IdText() const;

    // The text for the message view: before a download the header lines as
    // received, each followed by CR LF.
    [[nodiscard]] std::string ViewText() const;
};

using TMessageHeaders = std::vector<std::unique_ptr<TMessageHeader>>;

// The records of the last check run, in message number order.
[[nodiscard]] TMessageHeaders& MessageHeaders();

// The first record whose Message-Id equals `id` byte for byte, or null.
[[nodiscard]] TMessageHeader* FindHeaderById(std::string_view id);

// The record with that serial, or null when it is no longer held.
[[nodiscard]] TMessageHeader* FindHeaderBySerial(std::uint64_t serial);

// Drops every record; their connections are closed without "QUIT".
void AbandonMessageHeaders();
