#include "app/fmEdit.h"
#include "app/fmFilter.h"
#include "app/fmFilter1.h"
#include "app/fmMain.h"

#include "FakePlatform.h"
#include "TempDir.h"
#include "net/IdException.h"
#include "ui/Application.h"
#include "ui/Paths.h"

#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records which handler ran instead of running it.
class RecordingMain : public Tfmain {
public:
    std::vector<std::string> ran;
    void NewAccClick() override { ran.push_back("NewAccClick"); }
    void DelAccClick() override { ran.push_back("DelAccClick"); }
    void EditAccClick() override { ran.push_back("EditAccClick"); }
    void Exit1Click() override { ran.push_back("Exit1Click"); }
    void CheckAccClick() override { ran.push_back("CheckAccClick"); }
    void lDownClick() override { ran.push_back("lDownClick"); }
    void mmDelClick() override { ran.push_back("mmDelClick"); }
    void mmSpamClick() override { ran.push_back("mmSpamClick"); }
    void mmAllClick() override { ran.push_back("mmAllClick"); }
    void mmUnselClick() override { ran.push_back("mmUnselClick"); }
    void NastavenSPAMfiltr1Click() override { ran.push_back("NastavenSPAMfiltr1Click"); }
    void Obecnpravidla1Click() override { ran.push_back("Obecnpravidla1Click"); }
    void lHelpClick() override { ran.push_back("lHelpClick"); }
    void About1Click() override { ran.push_back("About1Click"); }
};

class MainWindow : public ::testing::Test {
protected:
    MainWindow() {
        ui::setProgramFolder(dir.path().string());
        ui::setSettingsFolder(dir.path().string());
    }
    ~MainWindow() override {
        ui::setProgramFolder("");
        ui::setSettingsFolder("");
    }

    static QStringList names(const QList<QAction*>& actions) {
        QStringList out;
        for (QAction* a : actions)
            out << (a->isSeparator() ? QStringLiteral("-")
                                     : a->menu() ? a->menu()->objectName() : a->objectName());
        return out;
    }

    static void enableAll(Tfmain& w) {
        for (QAction* a : w.findChildren<QAction*>()) a->setEnabled(true);
        w.lDown->setEnabled(true);
        w.lDelete->setEnabled(true);
    }

    TempDir dir;
    FakePlatformScope fake;
};

// --- Commands and their controls

TEST_F(MainWindow, EveryCommandRunsFromEachOfItsControls) {
    struct Row {
        const char* action;
        const char* handler;
    };
    const Row rows[] = {
        {"mNew", "NewAccClick"},         {"tNew", "NewAccClick"},
        {"NewAcc", "NewAccClick"},       {"mDelete", "DelAccClick"},
        {"tDel", "DelAccClick"},         {"DelAcc", "DelAccClick"},
        {"mEdit", "EditAccClick"},       {"tEdit", "EditAccClick"},
        {"EditAcc", "EditAccClick"},     {"Exit1", "Exit1Click"},
        {"mmCheck", "CheckAccClick"},    {"tCheck", "CheckAccClick"},
        {"CheckAcc", "CheckAccClick"},   {"mmDownload", "lDownClick"},
        {"tDownload", "lDownClick"},     {"mDownload", "lDownClick"},
        {"mmDel", "mmDelClick"},         {"tDelete", "mmDelClick"},
        {"mDel", "mmDelClick"},          {"tSpam", "mmSpamClick"},
        {"mmSpam", "mmSpamClick"},       {"tAll", "mmAllClick"},
        {"mmAll", "mmAllClick"},         {"tUnsel", "mmUnselClick"},
        {"mmUnsel", "mmUnselClick"},     {"NastavenSPAMfiltr1", "NastavenSPAMfiltr1Click"},
        {"Obecnpravidla1", "Obecnpravidla1Click"}, {"Npovda1", "lHelpClick"},
        {"lHelp", "lHelpClick"},         {"About1", "About1Click"},
    };
    RecordingMain w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    enableAll(w);
    for (const Row& row : rows) {
        auto* action = w.findChild<QAction*>(QString::fromLatin1(row.action));
        ASSERT_NE(action, nullptr) << row.action;
        w.ran.clear();
        // A tool button is clicked as the user clicks it; menu items fire.
        if (QWidget* button = w.tool->widgetForAction(action))
            QTest::mouseClick(button, Qt::LeftButton);
        else
            action->trigger();
        EXPECT_EQ(w.ran, std::vector<std::string>{row.handler}) << row.action;
    }
}

