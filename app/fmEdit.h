#pragma once

#include "app/udmAccounts.h"

#include <QComboBox>
#include <QDialog>
#include <QPointer>
#include <QSpinBox>

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

// An integer spin edit that, like a plain edit, takes any text; a text that
// is not an integer has the value 0.
class TSpinEdit : public QSpinBox {
public:
    explicit TSpinEdit(QWidget* parent = nullptr);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
};

// The account dialog: e-mail address, user name, password, POP3 server and
// port of one account.
class Tfedit : public QDialog {
public:
    explicit Tfedit(QWidget* parent = nullptr);

    // "OK": closes with the result Accepted unless the address is empty.
    void Button1Click();
    // Leaving the address fills an empty user name and an empty server from
    // the parts before and after its first "@".
    void eAddressExit();
    // The port as typed; a text that is not an integer gives 0.
    [[nodiscard]] int PortValue() const;
    // The security chosen, and setting it as the account's own choice.
    [[nodiscard]] TIdUseTLS SecurityValue() const;
    void SetSecurity(TIdUseTLS mode, bool chosen);
    // Port 995 selects "SSL/TLS" and 110 "None" while the user has not
    // chosen the security.
    void ePortChange();
    // "None" with a server beyond this machine shows that the password
    // travels unencrypted.
    void UpdateSecurityWarning();

    QPointer<QTabWidget> PageControl1;
    QPointer<QLabel> Image1, Label1, Label2, Label3, Label4, Label5, Label6, Label7;
    QPointer<QLineEdit> eAddress, eUser, ePassw, eHost;
    QPointer<TSpinEdit> ePort;
    QPointer<QLabel> Label8, Label9;
    QPointer<QComboBox> cbSecurity;
    QPointer<QPushButton> Button1, Button2;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* CreatePage();
    void CreateSecurity(QGridLayout* server, QWidget* page);

    bool FSecurityChosen = false;
};

inline constexpr int kAccountHelpContext = 10;

// Shows the account dialog modally with `caption` and the fields of `rec`;
// on "OK" copies the fields back into `rec`. Returns QDialog::Accepted or
// QDialog::Rejected. A field the user left as it was keeps its bytes.
int EditAccountDialog(QWidget* parent, TPOP3Rec& rec, const QString& caption);
