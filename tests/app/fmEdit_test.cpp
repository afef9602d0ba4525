#include "app/fmEdit.h"
#include "app/fmMain.h"

#include "FakePlatform.h"
#include "TempDir.h"
#include "ui/Help.h"
#include "ui/Paths.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class Accounts : public ::testing::Test {
protected:
    Accounts() {
        ui::setProgramFolder(dir.path().string());
        ui::setSettingsFolder(dir.path().string());
    }
    ~Accounts() override {
        ui::setProgramFolder("");
        ui::setSettingsFolder("");
    }

    std::vector<TAccountFields> fileAccounts() const {
        std::vector<TAccountFields> out;
        ReadAccountsFile(dir.file("accounts.dat"), [&](const TAccountFields& f) { out.push_back(f); });
        return out;
    }

    TempDir dir;
    FakePlatformScope fake;
};

// --- The dialog

TEST_F(Accounts, DialogControlsTextsAndTabOrder) {
    Tfedit d;
    EXPECT_EQ(d.size(), QSize(358, 398));
    EXPECT_EQ(ui::helpContextOf(&d), 10);
    EXPECT_EQ(d.PageControl1->tabText(0), "General");
    EXPECT_EQ(d.Label1->text(), "e-Mail address:");
    EXPECT_EQ(d.Label2->text(), "User name:");
    EXPECT_EQ(d.Label3->text(), "Password:");
    EXPECT_EQ(d.Label4->text(), "POP3 server:");
    EXPECT_EQ(d.Label5->text(), "Port");
    EXPECT_EQ(d.Label6->text(), "e-Mail account properties");
    EXPECT_EQ(d.Label7->text(), "F1 - Help");
    EXPECT_EQ(d.Button1->text(), "OK");
    EXPECT_EQ(d.Button2->text(), "Storno");
    EXPECT_TRUE(d.Button1->isDefault());
    EXPECT_EQ(d.ePassw->echoMode(), QLineEdit::Password);
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    d.eAddress->setFocus();
    QWidget* order[] = {d.eAddress, d.eUser, d.ePassw, d.eHost, d.ePort, d.cbSecurity, d.Button1, d.Button2};
    for (QWidget* expected : order) {
        QWidget* focus = QApplication::focusWidget();
        // The spin box keeps the focus in its own line edit.
        if (focus && focus->parentWidget() == d.ePort.data()) focus = d.ePort;
        EXPECT_EQ(focus, expected) << expected->objectName().toStdString();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
}

TEST_F(Accounts, OkWithEmptyAddressStaysOpen) {
    TPOP3Rec rec;
    bool stayed = false;
    fake->onDialog = [&](QDialog& dialog) {
        auto& d = static_cast<Tfedit&>(dialog);
        QTest::mouseClick(d.Button1, Qt::LeftButton);
        stayed = d.isVisible() && d.result() == QDialog::Rejected;
        d.eAddress->setText("joe@example.com");
        QTest::mouseClick(d.Button1, Qt::LeftButton);
    };
    EXPECT_EQ(EditAccountDialog(nullptr, rec, "New e-mail account"), QDialog::Accepted);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(rec.Name, "joe@example.com");
}

TEST_F(Accounts, StornoEscAndCloseBoxCancel) {
    const std::pair<const char*, std::function<void(Tfedit&)>> rows[] = {
        {"Storno", [](Tfedit& d) { QTest::mouseClick(d.Button2, Qt::LeftButton); }},
        {"Esc", [](Tfedit& d) { QTest::keyClick(d.eAddress, Qt::Key_Escape); }},
        {"close box", [](Tfedit& d) { d.close(); }},
    };
    for (const auto& [name, act] : rows) {
        TPOP3Rec rec{"name", "host", "user", "pw", 995};
        fake->onDialog = [&, act = act](QDialog& dialog) {
            auto& d = static_cast<Tfedit&>(dialog);
            d.eAddress->setText("changed");
            act(d);
        };
        EXPECT_EQ(EditAccountDialog(nullptr, rec, "x"), QDialog::Rejected) << name;
        EXPECT_EQ(rec.Name, "name") << name;
    }
}

TEST_F(Accounts, LeavingAddressFillsOnlyEmptyFields) {
    struct Row {
        const char* name;
        const char* address;
        const char* user;
        const char* host;
        const char* expectedUser;
        const char* expectedHost;
    };
    const Row rows[] = {
        {"both empty", "joe@mail.example.com", "", "", "joe", "mail.example.com"},
        {"host filled", "joe@mail.example.com", "", "pop.x", "joe", "pop.x"},
        {"user filled", "joe@mail.example.com", "me", "", "me", "mail.example.com"},
        {"first @ splits, rest kept whole", "a@b@c", "", "", "a", "b@c"},
        {"no @", "joe", "", "", "", ""},
        {"@ first", "@example.com", "", "", "", ""},
    };
    for (const Row& row : rows) {
        Tfedit d;
        d.eAddress->setText(row.address);
        d.eUser->setText(row.user);
        d.eHost->setText(row.host);
        d.eAddressExit();
        EXPECT_EQ(d.eUser->text(), row.expectedUser) << row.name;
        EXPECT_EQ(d.eHost->text(), row.expectedHost) << row.name;
    }
}

TEST_F(Accounts, FocusLeavingAddressRunsExit) {
    Tfedit d;
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    d.eAddress->setFocus();
    d.eAddress->setText("joe@example.com");
    d.eUser->setFocus();
    EXPECT_EQ(d.eUser->text(), "joe");
    EXPECT_EQ(d.eHost->text(), "example.com");
}

TEST_F(Accounts, PortWithLettersStoresZero) {
    TPOP3Rec rec{"n", "h", "u", "p", 110};
    fake->onDialog = [](QDialog& dialog) {
        auto& d = static_cast<Tfedit&>(dialog);
        QLineEdit* text = d.ePort->findChild<QLineEdit*>();
        text->selectAll();
        QTest::keyClicks(text, "abc");
        EXPECT_EQ(text->text(), "abc") << "letters can be typed";
        QTest::mouseClick(d.Button1, Qt::LeftButton);
    };
    ASSERT_EQ(EditAccountDialog(nullptr, rec, "x"), QDialog::Accepted);
    EXPECT_EQ(rec.Port, 0);
}

// --- The account commands of the main window

TEST_F(Accounts, NewAccountShowsPort110AndIsSaved) {
    Tfmain w;
    int shownPort = -1;
    QString caption;
    fake->onDialog = [&](QDialog& dialog) {
        auto& d = static_cast<Tfedit&>(dialog);
        shownPort = d.PortValue();
        caption = d.windowTitle();
        d.eAddress->setText("office@example.com");
        d.eAddressExit();
        d.ePassw->setText("secret");
        QTest::mouseClick(d.Button1, Qt::LeftButton);
    };
    w.NewAccClick();
    EXPECT_EQ(shownPort, 110);
    EXPECT_EQ(caption, "New e-mail account");
    ASSERT_EQ(w.poplist->count(), 1);
    EXPECT_EQ(w.poplist->item(0)->text(), "office@example.com");
    const auto saved = fileAccounts();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].UserName, "office");
    EXPECT_EQ(saved[0].Host, "example.com");
    EXPECT_EQ(saved[0].Password, "secret");
    EXPECT_EQ(saved[0].Port, "110");
}

