// The main window's commands: its actions, menus, tool bar, their English
// texts, and the wiring of every action to its handler.
#include "app/fmMain.h"

#include "ui/CommandGuard.h"

#include <QAction>
#include <QKeySequence>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QTreeWidget>

#include <utility>
#include <vector>

namespace {

QIcon commandIcon(int number) {
    return QIcon(QStringLiteral(":/icons/cmd%1.png").arg(number, 2, 10, QLatin1Char('0')));
}

}  // namespace

QAction* Tfmain::NewAction(const char* name, int icon) {
    auto* action = new QAction(this);
    action->setObjectName(QString::fromLatin1(name));
    if (icon >= 0) action->setIcon(commandIcon(icon));
    return action;
}

void Tfmain::CreateActions() {
    // The menu items of New Account and Properties show each other's
    // pictures, as they always have; tool buttons and context menus do not.
    mNew = NewAction("mNew", 1);
    mDelete = NewAction("mDelete", 2);
    mEdit = NewAction("mEdit", 0);
    Exit1 = NewAction("Exit1", -1);
    mmCheck = NewAction("mmCheck", 3);
    mmDownload = NewAction("mmDownload", 4);
    mmDel = NewAction("mmDel", 5);
    mmFastCheck = NewAction("mmFastCheck", -1);
    mmFastCheck->setCheckable(true);
    mmAllCharsets = NewAction("mmAllCharsets", -1);
    mmAllCharsets->setCheckable(true);
    NastavenSPAMfiltr1 = NewAction("NastavenSPAMfiltr1", 10);
    Obecnpravidla1 = NewAction("Obecnpravidla1", 11);
    Npovda1 = NewAction("Npovda1", 9);
    About1 = NewAction("About1", -1);

    tNew = NewAction("tNew", 0);
    tEdit = NewAction("tEdit", 1);
    tDel = NewAction("tDel", 2);
    tCheck = NewAction("tCheck", 3);
    tDownload = NewAction("tDownload", 4);
    tDelete = NewAction("tDelete", 5);
    tSpam = NewAction("tSpam", 6);
    tAll = NewAction("tAll", 8);
    tUnsel = NewAction("tUnsel", 7);
    lHelp = NewAction("lHelp", 9);
    for (QAction* a : {tDownload.data(), tDelete.data(), tSpam.data(), tAll.data(), tUnsel.data()})
        a->setEnabled(false);

    CheckAcc = NewAction("CheckAcc", 3);
    NewAcc = NewAction("NewAcc", 0);
    DelAcc = NewAction("DelAcc", 2);
    EditAcc = NewAction("EditAcc", 1);
    mDownload = NewAction("mDownload", 4);
    mDel = NewAction("mDel", 5);
    mmSpam = NewAction("mmSpam", 6);
    mmAll = NewAction("mmAll", 8);
    mmUnsel = NewAction("mmUnsel", 7);
    mTrust = NewAction("mTrust", 12);
    // These shortcuts act while the header list has the focus.
    const std::pair<QAction*, QKeySequence> shortcuts[] = {
        {mmSpam, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {mmAll, QKeySequence(Qt::CTRL | Qt::Key_A)},
        {mmUnsel, QKeySequence(Qt::CTRL | Qt::Key_O)},
    };
    for (const auto& [action, keys] : shortcuts) {
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        headlist->addAction(action);
    }
}

void Tfmain::CreateMenus() {
    menuBar()->setObjectName(QStringLiteral("mm"));
    auto addMenu = [this](const char* name, std::initializer_list<QAction*> items) {
        QMenu* menu = menuBar()->addMenu(QString());
        menu->setObjectName(QString::fromLatin1(name));
        for (QAction* a : items) {
            if (a) menu->addAction(a);
            else menu->addSeparator();
        }
        return menu;
    };
    Accounts1 = addMenu("Accounts1", {mNew, mDelete, mEdit, nullptr, Exit1});
    Messages1 = addMenu("Messages1", {mmCheck, nullptr, mmDownload, mmDel, nullptr, mmFastCheck, mmAllCharsets});
    SPAMfilter1 = addMenu("SPAMfilter1", {NastavenSPAMfiltr1, Obecnpravidla1});
    Help1 = addMenu("Help1", {Npovda1, About1});

    auto popup = [this](const char* name, std::initializer_list<QAction*> items) {
        auto* menu = new QMenu(this);
        menu->setObjectName(QString::fromLatin1(name));
        for (QAction* a : items) {
            if (a) menu->addAction(a);
            else menu->addSeparator();
        }
        connect(menu, &QMenu::aboutToShow, this, ui::guarded([this] { UpdateCommands(); }));
        return menu;
    };
    pop3popup = popup("pop3popup", {CheckAcc, nullptr, NewAcc, DelAcc, nullptr, EditAcc});
    headpopup = popup("headpopup", {mDownload, mDel, nullptr, mmSpam, mmAll, nullptr, mmUnsel, nullptr, mTrust});
}

void Tfmain::CreateToolBar() {
    for (QAction* a : {tNew.data(), tEdit.data(), tDel.data(), static_cast<QAction*>(nullptr),
                       tCheck.data(), static_cast<QAction*>(nullptr), tDownload.data(),
                       tDelete.data(), static_cast<QAction*>(nullptr), tSpam.data(), tAll.data(),
                       tUnsel.data(), static_cast<QAction*>(nullptr), lHelp.data()}) {
        if (a) tool->addAction(a);
        else tool->addSeparator();
    }
}

void Tfmain::ConnectCommands() {
    struct Command {
        void (Tfmain::*handler)();
        std::vector<QAction*> actions;
    };
    const Command commands[] = {
        {&Tfmain::NewAccClick, {mNew, tNew, NewAcc}},
        {&Tfmain::DelAccClick, {mDelete, tDel, DelAcc}},
        {&Tfmain::EditAccClick, {mEdit, tEdit, EditAcc}},
        {&Tfmain::Exit1Click, {Exit1}},
        {&Tfmain::CheckAccClick, {mmCheck, tCheck, CheckAcc}},
        {&Tfmain::lDownClick, {mmDownload, tDownload, mDownload}},
        {&Tfmain::mmDelClick, {mmDel, tDelete, mDel}},
        {&Tfmain::mmSpamClick, {tSpam, mmSpam}},
        {&Tfmain::mmAllClick, {tAll, mmAll}},
        {&Tfmain::mmUnselClick, {tUnsel, mmUnsel}},
        {&Tfmain::mTrustClick, {mTrust}},
        {&Tfmain::NastavenSPAMfiltr1Click, {NastavenSPAMfiltr1}},
        {&Tfmain::Obecnpravidla1Click, {Obecnpravidla1}},
        {&Tfmain::lHelpClick, {Npovda1, lHelp}},
        {&Tfmain::About1Click, {About1}},
        {&Tfmain::mmFastCheckClick, {mmFastCheck}},
        {&Tfmain::mmAllCharsetsClick, {mmAllCharsets}},
    };
    for (const Command& command : commands) {
        for (QAction* action : command.actions) {
            connect(action, &QAction::triggered, this,
                    ui::guarded([this, h = command.handler] { (this->*h)(); }));
        }
    }
    connect(lDown, &TLinkLabel::clicked, this, ui::guarded([this] { lDownClick(); }));
    connect(lDelete, &TLinkLabel::clicked, this, ui::guarded([this] { mmDelClick(); }));
    connect(poplist, &QListWidget::itemDoubleClicked, this, ui::guarded([this] { EditAccClick(); }));
    connect(poplist, &QListWidget::itemSelectionChanged, this, ui::guarded([this] { UpdateCommands(); }));
    ConnectHeaderList();
    connect(poplist, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        pop3popup->popup(poplist->viewport()->mapToGlobal(at));
    });
    connect(headlist, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        headpopup->popup(headlist->viewport()->mapToGlobal(at));
    });
}

