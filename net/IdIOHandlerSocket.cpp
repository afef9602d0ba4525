#include "net/IdIOHandlerSocket.h"

#include "net/IdExceptions.h"

#include <sys/socket.h>

TIdIOHandlerSocket::~TIdIOHandlerSocket() { Close(); }

void TIdIOHandlerSocket::Open() {
    if (binding_) {
        binding_->Reset();
    } else {
        binding_ = std::make_unique<TIdSocketHandle>();
    }
}

void TIdIOHandlerSocket::Close() {
    if (binding_) binding_->CloseSocket();
}

bool TIdIOHandlerSocket::Connected() { return binding_ && binding_->HandleAllocated(); }

void TIdIOHandlerSocket::ConnectClient(const std::string& host, int port, const std::string& boundIP,
                                       int boundPort, int boundPortMin, int boundPortMax, int timeout) {
    if (port < 1 || port > 65535) throw EIdInvalidPort(port);
    if (!binding_) Open();
    binding_->AllocateSocket(SOCK_STREAM);
    binding_->IP = boundIP;
    binding_->Port = boundPort;
    binding_->ClientPortMin = boundPortMin;
    binding_->ClientPortMax = boundPortMax;
    binding_->Bind();
    if (!TIdStack::IsIP(host)) DoStatus(TIdStatus::hsResolving, host);
    binding_->PeerIP = TIdStack::ResolveHost(host);
    binding_->PeerPort = port;
    if (!UseNagle) binding_->SetNoDelay(true);
    DoStatus(TIdStatus::hsConnecting, binding_->PeerIP);
    connectSocket(timeout);
}

void TIdIOHandlerSocket::connectSocket(int timeout) {
    const bool direct = timeout == -1 || timeout == 0;
    if (direct && !TIdStack::HasIdleHook()) {
        if (binding_->Connect() != 0) TIdStack::RaiseSocketError(TIdStack::WSGetLastError());
        return;
    }
    binding_->ConnectWithin(direct ? kIdleConnectLimit : timeout);
}

bool TIdIOHandlerSocket::Readable(int msec) {
    if (!binding_) throw EIdConnClosedGracefully();
    return binding_->Readable(msec);
}

int TIdIOHandlerSocket::Send(const char* data, std::size_t size) {
    if (!Connected()) throw EIdClosedSocket();
    return binding_->Send(data, size);
}

int TIdIOHandlerSocket::Recv(char* buffer, std::size_t size) {
    if (!Connected()) throw EIdClosedSocket();
    return binding_->Recv(buffer, size);
}

int TIdIOHandlerSocket::RecvWithin(char* buffer, std::size_t size, int msec) {
    if (!Connected()) throw EIdClosedSocket();
    return binding_->RecvWithin(buffer, size, msec);
}