TEST_F(MainWindow, KeysLinksAndDoubleClickRunTheirCommands) {
    RecordingMain w;
    w.AddAccountItem({"office", "pop.example.com", "joe", "pw", "110"});
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    enableAll(w);
    struct Row {
        const char* name;
        std::function<void()> act;
        const char* handler;
    };
    const Row rows[] = {
        {"Insert in poplist", [&] { QTest::keyClick(w.poplist, Qt::Key_Insert); }, "NewAccClick"},
        {"Enter in poplist", [&] { QTest::keyClick(w.poplist, Qt::Key_Return); }, "EditAccClick"},
        {"keypad Enter in poplist", [&] { QTest::keyClick(w.poplist, Qt::Key_Enter); }, "EditAccClick"},
        {"Delete in poplist", [&] { QTest::keyClick(w.poplist, Qt::Key_Delete); }, "DelAccClick"},
        {"Delete in headlist", [&] { QTest::keyClick(w.headlist, Qt::Key_Delete); }, "mmDelClick"},
        {"link lDown", [&] { QTest::mouseClick(w.lDown, Qt::LeftButton); }, "lDownClick"},
        {"link lDelete", [&] { QTest::mouseClick(w.lDelete, Qt::LeftButton); }, "mmDelClick"},
        {"double click on an account",
         [&] {
             QCoreApplication::processEvents();
             const QRect r = w.poplist->visualItemRect(w.poplist->item(0));
             ASSERT_FALSE(r.isEmpty());
             QTest::mouseClick(w.poplist->viewport(), Qt::LeftButton, {}, r.center());
             QTest::mouseDClick(w.poplist->viewport(), Qt::LeftButton, {}, r.center());
         },
         "EditAccClick"},
    };
    for (const Row& row : rows) {
        w.ran.clear();
        row.act();
        EXPECT_EQ(w.ran, std::vector<std::string>{row.handler}) << row.name;
    }
}

