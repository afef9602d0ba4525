// The safe download against the private Dovecot: the message shapes of
// scripts/gen-attachments.py in the second user's mailbox, each downloaded
// through the main window and its view compared with what the generator
// expects; every attachment saved through the (faked) save dialog under the
// proposed name and compared by SHA-256 with the generator's original.
#include "DovecotSupport.h"

#include "app/FakePlatform.h"
#include "app/fmMain.h"
#include "app/udmMessageHeader.h"
#include "message/IdTempFiles.h"
#include "TempDir.h"
#include "ui/Paths.h"
#include "ui/TextCodec.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>
#include <openssl/evp.h>

namespace {

std::string sha256(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<int>(size)).toHex().toStdString();
}

std::string fromBase64(const QJsonValue& value) { return QByteArray::fromBase64(value.toString().toLatin1()).toStdString(); }

int attachmentFiles() {
    std::error_code error;
    const auto files = std::filesystem::directory_iterator(AttachmentFolder::Process().Path(), error);
    return error ? 0 : static_cast<int>(std::distance(begin(files), end(files)));
}

// Every row downloads over one way of securing the connection.
class DovecotDownload : public ::testing::TestWithParam<TIdUseTLS> {};

TEST_P(DovecotDownload, EveryMessageShownAndEveryAttachmentSavedExactly) {
    if (!dovecot::available()) GTEST_SKIP() << "no test server: run through scripts/dovecot-test-server.sh";
    TempDir dir;
    const std::string maildir = dir.file("Maildir"), manifest = dir.file("manifest.json");
    const std::string command = "python3 '" SKIMLET_SOURCE_DIR "/scripts/gen-attachments.py' --seed 3 --maildir '" +
                                maildir + "' --manifest '" + manifest + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::vector<std::string> messages;
    for (const auto& file : dovecot::mailFiles(maildir)) messages.push_back(dovecot::readFile(file));
    dovecot::refillMaildir(dovecot::server().maildir2, messages);
    const QJsonArray expected =
        QJsonDocument::fromJson(QByteArray::fromStdString(dovecot::readFile(manifest))).object()["messages"].toArray();
    ASSERT_EQ(expected.size(), static_cast<qsizetype>(messages.size()));
    ui::setProgramFolder(dir.path().string());
    ui::setSettingsFolder(dir.path().string());
    // The expected views hold the text parts' bytes as they were sent.
    dir.write("tolvanes.ini", "[DISPLAY]\nALL_CHARSETS=0\n");
    FakePlatformScope fake;
    {
        Tfmain w;
        const dovecot::Server& s = dovecot::server();
        const int port = GetParam() == TIdUseTLS::utImplicitTLS ? s.tlsPort : s.port;
        w.AddAccountItem({"Dovecot", s.host, s.user2, s.password2, std::to_string(port), {GetParam(), ""}})
            ->setSelected(true);
        w.mmCheck->trigger();
        ASSERT_EQ(w.headlist->topLevelItemCount(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const QJsonObject message = expected[i].toObject();
            SCOPED_TRACE(message["file"].toString().toStdString());
            w.headlist->setCurrentItem(w.headlist->topLevelItem(i));
            w.mmDownload->trigger();
            const std::string view = fromBase64(message["view"]);
            EXPECT_EQ(Tfmain::RecordOfRow(w.headlist->topLevelItem(i))->ViewText(), view);
            EXPECT_EQ(w.memo->toPlainText(), ui::toQString(view).replace("\r\n", "\n"));
            std::vector<QString> links;
            for (const ui::TextLink& link : w.memo->links())
                if (link.target.startsWith("http://localhost/")) links.push_back(link.target);
            const QJsonArray attachments = message["attachments"].toArray();
            ASSERT_EQ(static_cast<qsizetype>(links.size()), attachments.size());
            for (std::size_t k = 0; k < links.size(); ++k) {
                const QJsonObject attachment = attachments[static_cast<qsizetype>(k)].toObject();
                fake->saveAnswer = QString::fromStdString(dir.file("saved"));
                emit w.memo->linkClicked(links[k]);
                EXPECT_EQ(QFileInfo(fake->saveSuggestions.back()).fileName(), ui::toQString(fromBase64(attachment["name"])));
                EXPECT_EQ(sha256(dir.read("saved")), attachment["sha256"].toString().toStdString()) << k;
            }
        }
        EXPECT_TRUE(fake->errors.empty()) << fake->errors.front().text.toStdString();
        EXPECT_GT(attachmentFiles(), 0);
        w.mmCheck->trigger();
        EXPECT_EQ(attachmentFiles(), 0) << "the next check run removed them";
        w.headlist->setCurrentItem(w.headlist->topLevelItem(4));
        w.mmDownload->trigger();
        EXPECT_GT(attachmentFiles(), 0);
    }
    EXPECT_EQ(attachmentFiles(), 0) << "closing the window removed them";
    ui::setProgramFolder("");
    ui::setSettingsFolder("");
}

INSTANTIATE_TEST_SUITE_P(Security, DovecotDownload,
                         ::testing::Values(TIdUseTLS::utNoTLS, TIdUseTLS::utImplicitTLS, TIdUseTLS::utStartTLS),
                         [](const ::testing::TestParamInfo<TIdUseTLS>& info) {
                             return std::string(info.param == TIdUseTLS::utNoTLS         ? "None"
                                                : info.param == TIdUseTLS::utImplicitTLS ? "TLS"
                                                                                         : "STARTTLS");
                         });

}  // namespace
