#include "app/fmFilterFriends.h"

#include "app/LineList.h"
#include "app/udmFriends.h"
#include "app/udmSpam.h"
#include "message/IdGlobal.h"
#include "ui/CommandGuard.h"
#include "ui/Help.h"
#include "ui/TextCodec.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kMaxEntryLength = 255;

}  // namespace

TFriendsPage::TFriendsPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FriendsPage"));
    createControls();
    // A file that cannot be read is reported on its own; the page still
    // opens, with an empty list.
    ui::runGuarded([this] { FriendList->AddLines(ReadFilterFile(FriendsFilePath())); });
    Button6->setEnabled(false);
    SetEnglishTexts();
}

TFriendsPage::~TFriendsPage() = default;

void TFriendsPage::createControls() {
    FriendList = new TLineList(this);
    FriendList->setObjectName(QStringLiteral("FriendList"));
    FriendList->setGeometry(4, 4, 277, 318);
    Label7 = new QLabel(this);
    Label7->setObjectName(QStringLiteral("Label7"));
    QFont bold = Label7->font();
    bold.setBold(true);
    Label7->setFont(bold);
    Label7->setGeometry(292, 4, 264, 16);
    eFriend = new QLineEdit(this);
    eFriend->setObjectName(QStringLiteral("eFriend"));
    eFriend->setMaxLength(kMaxEntryLength);
    eFriend->setGeometry(292, 22, 264, 22);
    Label8 = new QLabel(this);
    Label8->setObjectName(QStringLiteral("Label8"));
    Label8->setWordWrap(true);
    Label8->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label8->setGeometry(292, 54, 264, 96);
    const auto button = [this](const char* name, int left) {
        auto* b = new QPushButton(this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(left, 296, 82, 26);
        b->setAutoDefault(false);
        return b;
    };
    Button5 = button("Button5", 292);
    Button6 = button("Button6", 383);
    Button7 = button("Button7", 474);
    for (QWidget* w : {static_cast<QWidget*>(FriendList), static_cast<QWidget*>(eFriend),
                       static_cast<QWidget*>(Button7)})
        ui::setEnterMovesOn(w);
    connect(Button5, &QPushButton::clicked, this, ui::guarded([this] { Button5Click(); }));
    connect(Button6, &QPushButton::clicked, this, ui::guarded([this] { Button6Click(); }));
    connect(Button7, &QPushButton::clicked, this, ui::guarded([this] { Button7Click(); }));
    connect(FriendList, &TLineList::rowClicked, this, ui::guarded([this] { FriendListClick(); }));
}

void TFriendsPage::SetEnglishTexts() {
    Label7->setText(QStringLiteral("Address or @domain:"));
    Label8->setText(QStringLiteral(
        "Mail from these senders is never marked as spam, whatever the rules say. An entry is an "
        "address (anna@example.org) or a whole domain (@example.org); letter case does not matter. "
        "The next check run uses the list."));
    Button5->setText(QStringLiteral("Add"));
    Button6->setText(QStringLiteral("Save"));
    Button7->setText(QStringLiteral("Delete"));
}

std::string TFriendsPage::Entry() const {
    std::string entry(Trim(ui::fromQString(eFriend->text())));
    CheckFriendEntry(entry);
    return entry;
}

void TFriendsPage::SaveToFile() const { WriteFilterFile(FriendsFilePath(), FriendList->Lines()); }

void TFriendsPage::FriendListClick() {
    const int index = FriendList->SelectedIndex();
    Button6->setEnabled(index >= 0);
    eFriend->setText(index >= 0 ? ui::toQString(FriendList->LineAt(index)) : QString());
}

void TFriendsPage::Button5Click() {
    const std::string entry = Entry();
    if (entry.empty()) return;
    FriendList->AddUnique(entry);
    SaveToFile();
}

void TFriendsPage::Button6Click() {
    const std::string entry = Entry();
    if (entry.empty()) return;
    FriendList->ReplaceSelected(entry);
    SaveToFile();
}

void TFriendsPage::Button7Click() {
    FriendList->DeleteSelected();
    SaveToFile();
}
