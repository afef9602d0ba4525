#include "app/fmFilter.h"

#include "SpamFakePlatform.h"
#include "TempDir.h"
#include "ui/Paths.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// The dialog's controls, found by their names.
struct FilterControls {
    explicit FilterControls(QDialog& d)
        : ListBox(d.findChild<QListWidget*>("ListBox")),
          rSubj(d.findChild<QRadioButton*>("rSubj")),
          rAddr(d.findChild<QRadioButton*>("rAddr")),
          eText(d.findChild<QLineEdit*>("eText")),
          rContent(d.findChild<QRadioButton*>("rContent")),
          rStart(d.findChild<QRadioButton*>("rStart")),
          Memo1(d.findChild<QPlainTextEdit*>("Memo1")),
          Add(d.findChild<QPushButton*>("Button1")),
          Save(d.findChild<QPushButton*>("Button2")),
          Delete(d.findChild<QPushButton*>("Button4")),
          Close(d.findChild<QPushButton*>("Button3")) {}

    // A click on a row, as the user makes it.
    void clickRow(int row) const {
        ListBox->setFocus();
        const QRect rect = ListBox->visualItemRect(ListBox->item(row));
        QTest::mouseClick(ListBox->viewport(), Qt::LeftButton, {}, rect.center());
    }

    [[nodiscard]] QStringList rows() const {
        QStringList texts;
        for (int i = 0; i < ListBox->count(); ++i) texts << ListBox->item(i)->text();
        return texts;
    }

    [[nodiscard]] int selected() const {
        const auto items = ListBox->selectedItems();
        return items.isEmpty() ? -1 : ListBox->row(items.first());
    }

    QListWidget* ListBox;
    QRadioButton* rSubj;
    QRadioButton* rAddr;
    QLineEdit* eText;
    QRadioButton* rContent;
    QRadioButton* rStart;
    QPlainTextEdit* Memo1;
    QPushButton* Add;
    QPushButton* Save;
    QPushButton* Delete;
    QPushButton* Close;
};

// Types one character that QTest's key tables do not know.
void typeCharacter(QWidget* widget, QChar ch) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(widget, &release);
}

class WordListDialog : public ::testing::Test {
protected:
    WordListDialog() { ui::setProgramFolder(dir.path().string()); }
    ~WordListDialog() override { ui::setProgramFolder(""); }

    // Opens the dialog the way the main window does and lets `body` drive
    // it; the dialog is closed with "Close" afterwards.
    void run(const std::function<void(QDialog&, FilterControls&)>& body) {
        bool ran = false;
        scope.fake->onDialog = [&](QDialog& dialog) {
            FilterControls controls(dialog);
            body(dialog, controls);
            controls.Close->click();
            ran = true;
        };
        Tffilter::Execute(nullptr);
        EXPECT_TRUE(ran);
    }

    [[nodiscard]] bool fileExists() const { return std::filesystem::exists(dir.file("filters.dat")); }
    [[nodiscard]] std::string file() const { return dir.read("filters.dat"); }

    TempDir dir;
    SpamPlatformScope scope;
};

TEST_F(WordListDialog, NoFileOpensEmptyWithSaveDisabledAndItsTexts) {
    run([](QDialog& dialog, FilterControls& c) {
        EXPECT_EQ(dialog.windowTitle(), "Spam filter");
        EXPECT_EQ(dialog.size(), QSize(572, 393));
        EXPECT_EQ(c.ListBox->count(), 0);
        EXPECT_FALSE(c.Save->isEnabled());
        EXPECT_TRUE(c.rSubj->isChecked());
        EXPECT_TRUE(c.rContent->isChecked());
        EXPECT_EQ(c.rAddr->text(), "Address of sender (from)");
        EXPECT_EQ(c.rStart->text(), "Text begin on...");
        EXPECT_EQ(c.eText->maxLength(), 255);
        EXPECT_EQ(c.Memo1->toPlainText(),
                  "During testing is applied special algorithm that cantake measure of SPAM's "
                  "feints.For example word \"viagra\" is usually written as \"V-i-a-g-r-a\", "
                  "\"Vi@gra\" etc. Simple test can't detect this, that means you would have to "
                  "add every form of word. Using this program you do not have to do this. It's "
                  "just needs to write only one word of SPAM form and additional forms you do "
                  "not have to write.");
        EXPECT_TRUE(c.Memo1->isReadOnly());
        EXPECT_EQ(c.Memo1->focusPolicy(), Qt::NoFocus);
    });
    EXPECT_FALSE(fileExists());
}

TEST_F(WordListDialog, FirstAddCreatesTheFile) {
    run([](QDialog&, FilterControls& c) {
        c.rAddr->click();
        c.rStart->click();
        QTest::keyClicks(c.eText, "lottery");
        c.Add->click();
        EXPECT_EQ(c.rows(), QStringList{"Address: =lottery"});
        EXPECT_EQ(c.selected(), 0);
    });
    EXPECT_EQ(file(), "Address: =lottery\r\n");
}

