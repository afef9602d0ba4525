#include "net/IdTCPClient.h"

#include "net/IdExceptions.h"

void TIdTCPClient::Connect(int timeout) {
    if (IOHandler() != nullptr && IOHandler()->Connected()) throw EIdAlreadyConnected();
    ensureIOHandler();
    IOHandler()->OnStatus = OnStatus;
    try {
        IOHandler()->Open();
        resetForConnect();
        IOHandler()->ConnectClient(Host, Port, BoundIP, BoundPort, BoundPortMin, BoundPortMax, timeout);
        DoStatus(TIdStatus::hsConnected);
        DoOnConnected();
    } catch (...) {
        DisconnectSocket();
        throw;
    }
}

void TIdTCPClient::DoOnConnected() {
    if (OnConnected) OnConnected(*this);
}
