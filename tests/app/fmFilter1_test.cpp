#include "app/fmFilter1.h"

#include "SpamFakePlatform.h"
#include "TempDir.h"
#include "ui/Paths.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct RuleControls {
    explicit RuleControls(QDialog& d)
        : cEmpty(d.findChild<QCheckBox*>("cEmpty")),
          eRecpt(d.findChild<QSpinBox*>("eRecpt")),
          eLen(d.findChild<QSpinBox*>("eLen")),
          Ok(d.findChild<QPushButton*>("Button1")),
          Storno(d.findChild<QPushButton*>("Button2")) {}

    QCheckBox* cEmpty;
    QSpinBox* eRecpt;
    QSpinBox* eLen;
    QPushButton* Ok;
    QPushButton* Storno;
};

class GeneralRulesDialog : public ::testing::Test {
protected:
    GeneralRulesDialog() {
        ui::setProgramFolder(dir.path().string());
        ui::setSettingsFolder(dir.path().string());
        settings.SubjectEmpty = false;
        settings.Recipients = 3;
        settings.MailMaxLen = 100;
        settings.Width = 777;
    }
    ~GeneralRulesDialog() override {
        ui::setProgramFolder("");
        ui::setSettingsFolder("");
    }

    bool run(const std::function<void(QDialog&, RuleControls&)>& body) {
        scope.fake->onDialog = [&](QDialog& dialog) {
            RuleControls controls(dialog);
            body(dialog, controls);
        };
        return TfFilter1::Execute(nullptr, settings);
    }

    TempDir dir;
    SpamPlatformScope scope;
    TSettings settings;
};

TEST_F(GeneralRulesDialog, ShowsTheSettingsAndItsTexts) {
    run([](QDialog& dialog, RuleControls& c) {
        EXPECT_EQ(dialog.windowTitle(), "SPAM General Rules");
        EXPECT_EQ(dialog.size(), QSize(365, 342));
        EXPECT_FALSE(c.cEmpty->isChecked());
        EXPECT_EQ(c.eRecpt->value(), 3);
        EXPECT_EQ(c.eLen->value(), 100);
        EXPECT_EQ(c.Ok->text(), "OK");
        EXPECT_EQ(c.Storno->text(), "Storno");
        EXPECT_EQ(dialog.findChild<QLabel*>("Label3")->text(),
                  "Is larger than...(immoderate large attachments(size))");
        c.Storno->click();
    });
}

TEST_F(GeneralRulesDialog, OkTakesTheValuesAndKeepsTheOtherSettings) {
    const bool ok = run([](QDialog&, RuleControls& c) {
        c.cEmpty->click();
        c.eRecpt->setValue(-2);
        c.eLen->setValue(2097152);
        c.Ok->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_TRUE(settings.SubjectEmpty);
    EXPECT_EQ(settings.Recipients, -2);
    EXPECT_EQ(settings.MailMaxLen, 2097152);
    EXPECT_EQ(settings.Width, 777);
}

TEST_F(GeneralRulesDialog, TextThatIsNoIntegerGivesZero) {
    const bool ok = run([](QDialog&, RuleControls& c) {
        auto* edit = c.eRecpt->findChild<QLineEdit*>();
        edit->setText("-");
        c.Ok->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(settings.Recipients, 0);
    EXPECT_EQ(settings.MailMaxLen, 100);
}

TEST_F(GeneralRulesDialog, StornoAndEscapeChangeNothing) {
    const TSettings before = settings;
    for (const bool escape : {false, true}) {
        const bool ok = run([escape](QDialog& dialog, RuleControls& c) {
            c.cEmpty->click();
            c.eRecpt->setValue(9);
            c.eLen->setValue(9);
            if (escape) {
                QTest::keyClick(&dialog, Qt::Key_Escape);
            } else {
                c.Storno->click();
            }
        });
        EXPECT_FALSE(ok);
        EXPECT_EQ(settings.SubjectEmpty, before.SubjectEmpty);
        EXPECT_EQ(settings.Recipients, before.Recipients);
        EXPECT_EQ(settings.MailMaxLen, before.MailMaxLen);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // no settings file written
}

TEST_F(GeneralRulesDialog, EnterMovesOnAndF1OpensHelp) {
    const bool ok = run([this](QDialog& dialog, RuleControls& c) {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        c.cEmpty->setFocus();
        QTest::keyClick(c.cEmpty, Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), c.eRecpt);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), c.eLen);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
        EXPECT_EQ(QApplication::focusWidget(), c.Ok);
        EXPECT_FALSE(dialog.isHidden());
        QTest::keyClick(c.eLen, Qt::Key_F1);
        ASSERT_EQ(scope.fake->helpRequests.size(), 1u);
        EXPECT_EQ(scope.fake->helpRequests[0].second, 40);
        c.Storno->click();
    });
    EXPECT_FALSE(ok);
}

}  // namespace
