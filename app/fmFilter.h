#pragma once

#include <QDialog>
#include <QPointer>

#include <string>
#include <vector>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// The spam word list editor. The list box rows are the rule lines of
// filters.dat; every change is written to the file at once.
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createExplanation();
    void createButtons();
    void setTabOrder();
    void FormCreate();
    void SetEnglishTexts();
    [[nodiscard]] int selectedIndex() const;
    void selectIndex(int index);
    [[nodiscard]] std::string ComposeLine() const;
    [[nodiscard]] bool TextIsBlank() const;
    [[nodiscard]] int IndexOfLine(const std::string& line) const;
    void AppendLine(const std::string& line);
    void SaveToFile() const;

    QPointer<QListWidget> ListBox;
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
    QButtonGroup* kindGroup_ = nullptr;
    QButtonGroup* methodGroup_ = nullptr;
    bool selectingFromCode_ = false;  // selection moved by Add or Delete, not the user
};

// True when a typed character is one the word field refuses: a separator
// byte, or the code page's character for the byte 0xFF.
[[nodiscard]] bool IsRefusedWordKey(QChar ch);
