#pragma once

#include "app/udmAccounts.h"
#include "net/IdPOP3.h"

#include <QPointer>

#include <cstdint>
#include <memory>

class QObject;

// The POP3 client of a command of the main window: buffers of 32 KiB,
// USER/PASS login, no ASCII filter, a read time-out, over-long header lines
// cut rather than fatal, and its reading progress reported to the window.
class TPOP3 : public TIdPOP3 {
public:
    TPOP3();

    // No byte from the server for this long ends a command with "Read
    // Timeout".
    static constexpr int kReadTimeout = 60000;
    // The read time-out of clients made from now on (tests shorten it); 0
    // restores kReadTimeout.
    static void SetDefaultReadTimeout(int milliseconds);

    // A new client for the account; `notifyWindow` receives the progress
    // notifications (none when null).
    [[nodiscard]] static std::shared_ptr<TPOP3> CreateClient(const TPOP3Rec& rec, QObject* notifyWindow);

    // The OnWork handler: posts the progress notification (1, AWorkCount) to
    // the window, then lets pending events run through the transport's idle
    // hook (or at once when no hook is set). A notification still waiting
    // to be delivered stands for the ones after it: every header line raises
    // OnWork, and one event per line (each stepping the bar, which repaints
    // at once) would cost more than reading the line.
    void POP3Notify(TIdComponent& Sender, TWorkMode AWorkMode, std::int64_t AWorkCount);

    // Opens and logs in, as every command does: a refused certificate is put
    // to the user, who may trust it for the account (udmTrust).
    void Connect(int timeout = -1) override;
    // The account the client was made for.
    TPOP3Rec Account;

private:
    QPointer<QObject> FNotifyWindow;
    // True while a posted notification has not been delivered (or dropped).
    std::shared_ptr<bool> FNotifyPending = std::make_shared<bool>(false);
};
