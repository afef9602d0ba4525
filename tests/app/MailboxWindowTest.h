#pragma once

// A main window test against the scripted fake server: the scratch folders
// and the fake desktop of ScratchFolderTest, and the check run such a test
// starts from.
#include "FakeServer.h"
#include "ScratchFolderTest.h"
#include "app/fmMain.h"

#include <QListWidget>

class MailboxWindowTest : public ScratchFolderTest {
protected:
    // Starts the server, selects an account on it (bob, "secret") and runs
    // "Check Messages".
    void check(Tfmain& w, FakeServer& server) {
        server.start();
        w.AddAccountItem({"Office", "127.0.0.1", "bob", "secret", std::to_string(server.port())});
        w.poplist->item(0)->setSelected(true);
        w.mmCheck->trigger();
        ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    }
};