TEST_F(Accounts, CancelledNewAccountChangesNothing) {
    Tfmain w;
    w.NewAccClick();
    EXPECT_EQ(w.poplist->count(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("accounts.dat")));
}

TEST_F(Accounts, EditKeepsUnchangedBytesAndWritesChanges) {
    // A Windows-1250 name written by another program keeps its bytes.
    dir.write("accounts.dat", "\xE8" "esky\r\nold.host\r\nu\r\np\r\n110\r\n");
    Tfmain w;
    ASSERT_EQ(w.poplist->count(), 1);
    w.poplist->item(0)->setSelected(true);
    fake->onDialog = [](QDialog& dialog) {
        auto& d = static_cast<Tfedit&>(dialog);
        EXPECT_EQ(d.windowTitle(), "Edit e-mail account");
        d.eHost->setText("new.host");
        QTest::mouseClick(d.Button1, Qt::LeftButton);
    };
    w.EditAccClick();
    const auto saved = fileAccounts();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].Name, "\xE8" "esky");
    EXPECT_EQ(saved[0].Host, "new.host");
    EXPECT_EQ(w.ReadSelectedAccount()->Host, "new.host");
}

TEST_F(Accounts, PortSubItemWithLettersFailsOnlyWhenUsed) {
    dir.write("accounts.dat", "office\r\nhost\r\nu\r\np\r\nabc\r\n");
    Tfmain w;
    EXPECT_TRUE(fake->errors.empty()) << "loading does not look at the port";
    ASSERT_EQ(w.poplist->count(), 1);
    w.poplist->item(0)->setSelected(true);
    w.EditAcc->trigger();
    ASSERT_EQ(fake->errors.size(), 1u);
    EXPECT_EQ(fake->errors[0].text, "'abc' is not a valid integer value");
    EXPECT_TRUE(fake->dialogs.empty());
}

