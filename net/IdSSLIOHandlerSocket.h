#pragma once

#include "net/IdException.h"
#include "net/IdIOHandlerSocket.h"

#include <string>
#include <vector>

class TIdTCPConnection;
struct ssl_st;

// How a connection is secured: not at all, with TLS from the first byte
// (POP3 on port 995), or with TLS begun by a command after the greeting
// ("STLS").
enum class TIdUseTLS { utNoTLS, utImplicitTLS, utStartTLS };

// What the user needs to judge a server certificate.
struct TIdCertificateInfo {
    std::string Subject;
    std::string Issuer;
    std::string NotBefore;  // "YYYY-MM-DD HH:MM:SS UTC"
    std::string NotAfter;
    std::string Fingerprint;  // SHA-256, upper-case hex pairs joined by ":"
};

// The encrypted connection could not be set up or broke down.
class EIdTLSError : public EIdException {
public:
    using EIdException::EIdException;
};

// The server's certificate was not accepted; the message explains why in
// plain words and describes the certificate. Nothing was sent to the server.
class EIdTLSCertificateError : public EIdTLSError {
public:
    EIdTLSCertificateError(TIdCertificateInfo certificate, std::vector<std::string> problems);
    [[nodiscard]] const TIdCertificateInfo& Certificate() const { return certificate_; }
    [[nodiscard]] const std::vector<std::string>& Problems() const { return problems_; }

private:
    TIdCertificateInfo certificate_;
    std::vector<std::string> problems_;
};

// A server asked to begin TLS with a command refused it or does not know it.
class EIdTLSNotOffered : public EIdTLSError {
public:
    using EIdTLSError::EIdTLSError;
};

// The socket transport with TLS on top (OpenSSL, TLS 1.2 or later). Until
// StartTLS it passes bytes through as the plain transport does, so the same
// object serves a connection that begins TLS after its greeting. Sends never
// raise SIGPIPE and receives wait as the plain ones do: the bytes go through
// the socket handle's own Send and RecvWithin.
class TIdSSLIOHandlerSocket : public TIdIOHandlerSocket {
public:
    TIdSSLIOHandlerSocket() = default;
    ~TIdSSLIOHandlerSocket() override;
    TIdSSLIOHandlerSocket(const TIdSSLIOHandlerSocket&) = delete;
    TIdSSLIOHandlerSocket& operator=(const TIdSSLIOHandlerSocket&) = delete;

    void Open() override;
    void Close() override;
    // Connects the plain socket and keeps `host`: the name the certificate
    // must be issued for and the one named to the server (SNI).
    void ConnectClient(const std::string& host, int port, const std::string& boundIP, int boundPort,
                       int boundPortMin, int boundPortMax, int timeout) override;
    // True also when decrypted or undecrypted bytes wait inside TLS.
    [[nodiscard]] bool Readable(int msec) override;
    int Send(const char* data, std::size_t size) override;
    int Recv(char* buffer, std::size_t size) override;
    int RecvWithin(char* buffer, std::size_t size, int msec) override;

    // Begins the TLS handshake on the connected socket.
    void StartTLS();
    // Goes on with the handshake for up to `msec` milliseconds: true once it
    // is complete, false when the time passed first. Raises EIdTLSError
    // (after closing the socket) when it fails.
    bool ContinueHandshake(int msec);
    // After the handshake: accepts a certificate that verified against the
    // trusted authorities for the host name, or one whose fingerprint is
    // TrustedFingerprint; otherwise closes the socket and raises
    // EIdTLSCertificateError.
    void CheckPeerCertificate();
    [[nodiscard]] bool TLSActive() const { return ssl_ != nullptr; }

    // The SHA-256 fingerprint of a certificate the user chose to trust
    // although it did not verify (any case, with or without ":").
    std::string TrustedFingerprint;

    // The file of trusted authorities (PEM) used instead of the system's
    // store; empty restores the system's. Tests set it, in code.
    static void SetCAFile(const std::string& path);

    // For the transport's own callbacks.
    int rawRecv(char* buffer, std::size_t size);
    int rawSend(const char* data, std::size_t size);
    void noteProblem(int error) { problems_.push_back(error); }

private:
    void freeTLS(bool notifyPeer);
    void setWait(int msec);
    // A failed TLS call: 0 for the peer's close, -1 for a socket failure
    // (the error recorded as for the plain transport); raises otherwise.
    int failure(int result, const char* what);
    std::size_t drainRecords(char* buffer, std::size_t size);

    ssl_st* ssl_ = nullptr;
    std::string host_;
    std::vector<int> problems_;
    // Milliseconds a raw receive may still wait (-1: no limit), counted
    // from waitStart_.
    int waitLimit_ = -1;
    long long waitStart_ = 0;
    bool socketFailed_ = false;
    bool broken_ = false;
    bool established_ = false;
    // While set, a raw receive takes only what has arrived, without waiting.
    bool drainOnly_ = false;
};

// Secures the connection's socket: handshake and certificate check, waiting
// as the connection's reads do (ReadTimeout, or the idle connect limit when
// that is 0) and calling the idle hook between waits. The transport must be
// a TIdSSLIOHandlerSocket. Raises EIdTLSError, EIdTLSCertificateError,
// EIdReadTimeout, EIdNotConnected (the hook closed the connection).
void NegotiateTLS(TIdTCPConnection& connection);

// The same fingerprint, whatever its case and ":" separators.
[[nodiscard]] bool SameFingerprint(const std::string& a, const std::string& b);
