// Encrypted connections to the private Dovecot: its own certificate, signed
// by the test authority, and the servers beside it whose certificates are
// faulty. Nothing may be sent to a server whose certificate was refused.
#include "DovecotSupport.h"

#include "app/FakePlatform.h"
#include "app/fmMain.h"
#include "app/udmAccountSecurity.h"
#include "app/udmMessageHeader.h"
#include "app/udmPOP3.h"
#include "app/udmTrust.h"
#include "TempDir.h"
#include "ui/Paths.h"

#include <QListWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

using dovecot::server;
using Lines = std::vector<std::string>;

// A client that notes every line it sends.
class RecordingPOP3 : public TIdPOP3 {
public:
    Lines sent;
    void WriteLine(std::string_view text) override {
        sent.emplace_back(text);
        TIdPOP3::WriteLine(text);
    }
};

std::unique_ptr<RecordingPOP3> tlsClient(int port, TIdUseTLS mode = TIdUseTLS::utImplicitTLS) {
    auto pop = std::make_unique<RecordingPOP3>();
    pop->Host = server().host;
    pop->Port = port;
    pop->Username = server().user;
    pop->Password = server().password;
    pop->ReadTimeout = 10000;
    pop->UseTLS = mode;
    return pop;
}

// The refusal, or an empty one when the client logged in.
EIdTLSCertificateError refusal(TIdPOP3& pop) {
    try {
        pop.Connect();
    } catch (const EIdTLSCertificateError& e) {
        return e;
    }
    return EIdTLSCertificateError({}, {});
}

class DovecotTLS : public ::testing::Test {
protected:
    void SetUp() override {
        if (!dovecot::available() || server().tlsPort == 0) GTEST_SKIP() << "no test server with TLS";
    }
};

TEST_F(DovecotTLS, StartTLSEncryptsBeforeTheLogin) {
    auto pop = tlsClient(server().port, TIdUseTLS::utStartTLS);
    pop->Connect();
    EXPECT_EQ(pop->sent, (Lines{"STLS", "USER " + server().user, "PASS " + server().password}));
    EXPECT_TRUE(dynamic_cast<TIdSSLIOHandlerSocket&>(*pop->IOHandler()).TLSActive());
    pop->Disconnect();
}

TEST_F(DovecotTLS, FaultyCertificatesAreExplainedAndNothingIsSent) {
    struct Row {
        const char* name;
        int port;
        const char* caFile;  // instead of the test authority
        std::string problem;
    };
    const Row rows[] = {
        {"expired", server().expiredPort, nullptr,
         "The certificate has expired: it was valid until 2021-01-01 00:00:00 UTC."},
        {"other name", server().otherNamePort, nullptr,
         "The certificate was issued for another name, not for the server \"127.0.0.1\"."},
        {"self-signed", server().selfSignedPort, nullptr,
         "The certificate is self-signed: the server vouches for itself and no known authority vouches for it."},
        {"unknown authority", server().tlsPort, "", "The certificate was issued by an unknown authority."},
    };
    for (const Row& row : rows) {
        if (row.caFile) TIdSSLIOHandlerSocket::SetCAFile(row.caFile);
        auto pop = tlsClient(row.port);
        const EIdTLSCertificateError error = refusal(*pop);
        TIdSSLIOHandlerSocket::SetCAFile(server().caFile);
        EXPECT_EQ(error.Problems(), Lines{row.problem}) << row.name;
        const std::string message = error.what();
        EXPECT_NE(message.find("\r\nSubject: CN="), std::string::npos) << message;
        EXPECT_NE(message.find("\r\nSHA-256 fingerprint: " + error.Certificate().Fingerprint), std::string::npos);
        EXPECT_EQ(error.Certificate().Fingerprint.size(), 95u) << row.name;
        EXPECT_EQ(pop->sent, Lines{}) << row.name;
        EXPECT_FALSE(pop->IsConnected()) << row.name;
    }
}

TEST_F(DovecotTLS, ATrustedSelfSignedCertificateConnectsAndAChangedOneIsRefused) {
    auto pop = tlsClient(server().selfSignedPort);
    const std::string trusted = refusal(*pop).Certificate().Fingerprint;
    ASSERT_FALSE(trusted.empty());
    pop->TrustedFingerprint = trusted;
    pop->Connect();
    EXPECT_EQ(pop->sent, (Lines{"USER " + server().user, "PASS " + server().password}));
    EXPECT_GT(pop->MessageCount(), 0);
    pop->Disconnect();

    // Another certificate where the trusted one was.
    auto changed = tlsClient(server().expiredPort);
    changed->TrustedFingerprint = trusted;
    const EIdTLSCertificateError error = refusal(*changed);
    ASSERT_FALSE(error.Certificate().Fingerprint.empty());
    EXPECT_NE(error.Certificate().Fingerprint, trusted);
    EXPECT_EQ(error.Problems().back(),
              "It is not the certificate trusted for this account before (SHA-256 fingerprint " + trusted + ").");
    EXPECT_EQ(changed->sent, Lines{});
}

// The program asks once per refusal; a certificate the user trusts is kept
// with the account, in the list and in the file, and asked about no more.
TEST_F(DovecotTLS, ATrustedCertificateIsKeptForTheAccount) {
    TempDir dir;
    ui::setProgramFolder(dir.path().string());
    ui::setSettingsFolder(dir.path().string());
    FakePlatformScope fake;
    {
        Tfmain w;
        w.AddAccountItem({"Home", server().host, server().user, server().password,
                          std::to_string(server().selfSignedPort), {TIdUseTLS::utImplicitTLS, ""}})
            ->setSelected(true);
        w.mmCheck->trigger();
        ASSERT_EQ(fake->trustQuestions.size(), 1u);
        EXPECT_TRUE(fake->trustQuestions[0].contains(u"self-signed"));
        EXPECT_TRUE(fake->trustQuestions[0].endsWith(u"Trust this certificate for the account \"Home\" from now on?"));
        ASSERT_EQ(fake->errors.size(), 1u);
        EXPECT_EQ(fake->errors[0].text, ECertificateNotTrusted().what());
        fake->trustAnswer = true;
        w.mmCheck->trigger();
        ASSERT_GT(w.headlist->topLevelItemCount(), 0);
        const std::string trusted = MessageHeaders().front()->Client->TrustedFingerprint;
        EXPECT_EQ(Tfmain::AccountFieldsOf(*w.poplist->item(0)).Security.TrustedFingerprint, trusted);
        EXPECT_NE(dir.read(kAccountSecurityFileName).find("\r\ntrusted=" + trusted + "\r\n"), std::string::npos);
        w.mmCheck->trigger();
        EXPECT_EQ(fake->trustQuestions.size(), 2u);
        EXPECT_EQ(fake->errors.size(), 1u);
    }
    ui::setProgramFolder("");
    ui::setSettingsFolder("");
}

}  // namespace