TEST_F(MainWindow, ContextMenuShortcutsActWhileHeaderListHasFocus) {
    RecordingMain w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    enableAll(w);
    w.headlist->setFocus();
    const std::pair<Qt::Key, const char*> rows[] = {
        {Qt::Key_S, "mmSpamClick"}, {Qt::Key_A, "mmAllClick"}, {Qt::Key_O, "mmUnselClick"}};
    for (const auto& [key, handler] : rows) {
        w.ran.clear();
        QTest::keyClick(w.headlist, key, Qt::ControlModifier);
        EXPECT_EQ(w.ran, std::vector<std::string>{handler}) << handler;
    }
    // Elsewhere the keys do nothing.
    w.poplist->setFocus();
    w.ran.clear();
    QTest::keyClick(w.poplist, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(w.ran.empty());
}

TEST_F(MainWindow, MenuContextMenuAndToolBarOrders) {
    Tfmain w;
    EXPECT_EQ(names(w.menuBar()->actions()),
              QStringList({"Accounts1", "Messages1", "SPAMfilter1", "Help1"}));
    EXPECT_EQ(names(w.Accounts1->actions()), QStringList({"mNew", "mDelete", "mEdit", "-", "Exit1"}));
    EXPECT_EQ(names(w.Messages1->actions()),
              QStringList({"mmCheck", "-", "mmDownload", "mmDel", "-", "mmFastCheck", "mmAllCharsets"}));
    EXPECT_EQ(names(w.SPAMfilter1->actions()), QStringList({"NastavenSPAMfiltr1", "Obecnpravidla1"}));
    EXPECT_EQ(names(w.Help1->actions()), QStringList({"Npovda1", "About1"}));
    EXPECT_EQ(names(w.pop3popup->actions()),
              QStringList({"CheckAcc", "-", "NewAcc", "DelAcc", "-", "EditAcc"}));
    EXPECT_EQ(names(w.headpopup->actions()),
              QStringList({"mDownload", "mDel", "-", "mmSpam", "mmAll", "-", "mmUnsel", "-", "mTrust"}));
    EXPECT_EQ(names(w.tool->actions()),
              QStringList({"tNew", "tEdit", "tDel", "-", "tCheck", "-", "tDownload", "tDelete", "-",
                           "tSpam", "tAll", "tUnsel", "-", "lHelp"}));
}

TEST_F(MainWindow, EnglishTextsAndHints) {
    Tfmain w;
    EXPECT_EQ(w.Accounts1->title(), "Account");
    EXPECT_EQ(w.SPAMfilter1->title(), "SPAM-filter");
    EXPECT_EQ(w.About1->text(), "About ...");
    EXPECT_EQ(w.Npovda1->text(), "Help Contain");
    EXPECT_EQ(w.tDownload->toolTip(), "Download message");
    EXPECT_EQ(w.tUnsel->toolTip(), "Deselect All");
    EXPECT_EQ(w.lDown->text(), "Download message");
    EXPECT_EQ(w.lDown->toolTip(), "Safe download of message and don't try to run any attachment.");
    EXPECT_EQ(w.lDelete->toolTip(), "Delete Message on the Server");
    EXPECT_EQ(w.Panel5->text(), "E-Mail Accounts");
    EXPECT_EQ(w.Panel6Caption->text(), "   Detail");
    // Every tool button and menu item has an icon except Exit, About and
    // the checkable settings, which show their check mark instead.
    for (QAction* a : w.findChildren<QAction*>()) {
        if (a->isSeparator() || a->menu() || a->objectName().isEmpty()) continue;
        const bool iconless = a == w.Exit1.data() || a == w.About1.data() || a->isCheckable();
        EXPECT_EQ(a->icon().isNull(), iconless) << a->objectName().toStdString();
    }
}

TEST_F(MainWindow, HeaderListColumns) {
    Tfmain w;
    QTreeWidgetItem* header = w.headlist->headerItem();
    const char* captions[] = {"Date", "Size [B]", "Sender", "receiver", "Subject", "ID"};
    const int widths[] = {128, 80, 128, 128, 256, 64};
    const int minimum[] = {108, 64, 88, 88, 88, 64};
    ASSERT_EQ(w.headlist->columnCount(), 6);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(header->text(c), captions[c]);
        EXPECT_EQ(w.headlist->header()->sectionSize(c), widths[c]) << c;
        w.headlist->header()->resizeSection(c, 10);
        EXPECT_EQ(w.headlist->header()->sectionSize(c), minimum[c]) << c;
    }
    EXPECT_TRUE(header->textAlignment(1) & Qt::AlignRight);
    QTreeWidgetItem* row = w.AddHeaderRow({"1.2.2026", "80", "a@b", "c@d", "Hi", "<x@y>"});
    EXPECT_EQ(row->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(row->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(w.headlist->rootIsDecorated());
}

TEST_F(MainWindow, StartingEnabledStates) {
    Tfmain w;
    for (QAction* a : w.findChildren<QAction*>()) {
        if (a->isSeparator() || a->menu() || a->objectName().isEmpty()) continue;
        const QString n = a->objectName();
        const bool off = n == "tDownload" || n == "tDelete" || n == "tSpam" || n == "tAll" || n == "tUnsel";
        EXPECT_EQ(a->isEnabled(), !off) << n.toStdString();
    }
}

// --- UpdateCommands and UpdateDownloadCommands

TEST_F(MainWindow, UpdateCommandsFollowsAccountRowsAndCurrentRow) {
    Tfmain w;
    QListWidgetItem* office = w.AddAccountItem({"Office", "pop", "u", "p", "110"});
    const QList<QAction*> account = {w.CheckAcc, w.DelAcc, w.EditAcc, w.mDelete, w.tEdit,
                                     w.tDel,     w.tCheck, w.mmCheck, w.mEdit};
    const QList<QAction*> list = {w.tSpam, w.tAll, w.tUnsel, w.mmSpam, w.mmAll, w.mmUnsel};
    const QList<QAction*> deletes = {w.tDelete, w.mDel, w.mmDel};
    const QList<QAction*> downloads = {w.mDownload, w.mmDownload, w.tDownload};
    auto all = [](const QList<QAction*>& as, bool on) {
        return std::all_of(as.begin(), as.end(), [on](QAction* a) { return a->isEnabled() == on; });
    };

    w.UpdateCommands();
    EXPECT_TRUE(all(account, false));
    EXPECT_TRUE(all({w.mNew, w.tNew, w.NewAcc}, true));
    EXPECT_TRUE(all(list, false));
    EXPECT_TRUE(all(deletes, false));
    EXPECT_FALSE(w.lDelete->isEnabled());
    EXPECT_TRUE(all(downloads, false));
    EXPECT_FALSE(w.lDown->isEnabled());
    EXPECT_EQ(w.CheckAcc->text(), "Check Messages");
    EXPECT_EQ(w.mmCheck->text(), "Check Messages");

    office->setSelected(true);  // runs UpdateCommands through the selection
    EXPECT_TRUE(all(account, true));
    EXPECT_EQ(w.CheckAcc->text(), "Check Messages (Office)");
    EXPECT_EQ(w.mmCheck->text(), "Check Messages (Office)");

    w.AddHeaderRow({"d", "1", "s", "r", "t", "i"});
    w.FCurrentRow = 0;
    w.UpdateDownloadCommands(false);
    w.UpdateCommands();
    EXPECT_TRUE(all(list, true));
    EXPECT_TRUE(all(deletes, true));
    EXPECT_TRUE(w.lDelete->isEnabled());
    EXPECT_TRUE(all(downloads, true)) << "download commands keep their state";
    w.UpdateDownloadCommands(true);
    EXPECT_TRUE(all(downloads, false));
    EXPECT_FALSE(w.lDown->isEnabled());

    office->setSelected(false);
    EXPECT_TRUE(all(account, false));
    EXPECT_EQ(w.CheckAcc->text(), "Check Messages");
}

TEST_F(MainWindow, CheckCaptionShowsAmpersandOfAccountName) {
    Tfmain w;
    w.AddAccountItem({"R&D", "pop", "u", "p", "110"})->setSelected(true);
    EXPECT_EQ(w.mmCheck->text(), "Check Messages (R&&D)");
}

// --- Sizes, progress and errors

TEST_F(MainWindow, AdjustSubjectColumn) {
    Tfmain w;
    const std::pair<int, int> rows[] = {{600, 188}, {666, 188}, {1000, 522}};
    for (const auto& [width, subject] : rows) {
        w.headlist->resize(width, 100);
        w.AdjustSubjectColumn();
        EXPECT_EQ(w.headlist->header()->sectionSize(4), subject) << width;
    }
}

TEST_F(MainWindow, ProgressNotificationSteps) {
    Tfmain w;
    w.ShowProgress("Checking...", 8);
    auto notify = [&](long long count) {
        ui::ProgressEvent event(1, count);
        QCoreApplication::sendEvent(&w, &event);
        return w.progress->value();
    };
    EXPECT_EQ(notify(5), 5) << "a count under the maximum is the position";
    w.progress->setValue(8);
    EXPECT_EQ(notify(40), 1) << "past the maximum at the end wraps to the start";
    w.progress->setValue(3);
    EXPECT_EQ(notify(40), 4) << "past the maximum steps forward";
    w.ShowProgress("Downloading...", 100000);
    EXPECT_EQ(notify(65536), 65536) << "a download shows the bytes read";
}

TEST_F(MainWindow, ShowProgressShowsAndHidesThePanel) {
    Tfmain w;
    EXPECT_TRUE(w.inf->isHidden());
    w.ShowProgress("Checking...", 8);
    EXPECT_FALSE(w.inf->isHidden());
    EXPECT_EQ(w.inflabel->text(), "Checking...");
    EXPECT_EQ(w.progress->value(), 1);
    EXPECT_EQ(w.progress->maximum(), 8);
    w.progress->setValue(6);
    w.ShowProgress("", 8);
    EXPECT_TRUE(w.inf->isHidden());
    EXPECT_EQ(w.progress->value(), 1);
}

// Counts the layout requests a widget receives.
class LayoutRequestCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) ++count;
        return false;
    }
};

