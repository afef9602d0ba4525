#pragma once

#include <QDialog>
#include <QPointer>

#include <string>
#include <vector>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class TFriendsPage;
class TLineList;

// The spam word list editor. The list box rows are the rule lines of
// filters.dat; every change is written to the file at once. A test field
// shows a typed text normalised and the rules it matches as a subject and
// as a sender. A second page edits the friends list.
class Tffilter : public QDialog {
    Q_OBJECT

public:
    explicit Tffilter(QWidget* parent = nullptr);
    ~Tffilter() override;

    // Creates the dialog, runs it modally and frees it.
    static void Execute(QWidget* parent);

    // The rule lines as shown, each as its stored bytes.
    [[nodiscard]] std::vector<std::string> Lines() const;

    void ListBoxClick();
    void Button1Click();  // Add
    void Button2Click();  // Save (replace the selected row)
    void Button4Click();  // Delete
    // Shows the test field's text normalised and the rules that match it.
    void eTryChange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createPages();
    void createControls(QWidget* page);
    void createExplanation(QWidget* page);
    void createTester(QWidget* page);
    void createButtons(QWidget* page);
    void setTabOrder();
    void FormCreate();
    void SetEnglishTexts();
    [[nodiscard]] std::string ComposeLine() const;
    [[nodiscard]] bool TextIsBlank() const;
    void SaveToFile();

    QPointer<QTabWidget> Pages;
    QPointer<TFriendsPage> FriendsPage;
    QPointer<TLineList> ListBox;
    QPointer<QLabel> Label1;
    QPointer<QRadioButton> rSubj;
    QPointer<QRadioButton> rAddr;
    QPointer<QLabel> Label2;
    QPointer<QLineEdit> eText;
    QPointer<QLabel> Label3;
    QPointer<QRadioButton> rContent;
    QPointer<QRadioButton> rStart;
    QPointer<QLabel> Label5;
    QPointer<QPlainTextEdit> Memo1;
    QPointer<QLabel> Image1;
    QPointer<QPushButton> Button1;
    QPointer<QPushButton> Button2;
    QPointer<QPushButton> Button4;
    QPointer<QPushButton> Button3;
    QPointer<QLabel> Label6;
    QPointer<QLineEdit> eTry;
    QPointer<QLabel> lNormal;
    QPointer<QLabel> lSubjectHits;
    QPointer<QLabel> lSenderHits;
    QButtonGroup* kindGroup_ = nullptr;
    QButtonGroup* methodGroup_ = nullptr;
};

// True when a typed character is one the word field refuses: a separator
// byte, or the code page's character for the byte 0xFF.
[[nodiscard]] bool IsRefusedWordKey(QChar ch);
