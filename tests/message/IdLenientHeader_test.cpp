#include "message/IdLenientHeader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Header lines in, the fields the header list and the verdict read out.
TEST(ReadHeaderFieldsLeniently, FailingFieldsKeepTheirRawText) {
    struct Row {
        const char* name;
        std::vector<std::string> lines;
        std::string subject;
        std::string fromAddress;
        std::string recipients;
        int recipientCount;
        std::string messageId;
    };
    const Row rows[] = {
        {"ordinary header as processing gives it",
         {"From: Ann <ann@x>", "To: b@x, c@x", "Subject: =?iso-8859-1?Q?caf=E9?=", "Message-Id: <1@x>"},
         "caf\xE9", "ann@x", "b@x, c@x", 2, "<1@x>"},
        {"address outside the brackets in From",
         {"From: <a@x> b@x", "To: c@x", "Subject: s", "Message-Id: <2@x>"},
         "s", "<a@x> b@x", "c@x", 1, "<2@x>"},
        {"address outside the brackets in To",
         {"From: a@x", "To: <c@x> d@x", "Subject: s", "Cc: e@x"},
         "s", "a@x", "<c@x> d@x", 1, ""},
        {"bad escape in the subject",
         {"From: a@x", "Subject: =?iso-8859-1?Q?=ZZ?=", "Message-Id: <3@x>"},
         "=?iso-8859-1?Q?=ZZ?=", "a@x", "", 0, "<3@x>"},
        {"folded failing field loses its continuation in processing only",
         {"Subject: =?iso-8859-1?Q?=ZZ?=", "\tmore", "From: a@x"},
         "=?iso-8859-1?Q?=ZZ?= more", "a@x", "", 0, ""},
    };
    for (const Row& row : rows) {
        TIdMessage msg;
        for (const std::string& line : row.lines) msg.HeaderLines.Add(line);
        ReadHeaderFieldsLeniently(msg);
        EXPECT_EQ(msg.Subject, row.subject) << row.name;
        EXPECT_EQ(msg.From.Address(), row.fromAddress) << row.name;
        EXPECT_EQ(msg.Recipients.Count(), row.recipientCount) << row.name;
        if (row.recipientCount == 1 && row.recipients.find('<') != std::string::npos)
            EXPECT_EQ(msg.Recipients[0].Address(), row.recipients) << row.name;
        else
            EXPECT_EQ(msg.Recipients.AddressListText(), row.recipients) << row.name;
        EXPECT_EQ(msg.MessageId, row.messageId) << row.name;
        EXPECT_EQ(msg.HeaderLines.Lines(), row.lines) << row.name << ": the lines stay as received";
    }
}

}  // namespace
