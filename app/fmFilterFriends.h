#pragma once

#include <QPointer>
#include <QWidget>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class TLineList;

// The friends page of the spam filter dialog: the entries of friends.dat,
// one an address or an "@" and a domain, with Add, Save (replace the
// selected entry) and Delete. Every change is written to the file at once.
class TFriendsPage : public QWidget {
    Q_OBJECT

public:
    explicit TFriendsPage(QWidget* parent = nullptr);
    ~TFriendsPage() override;

    void FriendListClick();
    void Button5Click();  // Add
    void Button6Click();  // Save
    void Button7Click();  // Delete

    QPointer<TLineList> FriendList;
    QPointer<QLabel> Label7;
    QPointer<QLineEdit> eFriend;
    QPointer<QLabel> Label8;
    QPointer<QPushButton> Button5;
    QPointer<QPushButton> Button6;
    QPointer<QPushButton> Button7;

private:
    void createControls();
    void SetEnglishTexts();
    // The entry in the field, trimmed; empty when it is blank. Throws when
    // it holds a control character.
    [[nodiscard]] std::string Entry() const;
    void SaveToFile() const;
};
