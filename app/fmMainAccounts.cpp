// The main window's account commands and its command handlers.
#include "app/fmFilter.h"
#include "app/fmFilter1.h"
#include "app/fmEdit.h"
#include "app/fmMain.h"
#include "app/udmAccountSecurity.h"
#include "app/udmTrust.h"

#include "ui/CommandGuard.h"
#include "ui/Help.h"
#include "ui/Paths.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

#include <QListWidget>
#include <QTreeWidget>

#include <exception>
#include <filesystem>

namespace {

QIcon accountIcon() { return QIcon(QStringLiteral(":/icons/account.png")); }

std::string roleText(const QListWidgetItem& item, int role) {
    return item.data(role).toByteArray().toStdString();
}

}  // namespace

TAccountFields Tfmain::AccountFieldsOf(const QListWidgetItem& item) {
    const TAccountSecurity security{static_cast<TIdUseTLS>(item.data(arSecurity).toInt()),
                                    roleText(item, arTrustedFingerprint)};
    return {roleText(item, arName), roleText(item, arHost), roleText(item, arUserName),
            roleText(item, arPassword), roleText(item, arPort), security};
}

void Tfmain::SetAccountItem(QListWidgetItem& item, const TAccountFields& fields) {
    item.setIcon(accountIcon());
    item.setText(ui::toQString(fields.Name));
    item.setData(arName, QByteArray::fromStdString(fields.Name));
    item.setData(arHost, QByteArray::fromStdString(fields.Host));
    item.setData(arUserName, QByteArray::fromStdString(fields.UserName));
    item.setData(arPassword, QByteArray::fromStdString(fields.Password));
    item.setData(arPort, QByteArray::fromStdString(fields.Port));
    item.setData(arSecurity, static_cast<int>(fields.Security.Mode));
    item.setData(arTrustedFingerprint, QByteArray::fromStdString(fields.Security.TrustedFingerprint));
}

namespace {

// A certificate the user trusted goes to the first account that ties to
// the one the connection was made for, and to the file at once.
void recordTrust(Tfmain& window, const TPOP3Rec& account, const std::string& fingerprint) {
    const TAccountFields tie = FieldsOf(account);
    for (int i = 0; i < window.poplist->count(); ++i) {
        QListWidgetItem& item = *window.poplist->item(i);
        TAccountFields fields = Tfmain::AccountFieldsOf(item);
        if (fields.Name != tie.Name || fields.Host != tie.Host || fields.UserName != tie.UserName ||
            fields.Port != tie.Port)
            continue;
        fields.Security.TrustedFingerprint = fingerprint;
        Tfmain::SetAccountItem(item, fields);
        window.SaveAccounts();
        return;
    }
}

}  // namespace

QListWidgetItem* Tfmain::AddAccountItem(const TAccountFields& fields) {
    auto* item = new QListWidgetItem(poplist);
    SetAccountItem(*item, fields);
    return item;
}

QListWidgetItem* Tfmain::SelectedAccountItem() const {
    const auto selected = poplist->selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

std::optional<TPOP3Rec> Tfmain::ReadSelectedAccount() const {
    const QListWidgetItem* item = SelectedAccountItem();
    if (!item) return std::nullopt;
    return RecOf(AccountFieldsOf(*item));
}

void Tfmain::LoadAccounts() {
    SetTrustRecorder([window = QPointer<Tfmain>(this)](const TPOP3Rec& account, const std::string& fingerprint) {
        if (window) recordTrust(*window, account, fingerprint);
    });
    poplist->clear();
    const std::string path = ui::UserFilePath(kAccountsFileName);
    if (!std::filesystem::exists(path)) return;
    // A security file that cannot be read leaves the accounts as their ports
    // suggest; that failure is shown once they are loaded.
    std::vector<TAccountFields> security;
    std::exception_ptr securityFailure;
    try {
        security = ReadAccountSecurityFile(ui::UserFilePath(kAccountSecurityFileName));
    } catch (const EIdException&) {
        securityFailure = std::current_exception();
    }
    try {
        ReadAccountsFile(path, [this, &security](TAccountFields fields) {
            fields.Security = TakeAccountSecurity(security, fields);
            AddAccountItem(fields);
        });
    } catch (...) {
        FAccountsLoadFailed = true;
        throw;
    }
    if (securityFailure) std::rethrow_exception(securityFailure);
}

void Tfmain::SaveAccounts() {
    const std::string path = ui::UserFilePath(kAccountsFileName);
    if (FAccountsLoadFailed) {
        // The list holds only the accounts read before the file failed to
        // load; the file is kept aside before it is replaced.
        namespace fs = std::filesystem;
        const fs::path backup = path + ".bak";
        fs::copy_file(path, backup, fs::copy_options::overwrite_existing);
        fs::permissions(backup, fs::perms::owner_read | fs::perms::owner_write);
        FAccountsLoadFailed = false;
    }
    std::vector<TAccountFields> accounts;
    for (int i = 0; i < poplist->count(); ++i) accounts.push_back(AccountFieldsOf(*poplist->item(i)));
    WriteAccountsFile(path, accounts);
    WriteAccountSecurityFile(ui::UserFilePath(kAccountSecurityFileName), accounts);
}

void Tfmain::NewAccount() {
    TPOP3Rec rec;
    if (EditAccountDialog(this, rec, QStringLiteral("New e-mail account")) != QDialog::Accepted) return;
    AddAccountItem(FieldsOf(rec));
    poplist->doItemsLayout();
    SaveAccounts();
}

void Tfmain::EditAccount() {
    QListWidgetItem* item = SelectedAccountItem();
    if (!item) return;
    const int row = poplist->row(item);
    TPOP3Rec rec = RecOf(AccountFieldsOf(*item));
    if (EditAccountDialog(this, rec, QStringLiteral("Edit e-mail account")) != QDialog::Accepted) return;
    // The dialog pumped events; find the item again rather than trust it.
    item = poplist->item(row);
    if (!item) return;
    SetAccountItem(*item, FieldsOf(rec));
    UpdateCommands();
    SaveAccounts();
}

void Tfmain::DeleteAccount() {
    QListWidgetItem* item = SelectedAccountItem();
    if (!item) return;
    const int row = poplist->row(item);
    if (!ui::platform().confirm(this, QStringLiteral("Delete account, really?"))) return;
    delete poplist->takeItem(row);
    SaveAccounts();
}

void Tfmain::NewAccClick() { NewAccount(); }
void Tfmain::DelAccClick() { DeleteAccount(); }
void Tfmain::EditAccClick() { EditAccount(); }
void Tfmain::Exit1Click() { close(); }

void Tfmain::NastavenSPAMfiltr1Click() { Tffilter::Execute(this); }

// The general rules take effect for later check runs; "OK" also writes the
// settings file at once.
void Tfmain::Obecnpravidla1Click() {
    if (TfFilter1::Execute(this, FSettings)) SaveSettings();
}
void Tfmain::lHelpClick() { ShellOpen(ui::helpFilePath()); }
