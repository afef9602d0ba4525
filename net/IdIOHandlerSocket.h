#pragma once

#include "net/IdIOHandler.h"
#include "net/IdSocketHandle.h"

#include <memory>

// The socket transport: one TIdSocketHandle, created at the first Open and
// reset at later ones.
class TIdIOHandlerSocket : public TIdIOHandler {
public:
    TIdIOHandlerSocket() = default;
    ~TIdIOHandlerSocket() override;

    void Open() override;
    void Close() override;
    [[nodiscard]] bool Connected() override;
    // Allocates and binds a stream socket, resolves the host (hsResolving
    // when it is not a dotted address), connects (hsConnecting with the
    // peer address). A port outside 1 to 65535 raises EIdInvalidPort first.
    // With an idle hook set and no limit, the connect waits at most 120 s so
    // that the hook keeps being called.
    void ConnectClient(const std::string& host, int port, const std::string& boundIP, int boundPort,
                       int boundPortMin, int boundPortMax, int timeout) override;
    [[nodiscard]] bool Readable(int msec) override;
    int Send(const char* data, std::size_t size) override;
    int Recv(char* buffer, std::size_t size) override;
    int RecvWithin(char* buffer, std::size_t size, int msec) override;

    // The socket handle; nullptr before the first Open.
    [[nodiscard]] TIdSocketHandle* Binding() { return binding_.get(); }

    bool UseNagle = true;

    static constexpr int kIdleConnectLimit = 120000;

private:
    void connectSocket(int timeout);

    std::unique_ptr<TIdSocketHandle> binding_;
};