TEST_F(WordListDialog, DuplicateIgnoringCaseAddsNothingButRewritesTheFile) {
    dir.write("filters.dat", "Subject: %VIAGRA\n");
    run([](QDialog&, FilterControls& c) {
        c.eText->setText("viagra");
        c.Add->click();
        EXPECT_EQ(c.rows(), QStringList{"Subject: %VIAGRA"});
    });
    EXPECT_EQ(file(), "Subject: %VIAGRA\r\n");
}

TEST_F(WordListDialog, BlankWordWritesNothing) {
    dir.write("filters.dat", "Subject: %a\n");
    run([](QDialog&, FilterControls& c) {
        c.clickRow(0);
        c.eText->setText("  \t ");
        c.Add->click();
        c.Save->click();
        EXPECT_EQ(c.rows(), QStringList{"Subject: %a"});
    });
    EXPECT_EQ(file(), "Subject: %a\n");
}

TEST_F(WordListDialog, ClickShowsTheRuleAndSaveReplacesItInPlace) {
    dir.write("filters.dat", "Subject: %one\r\nAddress: =two\r\nSubject: %three");
    run([](QDialog&, FilterControls& c) {
        c.clickRow(0);
        EXPECT_EQ(c.eText->text(), "one");
        // Moving with the arrow keys counts as a click too.
        QTest::keyClick(c.ListBox, Qt::Key_Down);
        EXPECT_TRUE(c.Save->isEnabled());
        EXPECT_TRUE(c.rAddr->isChecked());
        EXPECT_TRUE(c.rStart->isChecked());
        EXPECT_EQ(c.eText->text(), "two");
        c.eText->setText(" two more");
        c.Save->click();
        EXPECT_EQ(c.rows(), (QStringList{"Subject: %one", "Address: = two more", "Subject: %three"}));
        EXPECT_EQ(c.selected(), 1);
        // A line that already stands elsewhere changes nothing.
        c.rSubj->click();
        c.rContent->click();
        c.eText->setText("ONE");
        c.Save->click();
        EXPECT_EQ(c.rows(), (QStringList{"Subject: %one", "Address: = two more", "Subject: %three"}));
    });
    EXPECT_EQ(file(), "Subject: %one\r\nAddress: = two more\r\nSubject: %three\r\n");
}

// "Save" is disabled without a selection; the handler itself still
// appends to an empty list.
TEST_F(WordListDialog, SaveOnEmptyListAppends) {
    run([](QDialog& dialog, FilterControls& c) {
        c.eText->setText("x");
        static_cast<Tffilter&>(dialog).Button2Click();
        EXPECT_EQ(c.rows(), QStringList{"Subject: %x"});
    });
    EXPECT_EQ(file(), "Subject: %x\r\n");
}

TEST_F(WordListDialog, DeleteLastRowSelectsTheNewLastAndKeepsTheEditor) {
    dir.write("filters.dat", "Subject: %a\r\nSubject: %b\r\nSubject: %c\r\n");
    run([](QDialog&, FilterControls& c) {
        c.clickRow(2);
        c.eText->setText("edited");
        c.Delete->click();
        EXPECT_EQ(c.rows(), (QStringList{"Subject: %a", "Subject: %b"}));
        EXPECT_EQ(c.selected(), 1);
        EXPECT_EQ(c.eText->text(), "edited");
    });
    EXPECT_EQ(file(), "Subject: %a\r\nSubject: %b\r\n");
}

TEST_F(WordListDialog, DeleteOnlyRowLeavesEmptyListAndEmptyFile) {
    dir.write("filters.dat", "Subject: %a\r\n");
    run([](QDialog&, FilterControls& c) {
        c.clickRow(0);
        c.Delete->click();
        EXPECT_EQ(c.ListBox->count(), 0);
        EXPECT_EQ(c.selected(), -1);
        // Nothing selected: Delete deletes nothing and still writes.
        c.Delete->click();
    });
    EXPECT_TRUE(fileExists());
    EXPECT_EQ(file(), "");
}