TEST_F(MainWindow, ProgressPanelCoversTheListOnlyWhileShownAndLeavesTheLayoutAlone) {
    Tfmain w;
    w.resize(800, 500);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QWidget* client = w.centralWidget();
    const QPoint inside(8 + 180, 54 + 30);
    auto onTop = [&] {
        QWidget* at = client->childAt(inside);
        return at == w.inf.data() || (at && w.inf->isAncestorOf(at));
    };
    // What lies below the panel's place, which gets the clicks there while
    // the panel is hidden.
    QWidget* below = client->childAt(inside);
    ASSERT_NE(below, nullptr);
    ASSERT_FALSE(onTop());
    EXPECT_NE(below, w.infPlace.data());

    LayoutRequestCounter counter;
    client->installEventFilter(&counter);
    // The window's own first layout passes settle first.
    for (int last = -1; last != counter.count;) {
        last = counter.count;
        QTest::qWait(10);
    }
    counter.count = 0;
    w.ShowProgress("Checking...", 8);
    EXPECT_TRUE(onTop());
    EXPECT_EQ(w.inf->mapTo(client, QPoint(0, 0)), QPoint(8, 54));
    EXPECT_EQ(w.inf->size(), QSize(362, 49));
    w.ShowProgress("", 8);
    EXPECT_EQ(client->childAt(inside), below);
    QCoreApplication::processEvents();
    // Showing and hiding the panel must not lay out the window again: with
    // thousands of rows in the list that costs more than the panel itself.
    EXPECT_EQ(counter.count, 0);
    client->removeEventFilter(&counter);
}

