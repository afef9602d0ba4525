#include "net/IdSSLIOHandlerSocket.h"

#include "net/IdExceptions.h"
#include "net/IdTCPConnection.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

namespace {

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// ---------------------------------------------------------------------------
// The shared context: TLS 1.2 or later, the trusted authorities, and a
// verification that notes every problem and lets the handshake finish, so
// that the certificate can be explained (and nothing sent) afterwards.

std::mutex contextLock;
std::string caFile;
SSL_CTX* context = nullptr;

TIdSSLIOHandlerSocket* handlerOf(SSL* ssl) { return static_cast<TIdSSLIOHandlerSocket*>(SSL_get_app_data(ssl)); }

int noteProblem(int ok, X509_STORE_CTX* store) {
    if (ok == 0) {
        auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        if (ssl != nullptr && handlerOf(ssl) != nullptr) handlerOf(ssl)->noteProblem(X509_STORE_CTX_get_error(store));
    }
    return 1;
}

std::string lastTLSReason() {
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    return reason != nullptr ? reason : "unknown error";
}

// The context, made on first use; the caller holds contextLock.
SSL_CTX* sharedContext() {
    if (context != nullptr) return context;
    SSL_CTX* made = SSL_CTX_new(TLS_client_method());
    if (made == nullptr) throw EIdTLSError("The encryption library could not be set up: " + lastTLSReason());
    SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
    SSL_CTX_set_options(made, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
    // Whole chunks from the socket: a record then costs one receive, not two.
    SSL_CTX_set_read_ahead(made, 1);
    SSL_CTX_set_verify(made, SSL_VERIFY_PEER, noteProblem);
    const int loaded = caFile.empty() ? SSL_CTX_set_default_verify_paths(made)
                                      : SSL_CTX_load_verify_locations(made, caFile.c_str(), nullptr);
    if (loaded != 1) {
        SSL_CTX_free(made);
        throw EIdTLSError("The trusted certificate authorities could not be read" +
                          (caFile.empty() ? std::string() : " from " + caFile) + ": " + lastTLSReason());
    }
    context = made;
    return context;
}

// ---------------------------------------------------------------------------
// The bytes of TLS travel through the transport's own socket calls.

int bioWrite(BIO* bio, const char* data, std::size_t size, std::size_t* written) {
    BIO_clear_retry_flags(bio);
    const int n = static_cast<TIdSSLIOHandlerSocket*>(BIO_get_data(bio))->rawSend(data, size);
    if (n <= 0) return 0;
    *written = static_cast<std::size_t>(n);
    return 1;
}

int bioRead(BIO* bio, char* buffer, std::size_t size, std::size_t* read) {
    BIO_clear_retry_flags(bio);
    const int n = static_cast<TIdSSLIOHandlerSocket*>(BIO_get_data(bio))->rawRecv(buffer, size);
    if (n == TIdIOHandler::kRecvTimedOut) BIO_set_retry_read(bio);
    if (n <= 0) return 0;
    *read = static_cast<std::size_t>(n);
    return 1;
}

long bioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* transportMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "skimlet transport");
        BIO_meth_set_write_ex(m, bioWrite);
        BIO_meth_set_read_ex(m, bioRead);
        BIO_meth_set_ctrl(m, bioControl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

// ---------------------------------------------------------------------------
// Describing and explaining a certificate

std::string nameText(const X509_NAME* name) {
    BIO* out = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(out, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(out, &data);
    std::string text(data, static_cast<std::size_t>(std::max(0L, size)));
    BIO_free(out);
    return text;
}

std::string timeText(const ASN1_TIME* time) {
    std::tm tm{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &tm) != 1) return "unknown";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

TIdCertificateInfo describe(X509* certificate) {
    TIdCertificateInfo info;
    info.Subject = nameText(X509_get_subject_name(certificate));
    info.Issuer = nameText(X509_get_issuer_name(certificate));
    info.NotBefore = timeText(X509_get0_notBefore(certificate));
    info.NotAfter = timeText(X509_get0_notAfter(certificate));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    X509_digest(certificate, EVP_sha256(), digest, &size);
    for (unsigned int i = 0; i < size; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : ":%02X", digest[i]);
        info.Fingerprint += pair;
    }
    return info;
}

std::string explain(int error, const std::string& host, const TIdCertificateInfo& info) {
    switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "The certificate has expired: it was valid until " + info.NotAfter + ".";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "The certificate is not valid yet: it is valid from " + info.NotBefore + " on.";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "The certificate was issued for another name, not for the server \"" + host + "\".";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return "The certificate is self-signed: the server vouches for itself and no known authority "
               "vouches for it.";
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return "The certificate was issued by an unknown authority.";
    default:
        return std::string("The certificate could not be verified: ") + X509_verify_cert_error_string(error) + ".";
    }
}

std::string hexDigits(const std::string& fingerprint) {
    std::string digits;
    for (const char c : fingerprint) {
        if (c == ':' || c == ' ') continue;
        digits += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    }
    return digits;
}

std::string certificateMessage(const TIdCertificateInfo& info, const std::vector<std::string>& problems) {
    std::string text = "The server's certificate was not accepted, so nothing was sent to the server.";
    for (const std::string& problem : problems) text += "\r\n" + problem;
    text += "\r\nSubject: " + info.Subject;
    text += "\r\nIssuer: " + info.Issuer;
    text += "\r\nValid from " + info.NotBefore + " to " + info.NotAfter;
    text += "\r\nSHA-256 fingerprint: " + info.Fingerprint;
    return text;
}

}  // namespace

