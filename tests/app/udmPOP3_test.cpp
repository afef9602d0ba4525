#include "app/udmPOP3.h"

#include "net/IdStack.h"
#include "ui/Application.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

// Counts the progress notifications it receives and keeps the last count.
class ProgressCounter : public QObject {
public:
    int events = 0;
    long long last = 0;
    bool event(QEvent* e) override {
        if (e->type() != ui::kProgressEvent) return QObject::event(e);
        ++events;
        last = static_cast<ui::ProgressEvent*>(e)->lParam();
        return true;
    }
};

// Every header line raises OnWork; a notification still waiting stands for
// the ones after it, so the window gets one per pump, not one per line.
TEST(POP3Notify, OneNotificationWaitsAtATime) {
    ProgressCounter window;
    auto client = TPOP3::CreateClient(TPOP3Rec{}, &window);
    TIdStack::SetIdleHook([] {});  // a run's hook that does not pump now
    for (int line = 1; line <= 100; ++line) client->POP3Notify(*client, wmRead, 1000 + line);
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_EQ(window.events, 1);
    EXPECT_EQ(window.last, 1001);
    client->POP3Notify(*client, wmRead, 5000);
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_EQ(window.events, 2);
    EXPECT_EQ(window.last, 5000);
    // A notification that outlives its client is delivered all the same.
    client->POP3Notify(*client, wmRead, 6000);
    TIdStack::SetIdleHook(nullptr);
    client.reset();
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_EQ(window.events, 3);
}

}  // namespace
