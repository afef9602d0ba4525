#pragma once

#include "message/IdMessageClient.h"

#include <string>
#include <vector>

// "Unrecognized POP3 Response Header:" LF '"' %s '"'.
extern const char* const UnrecognizedReplyFormat;

// The client side of POP3 as this program uses it: login, STAT, LIST,
// UIDL, TOP n 0, DELE and QUIT. "+OK" maps to reply code 1, "-ERR" to 2.
class TIdPOP3 : public TIdMessageClient {
public:
    TIdPOP3();

    // Opens the connection, reads the greeting and logs in (USER/PASS or
    // APOP). A failure after the socket opened sends QUIT and closes.
    void Connect(int timeout = -1) override;
    // Sends QUIT when connected (no reply read), then closes.
    void Disconnect() override;

    int ReadResponse(const std::vector<int>& allowed) override;

    [[nodiscard]] int MessageCount();
    [[nodiscard]] int MessageSize(int messageNumber);
    bool ListUniqueIds(std::vector<std::string>& list, int messageNumber = -1);
    bool FetchHeader(int messageNumber, TIdMessage& msg);
    bool DeleteMessage(int messageNumber);

    std::string Username;
    std::string Password;
    bool APOP = false;
};