class FailingCheck : public Tfmain {
public:
    void CheckAccClick() override { throw EIdException("Connection refused."); }
};

TEST_F(MainWindow, ErrorInCommandIsShownAndProgramGoesOn) {
    FailingCheck w;
    w.move(100, 120);
    enableAll(w);
    w.tCheck->trigger();
    ASSERT_EQ(fake->errors.size(), 1u);
    EXPECT_EQ(fake->errors[0].text, "Connection refused.");
    EXPECT_EQ(fake->errors[0].topLeft, w.pos() + QPoint(50, 50));
    w.lHelp->trigger();
    EXPECT_EQ(fake->opened.size(), 1u) << "the next command still runs";
}

// --- Help

TEST_F(MainWindow, HelpContentsAndContextHelp) {
    Tfmain w;
    const QString page = QString::fromStdString(ui::ProgramFilePath("TOLVANE.html"));
    w.Npovda1->trigger();
    ASSERT_EQ(fake->opened.size(), 1u);
    EXPECT_EQ(fake->opened[0], page);

    QTest::keyClick(w.poplist, Qt::Key_F1);
    // Every dialog opens help at its own context while the main window,
    // which sees the keys of the whole application, is alive.
    Tfedit account(&w);
    Tffilter words(&w);
    TfFilter1 rules(w.settings(), &w);
    for (QWidget* dialog : {static_cast<QWidget*>(&account), static_cast<QWidget*>(&words),
                            static_cast<QWidget*>(&rules)}) {
        dialog->show();
        QWidget* control = dialog->focusWidget() ? dialog->focusWidget() : dialog;
        QTest::keyClick(control, Qt::Key_F1);
        dialog->hide();
    }
    const std::vector<std::pair<QString, int>> expected = {{page, 30}, {page, 10}, {page, 50}, {page, 40}};
    EXPECT_EQ(fake->help, expected);
}

TEST_F(MainWindow, HelpPageHasASectionForEveryWindow) {
    QFile file(QStringLiteral(SKIMLET_SOURCE_DIR "/help/TOLVANE.html"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray html = file.readAll();
    for (const char* id : {"context-30", "context-10", "context-40", "context-50"})
        EXPECT_TRUE(html.contains(QByteArray("id=\"") + id + "\"")) << id;
}

// --- Position from the settings

TEST_F(MainWindow, PositionOffEveryScreenMovesOntoPrimaryScreen) {
    dir.write("tolvanes.ini", "[POSITION]\nTOP=-30000\nLEFT=40000\n[SIZE]\nHEIGHT=300\nWIDTH=400\n");
    Tfmain w;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(w.geometry())) << w.x() << "," << w.y();
    EXPECT_EQ(w.size(), QSize(400, 300));
}

TEST_F(MainWindow, SplitterPositionsRoundTrip) {
    dir.write("tolvanes.ini", "[SPLIT]\nVERTICAL=200\nHORIZONTAL=150\n");
    { Tfmain w; w.close(); }
    const std::string text = dir.read("tolvanes.ini");
    EXPECT_NE(text.find("VERTICAL=200"), std::string::npos) << text;
    EXPECT_NE(text.find("HORIZONTAL=150"), std::string::npos) << text;
}

}  // namespace