void Tfmain::SetEnglishTexts() {
    const std::pair<QMenu*, const char*> menus[] = {
        {Accounts1, "Account"}, {Messages1, "Messages"}, {SPAMfilter1, "SPAM-filter"}, {Help1, "Help"}};
    for (const auto& [menu, text] : menus) menu->setTitle(QString::fromLatin1(text));
    // Menu items, context menu items and tool buttons; a tool button's text
    // is its hint.
    const std::pair<QAction*, const char*> items[] = {
        {mNew, "New Account"}, {mDelete, "Remove Account"}, {mEdit, "Properties"},
        {Exit1, "Exit"}, {mmCheck, "Check Messages"}, {mmDownload, "Download message"},
        {mmDel, "Remove Message(s)"}, {mmFastCheck, "Fast check (pipelining)"},
        {mmAllCharsets, "Decode all character sets"},
        {NastavenSPAMfiltr1, "SPAM filter Options"},
        {Obecnpravidla1, "General Rules"}, {Npovda1, "Help Contain"}, {About1, "About ..."},
        {tNew, "New Account"}, {tEdit, "Properties"}, {tDel, "Remove Account"},
        {tCheck, "Check Messages"}, {tDownload, "Download message"},
        {tDelete, "Remove Message(s)"}, {tSpam, "Select SPAM"}, {tAll, "Select all"},
        {tUnsel, "Deselect All"}, {lHelp, "Help Contain"},
        {CheckAcc, "Check Messages"}, {NewAcc, "New Account"}, {DelAcc, "Remove Account"},
        {EditAcc, "Properties"}, {mDownload, "Download message"}, {mDel, "Remove Message(s)"},
        {mmSpam, "Select SPAM"}, {mmAll, "Select all"}, {mmUnsel, "Deselect All"},
        {mTrust, "Always trust this sender"},
    };
    for (const auto& [action, text] : items) {
        action->setText(QString::fromLatin1(text));
        action->setToolTip(QString::fromLatin1(text));
    }
    headlist->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Size [B]"),
                               QStringLiteral("Sender"), QStringLiteral("receiver"),
                               QStringLiteral("Subject"), QStringLiteral("ID")});
    lDown->setText(QStringLiteral("Download message"));
    lDown->setToolTip(QStringLiteral("Safe download of message and don't try to run any attachment."));
    lDown->adjustSize();
    lDelete->setText(QStringLiteral("Remove Message(s)"));
    lDelete->setToolTip(QStringLiteral("Delete Message on the Server"));
    lDelete->adjustSize();
    Panel5->setText(QStringLiteral("E-Mail Accounts"));
}
