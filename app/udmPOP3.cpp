#include "app/udmPOP3.h"

#include "app/udmTrust.h"
#include "net/IdStack.h"
#include "ui/Application.h"

#include <QCoreApplication>
#include <QWidget>

namespace {

int& defaultReadTimeout() {
    static int timeout = TPOP3::kReadTimeout;
    return timeout;
}

// A progress notification that clears its client's pending mark when it is
// gone, delivered or dropped; it may outlive the client.
class TPOP3ProgressEvent : public ui::ProgressEvent {
public:
    TPOP3ProgressEvent(long long count, std::shared_ptr<bool> pending)
        : ui::ProgressEvent(1, count), FPending(std::move(pending)) {}
    ~TPOP3ProgressEvent() override { *FPending = false; }
    TPOP3ProgressEvent(const TPOP3ProgressEvent&) = delete;
    TPOP3ProgressEvent& operator=(const TPOP3ProgressEvent&) = delete;

private:
    std::shared_ptr<bool> FPending;
};

}  // namespace

TPOP3::TPOP3() {
    RecvBufferSize = 32768;
    SendBufferSize = 32768;
    APOP = false;
    ASCIIFilter = false;
    // A server that stops answering ends the command instead of holding the
    // window in a wait that only closing the program could end. The limit
    // counts silence: a slow transfer that keeps sending never trips it.
    ReadTimeout = defaultReadTimeout();
    // One over-long line must not hide the rest of a header from the list
    // and the spam filter.
    LongHeaderLines = TIdLongHeaderLines::Cut;
}

void TPOP3::SetDefaultReadTimeout(int milliseconds) {
    defaultReadTimeout() = milliseconds > 0 ? milliseconds : kReadTimeout;
}

std::shared_ptr<TPOP3> TPOP3::CreateClient(const TPOP3Rec& rec, QObject* notifyWindow) {
    auto client = std::make_shared<TPOP3>();
    client->Host = rec.Host;
    client->Port = rec.Port;
    client->Username = rec.UserName;
    client->Password = rec.Password;
    client->UseTLS = rec.Security.Mode;
    client->TrustedFingerprint = rec.Security.TrustedFingerprint;
    client->Account = rec;
    client->FNotifyWindow = notifyWindow;
    TPOP3* self = client.get();
    client->OnWork = [self](TIdComponent& sender, TWorkMode mode, std::int64_t count) {
        self->POP3Notify(sender, mode, count);
    };
    return client;
}

void TPOP3::POP3Notify(TIdComponent&, TWorkMode, std::int64_t AWorkCount) {
    if (FNotifyWindow && !*FNotifyPending) {
        *FNotifyPending = true;
        QCoreApplication::postEvent(FNotifyWindow, new TPOP3ProgressEvent(AWorkCount, FNotifyPending));
    }
    // The window's idle hook pumps at a bounded rate and can end a command
    // that the user stopped; without a hook, pump at once.
    if (TIdStack::HasIdleHook())
        TIdStack::CallIdleHook();
    else
        ui::processPendingEvents();
}

void TPOP3::Connect(int timeout) {
    ConnectTrustingCertificate(*this, Account, qobject_cast<QWidget*>(FNotifyWindow.data()),
                               [this, timeout] { TIdPOP3::Connect(timeout); });
}