TEST_F(Accounts, DeleteAsksAndSaves) {
    dir.write("accounts.dat", "a\r\nh\r\nu\r\np\r\n1\r\nb\r\nh\r\nu\r\np\r\n2\r\n");
    Tfmain w;
    ASSERT_EQ(w.poplist->count(), 2);
    w.poplist->item(0)->setSelected(true);
    fake->confirmAnswer = false;
    w.DelAccClick();
    EXPECT_EQ(w.poplist->count(), 2);
    fake->confirmAnswer = true;
    w.DelAccClick();
    EXPECT_EQ(fake->confirmations, std::vector<QString>(2, "Delete account, really?"));
    ASSERT_EQ(w.poplist->count(), 1);
    const auto saved = fileAccounts();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].Name, "b");
    EXPECT_FALSE(w.tEdit->isEnabled()) << "nothing selected any more";
}

TEST_F(Accounts, NoSelectionEditAndDeleteDoNothing) {
    dir.write("accounts.dat", "a\r\nh\r\nu\r\np\r\n1\r\n");
    Tfmain w;
    w.EditAccClick();
    w.DelAccClick();
    EXPECT_TRUE(fake->dialogs.empty());
    EXPECT_TRUE(fake->confirmations.empty());
}

TEST_F(Accounts, BrokenFileAtStartIsShownAndSettingsStillRead) {
    dir.write("accounts.dat", "a\r\nh\r\nu\r\np\r\n1\r\n.04x\r\n");
    dir.write("tolvanes.ini", "[POSITION]\nLEFT=30\nTOP=40\n[FILTER]\nRECIPIENTS=7\n");
    Tfmain w;
    ASSERT_EQ(fake->errors.size(), 1u);
    EXPECT_EQ(fake->errors[0].text, "'04x' is not a valid integer value");
    EXPECT_EQ(w.poplist->count(), 1);
    EXPECT_EQ(w.pos(), QPoint(30, 40));
    EXPECT_EQ(w.settings().Recipients, 7);
}

TEST_F(Accounts, FirstSaveAfterBrokenLoadKeepsTheFileAside) {
    const std::string broken = "a\r\nh\r\nu\r\np\r\n1\r\n.04x\r\nmore\r\n";
    dir.write("accounts.dat", broken);
    Tfmain w;
    w.poplist->item(0)->setSelected(true);
    w.DelAccClick();
    EXPECT_EQ(dir.read("accounts.dat.bak"), broken);
    EXPECT_TRUE(fileAccounts().empty());
}

}  // namespace

namespace {

// The port picks the security until the user does; "None" with a server
// beyond this machine says that the password goes unencrypted.
TEST_F(Accounts, SecurityFollowsThePortUntilChosenAndWarnsOfPlainPasswords) {
    Tfedit d;
    d.eHost->setText("pop.example.com");
    d.ePort->setValue(995);
    EXPECT_EQ(d.SecurityValue(), TIdUseTLS::utImplicitTLS);
    EXPECT_TRUE(d.Label9->isHidden());
    d.ePort->setValue(110);
    EXPECT_EQ(d.SecurityValue(), TIdUseTLS::utNoTLS);
    EXPECT_FALSE(d.Label9->isHidden());
    EXPECT_EQ(d.Label9->text(), "The password is sent unencrypted.");
    for (const char* host : {"localhost", "127.0.0.1", "127.1.2.3"}) {
        d.eHost->setText(host);
        EXPECT_TRUE(d.Label9->isHidden()) << host;
    }
    d.cbSecurity->setCurrentIndex(2);
    emit d.cbSecurity->activated(2);
    d.ePort->setValue(995);
    EXPECT_EQ(d.SecurityValue(), TIdUseTLS::utStartTLS);
}

// A stored mode comes back as chosen; a trusted certificate stays only
// while the server and port do.
TEST_F(Accounts, DialogKeepsTheModeAndForgetsTrustForAnotherServer) {
    const std::pair<const char*, std::function<void(Tfedit&)>> rows[] = {
        {"AB:CD", [](Tfedit& d) { d.eUser->setText("v"); }},
        {"", [](Tfedit& d) { d.ePort->setValue(995); }},
        {"", [](Tfedit& d) { d.eHost->setText("pop.other.example"); }},
    };
    for (const auto& [trusted, edit] : rows) {
        TPOP3Rec rec{"n", "pop.example.com", "u", "p", 110, {TIdUseTLS::utStartTLS, "AB:CD"}};
        fake->onDialog = [&, edit = edit](QDialog& dialog) {
            edit(static_cast<Tfedit&>(dialog));
            QTest::mouseClick(static_cast<Tfedit&>(dialog).Button1, Qt::LeftButton);
        };
        ASSERT_EQ(EditAccountDialog(nullptr, rec, "x"), QDialog::Accepted);
        EXPECT_EQ(rec.Security.Mode, TIdUseTLS::utStartTLS);
        EXPECT_EQ(rec.Security.TrustedFingerprint, trusted);
    }
}

}  // namespace
