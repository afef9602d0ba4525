#pragma once

#include "net/IdTCPConnection.h"

#include <string>

// A connection that opens itself: the target address and the local bind.
class TIdTCPClient : public TIdTCPConnection {
public:
    // Opens the connection to Host:Port (timeout in milliseconds, -1 for
    // the default connect). Raises EIdAlreadyConnected when the socket is
    // open, EIdInvalidPort for a port outside 1 to 65535, the socket errors
    // of the lookup and the connect. A failure closes the socket and keeps
    // the transport for the next Connect.
    virtual void Connect(int timeout = -1);

    std::string Host;
    int Port = 0;
    std::string BoundIP;
    int BoundPort = 0;
    int BoundPortMin = 0;
    int BoundPortMax = 0;
    TNotifyEvent OnConnected;

protected:
    virtual void DoOnConnected();
};
