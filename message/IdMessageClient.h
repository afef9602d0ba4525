#pragma once

#include "message/IdMessage.h"
#include "net/IdTCPClient.h"

#include <string>
#include <string_view>

// A connection that reads Internet messages: header lines now, bodies
// and MIME parts where a whole message is fetched.
class TIdMessageClient : public TIdTCPClient {
public:
    // Reads header lines into msg.HeaderLines until the terminator line
    // (or "." when the terminator is empty), skipping empty lines, then
    // fills the header fields. Returns the line that ended the loop.
    std::string ReceiveHeaderLines(TIdMessage& msg, std::string_view alternateTerminator);

    // Recomputes the header-derived fields of msg from its HeaderLines.
    static void ReadHeaderFields(TIdMessage& msg);
};