TEST_F(WordListDialog, TypedSeparatorsAreRefusedPastedTextIsKept) {
    run([](QDialog&, FilterControls& c) {
        QTest::keyClicks(c.eText, "Vi@gra");
        EXPECT_EQ(c.eText->text(), "Vigra");
        c.eText->clear();
        QTest::keyClicks(c.eText, "a!%-.:b1 '=`~");
        EXPECT_EQ(c.eText->text(), "ab1 '=`~");
        c.eText->clear();
        // An accented letter is kept; the code page's character for 0xFF is refused.
        for (const QChar ch : QString::fromUtf8("\xC3\xA9\xCB\x99")) typeCharacter(c.eText, ch);
        EXPECT_EQ(c.eText->text(), QString::fromUtf8("\xC3\xA9"));
        c.eText->clear();
        QApplication::clipboard()->setText("Vi@gra!");
        QTest::keyClick(c.eText, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(c.eText->text(), "Vi@gra!");
    });
}

TEST_F(WordListDialog, LineWithoutPrefixShowsAsSubjectContainsAndSavesWithPrefix) {
    dir.write("filters.dat", "cheap pills\n");
    run([](QDialog&, FilterControls& c) {
        c.rAddr->click();
        c.rStart->click();
        c.clickRow(0);
        EXPECT_TRUE(c.rSubj->isChecked());
        EXPECT_TRUE(c.rContent->isChecked());
        EXPECT_EQ(c.eText->text(), "cheap pills");
        c.Save->click();
    });
    EXPECT_EQ(file(), "Subject: %cheap pills\r\n");
}

TEST_F(WordListDialog, RowsFromTheFileAreWrittenBackByteForByte) {
    // A rule saved in the old 8-bit code page must survive later edits.
    dir.write("filters.dat", "Subject: %p\xF8\xEDli\x9A\r\n");
    run([](QDialog&, FilterControls& c) {
        c.eText->setText("new");
        c.Add->click();
    });
    EXPECT_EQ(file(), "Subject: %p\xF8\xEDli\x9A\r\nSubject: %new\r\n");
}

TEST_F(WordListDialog, EnterMovesOnAndF1OpensHelp) {
    run([this](QDialog& dialog, FilterControls& c) {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        c.eText->setFocus();
        QTest::keyClick(c.eText, Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), c.rContent);
        EXPECT_EQ(c.ListBox->count(), 0);
        c.Delete->setFocus();
        QTest::keyClick(c.Delete, Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), c.Close);
        QTest::keyClick(c.rSubj, Qt::Key_F1);
        ASSERT_EQ(scope.fake->helpRequests.size(), 1u);
        EXPECT_EQ(scope.fake->helpRequests[0].second, 50);
        EXPECT_TRUE(scope.fake->helpRequests[0].first.endsWith("TOLVANE.html"));
    });
    EXPECT_FALSE(fileExists());
}

TEST_F(WordListDialog, FileFailuresAreReportedAndTheListKeepsItsRows) {
    std::filesystem::create_directory(dir.file("filters.dat"));
    run([](QDialog& dialog, FilterControls& c) {
        EXPECT_EQ(dialog.windowTitle(), "Spam filter");
        EXPECT_EQ(c.Add->text(), "Add");
        c.eText->setText("kept");
        c.Add->click();
        EXPECT_EQ(c.rows(), QStringList{"Subject: %kept"});
    });
    ASSERT_EQ(scope.errors.size(), 2u);  // reading at open, writing on Add
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("filters.dat")));
}

TEST_F(WordListDialog, TestFieldShowsTheTextNormalisedAndTheRulesItMeets) {
    dir.write("filters.dat", "Subject: %viagra\r\nAddress: =lottery\r\nSubject: %a\r\nSubject: %g\r\nSubject: %i\r\n");
    run([](QDialog& d, FilterControls& c) {
        auto* eTry = d.findChild<QLineEdit*>("eTry");
        const auto shown = [&d](const char* name) { return d.findChild<QLabel*>(name)->text(); };
        QTest::keyClicks(eTry, "V-i-@-g-r-a");
        EXPECT_EQ(shown("lNormal"), "Normalised: VIAGRA");
        EXPECT_EQ(shown("lSubjectHits"), R"(As subject: "Subject: %viagra", "Subject: %a", "Subject: %g" and 1 more)");
        EXPECT_EQ(shown("lSenderHits"), "As sender: no rule");
        eTry->setText("Lottery");
        EXPECT_EQ(shown("lSubjectHits"), "As subject: no rule");
        // The field follows the list.
        c.rAddr->click();
        c.eText->setText("tery");
        c.Add->click();
        EXPECT_EQ(shown("lSenderHits"), R"(As sender: "Address: =lottery", "Address: %tery")");
    });
}

TEST_F(WordListDialog, FriendsPageAddsSavesAndDeletesEntries) {
    dir.write("friends.dat", "@example.org\r\n");
    run([](QDialog& d, FilterControls&) {
        EXPECT_EQ(d.findChild<QTabWidget*>("Pages")->tabText(1), "Friends");
        auto* list = d.findChild<QListWidget*>("FriendList");
        auto* entry = d.findChild<QLineEdit*>("eFriend");
        auto* save = d.findChild<QPushButton*>("Button6");
        EXPECT_FALSE(save->isEnabled());
        for (const char* typed : {"  Anna@Example.org ", "anna@example.ORG", "   "}) {
            entry->setText(typed);
            d.findChild<QPushButton*>("Button5")->click();
        }
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->item(1)->text(), "Anna@Example.org");
        list->setCurrentRow(0);
        EXPECT_TRUE(save->isEnabled());
        EXPECT_EQ(entry->text(), "@example.org");
        entry->setText("@example.net");
        save->click();
        EXPECT_EQ(list->item(0)->text(), "@example.net");
        d.findChild<QPushButton*>("Button7")->click();
        EXPECT_EQ(list->count(), 1);
    });
    EXPECT_EQ(dir.read("friends.dat"), "Anna@Example.org\r\n");
}

}  // namespace
