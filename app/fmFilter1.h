#pragma once

#include "app/Settings.h"

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

// The general spam rules dialog: empty subject, recipient limit and size
// limit in kB. It edits a copy; the caller takes the values on "OK".
class TfFilter1 : public QDialog {
    Q_OBJECT

public:
    // Shows the three rule settings of `settings`; nothing else of it is used.
    explicit TfFilter1(const TSettings& settings, QWidget* parent = nullptr);
    ~TfFilter1() override;

    // Runs the dialog modally. On "OK" the three rule settings of
    // `settings` take the dialog's values and the result is true; any other
    // close changes nothing and gives false.
    static bool Execute(QWidget* parent, TSettings& settings);

    // The values as "OK" takes them: the check box, and each spin edit's
    // text as an integer (0 when it is not one).
    [[nodiscard]] TSettings Values() const;

    void Button1Click();

private:
    void createControls();
    void SetEnglishTexts();

    TSettings settings_;
    QPointer<QLabel> Label1;
    QPointer<QLabel> Label5;
    QPointer<QCheckBox> cEmpty;
    QPointer<QLabel> Label2;
    QPointer<QSpinBox> eRecpt;
    QPointer<QLabel> Label3;
    QPointer<QSpinBox> eLen;
    QPointer<QLabel> Label4;
    QPointer<QLabel> Image1;
    QPointer<QPushButton> Button1;
    QPointer<QPushButton> Button2;
};
