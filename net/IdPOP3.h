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
    // APOP). A failure after the socket opened sends QUIT and closes, then
    // passes on: EIdProtocolReplyError for "-ERR", EIdException for an
    // unrecognised reply or an APOP greeting without timestamp.
    void Connect(int timeout = -1) override;
    // Sends QUIT when connected (no reply read), then closes; the socket is
    // closed also when sending QUIT raises, and that failure passes on.
    void Disconnect() override;

    // Reads one single-line reply and maps its status word, in any letter case: "+OK"
    // to 1, "-ERR" to 2; anything else raises EIdException with the message
    // made from UnrecognizedReplyFormat. Then checks the code against
    // `allowed` ({-1}: any).
    int ReadResponse(const std::vector<int>& allowed) override;

    // "STAT": the message count; 0 for a bare "+OK". Raises EConvertError
    // when the text before the first blank (all of it when the size is left
    // out) is not an integer.
    [[nodiscard]] int MessageCount();
    // "LIST n": the size in bytes (the word after the message number,
    // whatever follows it), -1 when the reply holds no number there.
    [[nodiscard]] int MessageSize(int messageNumber);
    // The size in the reply "+OK number size" to "LIST number"; -1 when it
    // has none.
    [[nodiscard]] static int ListedSize(const TIdRFCReply& reply);
    // "UIDL" (messageNumber < 0): appends the listing lines to `list`;
    // "UIDL n": replaces `list` by the reply text. False on "-ERR".
    bool ListUniqueIds(std::vector<std::string>& list, int messageNumber = -1);
    // "TOP n 0": reads the header lines up to "." into msg. True or raises.
    bool FetchHeader(int messageNumber, TIdMessage& msg);
    // "DELE n": marks the message; the server removes it after QUIT.
    bool DeleteMessage(int messageNumber);

    std::string Username;
    std::string Password;
    bool APOP = false;

private:
    // Disconnect after a failed login, keeping a QUIT failure from hiding
    // the login failure.
    void closeAfterFailedLogin();
};