EIdTLSCertificateError::EIdTLSCertificateError(TIdCertificateInfo certificate, std::vector<std::string> problems)
    : EIdTLSError(certificateMessage(certificate, problems)), certificate_(std::move(certificate)),
      problems_(std::move(problems)) {}

bool SameFingerprint(const std::string& a, const std::string& b) {
    const std::string digits = hexDigits(a);
    return !digits.empty() && digits == hexDigits(b);
}

void TIdSSLIOHandlerSocket::SetCAFile(const std::string& path) {
    const std::lock_guard guard(contextLock);
    caFile = path;
    // Connections keep their own reference to the context they began with.
    SSL_CTX_free(context);
    context = nullptr;
}

TIdSSLIOHandlerSocket::~TIdSSLIOHandlerSocket() { freeTLS(false); }

void TIdSSLIOHandlerSocket::Open() {
    freeTLS(false);
    TIdIOHandlerSocket::Open();
}

void TIdSSLIOHandlerSocket::Close() {
    freeTLS(true);
    TIdIOHandlerSocket::Close();
}

void TIdSSLIOHandlerSocket::freeTLS(bool notifyPeer) {
    if (ssl_ == nullptr) return;
    if (notifyPeer && established_ && !broken_ && Connected()) {
        // The close alert is sent without waiting for the server's.
        setWait(0);
        SSL_shutdown(ssl_);
    }
    SSL_free(ssl_);
    ssl_ = nullptr;
    ERR_clear_error();
}

void TIdSSLIOHandlerSocket::ConnectClient(const std::string& host, int port, const std::string& boundIP,
                                          int boundPort, int boundPortMin, int boundPortMax, int timeout) {
    freeTLS(false);
    host_ = host;
    TIdIOHandlerSocket::ConnectClient(host, port, boundIP, boundPort, boundPortMin, boundPortMax, timeout);
}

void TIdSSLIOHandlerSocket::StartTLS() {
    if (!Connected()) throw EIdClosedSocket();
    freeTLS(false);
    problems_.clear();
    socketFailed_ = broken_ = established_ = false;
    {
        const std::lock_guard guard(contextLock);
        ssl_ = SSL_new(sharedContext());
    }
    if (ssl_ == nullptr) throw EIdTLSError("The encrypted connection could not be set up: " + lastTLSReason());
    SSL_set_app_data(ssl_, this);
    BIO* bio = BIO_new(transportMethod());
    BIO_set_data(bio, this);
    SSL_set_bio(ssl_, bio, bio);
    if (TIdStack::IsIP(host_)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host_.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl_, host_.c_str());
        SSL_set1_host(ssl_, host_.c_str());
    }
    SSL_set_connect_state(ssl_);
}

bool TIdSSLIOHandlerSocket::ContinueHandshake(int msec) {
    if (ssl_ == nullptr) throw EIdClosedSocket();
    setWait(msec);
    ERR_clear_error();
    const int result = SSL_do_handshake(ssl_);
    if (result == 1) {
        established_ = true;
        return true;
    }
    const int error = SSL_get_error(ssl_, result);
    if ((error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) && !socketFailed_) return false;
    std::string reason;
    if (socketFailed_)
        reason = TIdStack::SocketErrorMessage(TIdStack::WSGetLastError());
    else if (error == SSL_ERROR_SSL)
        reason = lastTLSReason();
    else
        reason = "the server closed the connection";
    broken_ = true;
    Close();
    throw EIdTLSError("The encrypted connection could not be set up: " + reason);
}

void TIdSSLIOHandlerSocket::CheckPeerCertificate() {
    if (ssl_ == nullptr || !established_) throw EIdClosedSocket();
    X509* certificate = SSL_get0_peer_certificate(ssl_);
    if (certificate == nullptr) {
        Close();
        throw EIdTLSError("The server sent no certificate, so nothing was sent to the server.");
    }
    if (problems_.empty()) return;
    const TIdCertificateInfo info = describe(certificate);
    if (SameFingerprint(info.Fingerprint, TrustedFingerprint)) return;
    std::vector<std::string> texts;
    for (const int problem : problems_) {
        std::string text = explain(problem, host_, info);
        if (std::find(texts.begin(), texts.end(), text) == texts.end()) texts.push_back(std::move(text));
    }
    if (!TrustedFingerprint.empty())
        texts.push_back("It is not the certificate trusted for this account before (SHA-256 fingerprint " +
                        TrustedFingerprint + ").");
    Close();
    throw EIdTLSCertificateError(info, std::move(texts));
}

bool TIdSSLIOHandlerSocket::Readable(int msec) {
    if (ssl_ != nullptr && SSL_has_pending(ssl_) == 1) return true;
    return TIdIOHandlerSocket::Readable(msec);
}

