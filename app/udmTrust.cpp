#include "app/udmTrust.h"

#include "net/IdPOP3.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

namespace {

TTrustRecorder& recorder() {
    static TTrustRecorder slot;
    return slot;
}

}  // namespace

void SetTrustRecorder(TTrustRecorder r) { recorder() = std::move(r); }

void ConnectTrustingCertificate(TIdPOP3& client, TPOP3Rec& account, QWidget* parent,
                                const std::function<void()>& connect) {
    try {
        connect();
        return;
    } catch (const EIdTLSCertificateError& error) {
        const QString question = ui::toQString(error.Message()) +
                                 QStringLiteral("\n\nTrust this certificate for the account \"%1\" from now on?")
                                     .arg(ui::toQString(account.Name));
        if (!ui::platform().trustCertificate(parent, question)) throw ECertificateNotTrusted();
        const std::string fingerprint = error.Certificate().Fingerprint;
        client.TrustedFingerprint = fingerprint;
        account.Security.TrustedFingerprint = fingerprint;
        if (recorder()) recorder()(account, fingerprint);
    }
    // A certificate that changed once more in between is refused again.
    connect();
}
