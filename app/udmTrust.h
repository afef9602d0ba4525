#pragma once

// What happens when a server's certificate is not accepted: the user sees
// why and may trust that one certificate for that account, as mail clients
// offer for a home server with a certificate of its own.

#include "app/udmAccounts.h"

#include <functional>
#include <string>

class QWidget;
class TIdPOP3;

// Records a certificate the user trusted for an account (the main window's
// account list, which stores it beside accounts.dat). Set once; empty for
// none.
using TTrustRecorder = std::function<void(const TPOP3Rec& account, const std::string& fingerprint)>;
void SetTrustRecorder(TTrustRecorder recorder);

// Runs `connect` (which opens and logs in `client`). When the server's
// certificate is refused, the explanation goes to the user with the
// question whether to trust it for `account`; on "Trust" its fingerprint
// becomes the client's and the account's (through the recorder) and
// `connect` runs once more; otherwise the connection fails with
// ECertificateNotTrusted. Every command that connects goes through here.
void ConnectTrustingCertificate(TIdPOP3& client, TPOP3Rec& account, QWidget* parent,
                                const std::function<void()>& connect);

// The user chose not to trust the server's certificate.
class ECertificateNotTrusted : public EIdException {
public:
    ECertificateNotTrusted()
        : EIdException("The server's certificate was not trusted, so nothing was sent to the server.") {}
};