int TIdSSLIOHandlerSocket::Send(const char* data, std::size_t size) {
    if (ssl_ == nullptr) return TIdIOHandlerSocket::Send(data, size);
    // Nothing travels over a TLS connection before its handshake is done.
    if (!Connected() || broken_ || !established_) throw EIdClosedSocket();
    setWait(-1);
    ERR_clear_error();
    std::size_t written = 0;
    const int result = SSL_write_ex(ssl_, data, size, &written);
    return result == 1 ? static_cast<int>(written) : failure(result, "send");
}

int TIdSSLIOHandlerSocket::Recv(char* buffer, std::size_t size) { return RecvWithin(buffer, size, -1); }

int TIdSSLIOHandlerSocket::RecvWithin(char* buffer, std::size_t size, int msec) {
    if (ssl_ == nullptr) return TIdIOHandlerSocket::RecvWithin(buffer, size, msec);
    // Nothing travels over a TLS connection before its handshake is done.
    if (!Connected() || broken_ || !established_) throw EIdClosedSocket();
    setWait(msec);
    ERR_clear_error();
    std::size_t read = 0;
    const int result = SSL_read_ex(ssl_, buffer, size, &read);
    if (result == 1) return static_cast<int>(read + drainRecords(buffer + read, size - read));
    const int error = SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_WANT_READ && !socketFailed_) return kRecvTimedOut;
    return failure(result, "receive");
}

// Records already received are handed out together, as the plain
// transport's one receive would hand out their bytes: a reply that arrives
// as several records would otherwise cost a pass through the connection's
// receive loop for each. Never waits; a failure is left for the next read.
std::size_t TIdSSLIOHandlerSocket::drainRecords(char* buffer, std::size_t size) {
    std::size_t total = 0;
    drainOnly_ = true;
    while (total < size && SSL_has_pending(ssl_) == 1) {
        std::size_t read = 0;
        if (SSL_read_ex(ssl_, buffer + total, size - total, &read) != 1) break;
        total += read;
    }
    drainOnly_ = false;
    ERR_clear_error();
    return total;
}

int TIdSSLIOHandlerSocket::failure(int result, const char* what) {
    const int error = SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_ZERO_RETURN) return 0;
    broken_ = true;
    if (socketFailed_) return -1;
    if (error == SSL_ERROR_SYSCALL) return 0;
    throw EIdTLSError(std::string("The encrypted connection failed to ") + what + ": " + lastTLSReason());
}

void TIdSSLIOHandlerSocket::setWait(int msec) {
    waitLimit_ = msec;
    waitStart_ = nowMs();
}

int TIdSSLIOHandlerSocket::rawRecv(char* buffer, std::size_t size) {
    if (drainOnly_) {
        const ssize_t n = ::recv(Binding()->Handle(), buffer, size, MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kRecvTimedOut;
        TIdStack::SetLastError(TIdStack::TranslateErrno(errno));
        socketFailed_ = true;
        return -1;
    }
    int msec = -1;
    if (waitLimit_ >= 0) msec = static_cast<int>(std::max(1LL, waitLimit_ - (nowMs() - waitStart_)));
    const int n = Binding()->RecvWithin(buffer, size, msec);
    if (n == -1) socketFailed_ = true;
    return n;
}

int TIdSSLIOHandlerSocket::rawSend(const char* data, std::size_t size) {
    const int n = Binding()->Send(data, size);
    if (n < 0) socketFailed_ = true;
    return n;
}

namespace {

// The handshake in slices: the time limit checked and the idle hook called
// between them. True once it is complete.
bool handshakeWithin(TIdTCPConnection& connection, TIdSSLIOHandlerSocket& tls, long long deadline) {
    int slice = static_cast<int>(std::max(1LL, deadline - nowMs()));
    if (TIdStack::HasIdleHook()) slice = std::min(slice, TIdStack::kIdleInterval);
    if (tls.ContinueHandshake(slice)) return true;
    if (nowMs() >= deadline) throw EIdReadTimeout();
    if (TIdStack::HasIdleHook()) {
        // The hook runs window events, which may close this connection and
        // free its transport.
        TIdStack::CallIdleHook();
        if (connection.IOHandler() != &tls || !tls.Connected()) throw EIdNotConnected();
    }
    return false;
}

}  // namespace

void NegotiateTLS(TIdTCPConnection& connection) {
    auto* tls = dynamic_cast<TIdSSLIOHandlerSocket*>(connection.IOHandler());
    if (tls == nullptr) throw EIdTLSError("The connection has no transport for encryption.");
    const int limit = connection.ReadTimeout > 0 ? connection.ReadTimeout : TIdIOHandlerSocket::kIdleConnectLimit;
    const long long deadline = nowMs() + limit;
    try {
        tls->StartTLS();
        while (!handshakeWithin(connection, *tls, deadline)) {
        }
    } catch (...) {
        // A handshake left unfinished (the time ran out, the hook raised)
        // leaves no socket on which a "QUIT" could still be tried.
        if (connection.IOHandler() == tls) tls->Close();
        throw;
    }
    tls->CheckPeerCertificate();
}
