#include "message/IdEMailAddress.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// One address -----------------------------------------------------------------

struct ItemCase {
    const char* name;
    const char* text;
    const char* address;
    const char* displayName;
    const char* display;
};

TEST(EMailAddressItem, ParseAndDisplay) {
    const ItemCase cases[] = {
        {"NameAndBracketedAddress", "Sales Desk <box@host.example>", "box@host.example", "Sales Desk",
         "Sales Desk <box@host.example>"},
        {"BareAddress", "box@host.example", "box@host.example", "", "box@host.example"},
        {"BracketsOnly", "  <box@host.example>  ", "box@host.example", "", "box@host.example"},
        {"CommentDiscarded", "box@host.example (Sales Desk)", "box@host.example", "", "box@host.example"},
        {"CommentInsideName", "Sales (the desk) Desk <a@b.example>", "a@b.example", "Sales Desk",
         "Sales Desk <a@b.example>"},
        {"QuotedNameWithComma", "\"Desk, Sales\" <box@host.example>", "box@host.example", "Desk, Sales",
         "\"Desk, Sales\" <box@host.example>"},
        {"EscapedQuotesInName", R"("Desk \"Q\" Sales" <a@b.example>)", "a@b.example", "Desk \"Q\" Sales",
         R"("Desk \"Q\" Sales" <a@b.example>)"},
        {"QuotedLocalPart", "<\"john doe\"@x.example>", "john doe@x.example", "", "<\"john doe\"@x.example>"},
        {"DotInLocalPartNotQuoted", "a.b@c.example", "a.b@c.example", "", "a.b@c.example"},
        {"BlanksAroundDomainDots", "<box@host . example>", "box@host.example", "", "box@host.example"},
        {"WordWithoutAddressLosesLastWord", "Sales Desk", "", "Sales ", "Sales  <>"},
        {"LocalNameOnly", "postmaster", "postmaster", "", ""},
        {"Empty", "   ", "", "", ""},
        {"TabSeparatesWords", "Sales\tDesk <a@b.example>", "a@b.example", "Sales\tDesk",
         "\"Sales\tDesk\" <a@b.example>"},
        // Choices for input the grammar leaves open.
        {"QuoteInsideWordJoinsName", "Desk\"Sales\" <a@b.example>", "a@b.example", "DeskSales",
         "DeskSales <a@b.example>"},
        {"NestedCommentInAddressDropped", "<a(x(y)z)@b.example>", "a@b.example", "", "a@b.example"},
        {"NameRepeatingAddressDropped", "\"Box@Host.example\" <box@host.example>", "box@host.example",
         "Box@Host.example", "<box@host.example>"},
    };
    for (const ItemCase& c : cases) {
        SCOPED_TRACE(c.name);
        TIdEMailAddressItem item;
        item.SetText(c.text);
        EXPECT_EQ(c.address, item.Address());
        EXPECT_EQ(c.displayName, item.Name());
        EXPECT_EQ(c.display, item.Text());
    }
}

TEST(EMailAddressItem, DisplayFromProperties) {
    TIdEMailAddressItem item;
    item.SetName("Back\\slash");
    item.SetAddress("we\"ird@host.example");
    EXPECT_EQ(R"("Back\\slash" <"we\"ird"@host.example>)", item.Text());
    item.SetAddress("");
    EXPECT_EQ(R"("Back\\slash" <>)", item.Text());
}

TEST(EMailAddressItem, SecondAddressAfterBracketsIsAnError) {
    TIdEMailAddressItem item;
    try {
        item.SetText("<a@b.example> c@d.example");
        FAIL() << "no exception";
    } catch (const EIdEmailParseError& e) {
        EXPECT_STREQ("@ Outside address", e.what());
    }
}

// Lists -------------------------------------------------------------------------

struct ListCase {
    const char* name;
    const char* text;
    int count;
    const char* listText;
};

TEST(EMailAddressList, ParseAddressList) {
    const ListCase cases[] = {
        {"TwoItems", "Sales Desk <box@host.example>, x@y.example", 2, "Sales Desk <box@host.example>, x@y.example"},
        {"CommaInsideQuotes", "\"Desk, Sales\" <box@host.example>, x@y.example", 2,
         "\"Desk, Sales\" <box@host.example>, x@y.example"},
        {"CommaInsideComment", "box@host.example (Sales, Desk)", 1, "box@host.example"},
        {"GroupNameDropped", "Team: a@b.example, c@d.example;", 2, "a@b.example, c@d.example"},
        {"EmptyGroup", "undisclosed-recipients:;", 0, ""},
        {"EmptyMiddlePart", "a@b.example, , c@d.example", 2, "a@b.example, c@d.example"},
        {"SingleLocalName", "postmaster", 1, ""},
        {"LocalNameAmongOthersRemoved", "postmaster, a@b.example", 1, "a@b.example"},
        {"TrailingComma", "a@b.example,", 1, "a@b.example"},
        {"EscapedQuoteInQuotes", R"("a\"," <x@y.example>)", 1, R"("a\"," <x@y.example>)"},
        {"UnclosedQuoteSwallowsRest", "\"abc, <x@y.example>", 0, ""},
        {"UnclosedComment", "a@b.example (note, c@d.example", 1, "a@b.example"},
        {"Empty", "", 0, ""},
        {"Blanks", " \t ", 0, ""},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        TIdEMailAddressList list;
        list.ParseAddressList(c.text);
        EXPECT_EQ(c.count, list.Count());
        EXPECT_EQ(c.listText, list.AddressListText());
    }
}

TEST(EMailAddressList, ItemsAndReparse) {
    TIdEMailAddressList list;
    list.ParseAddressList("\"Desk, Sales\" <box@host.example>, x@y.example");
    ASSERT_EQ(2, list.Count());
    EXPECT_EQ("Desk, Sales", list[0].Name());
    EXPECT_EQ("box@host.example", list[0].Address());
    EXPECT_EQ("x@y.example", list[1].Address());
    list.ParseAddressList("z@y.example");
    ASSERT_EQ(1, list.Count());
    EXPECT_EQ("z@y.example", list[0].Address());
}

TEST(EMailAddressList, ErrorKeepsItemsBeforeIt) {
    TIdEMailAddressList list;
    EXPECT_THROW(list.ParseAddressList("x@y.example, <a@b.example> c@d.example, e@f.example"),
                 EIdEmailParseError);
    ASSERT_EQ(1, list.Count());
    EXPECT_EQ("x@y.example", list[0].Address());
}

// Hostile input -------------------------------------------------------------------

void parseSafely(const std::string& text) {
    TIdEMailAddressList list;
    try {
        list.ParseAddressList(text);
        (void)list.AddressListText();
    } catch (const EIdEmailParseError&) {
    }
}

TEST(EMailAddressListRobustness, UnbalancedAndLongInput) {
    for (const char* unit : {"(", ")", "\"", "<", ">", "\\", "@", ".", ",", ";", ":", "<>", "a <b@c> ", "(\\"}) {
        std::string text;
        while (text.size() < (1u << 20)) text += unit;
        parseSafely(text);
    }
    std::string many;
    for (int i = 0; i < 50000; ++i) many += "Name " + std::to_string(i) + " <a" + std::to_string(i) + "@b.example>, ";
    TIdEMailAddressList list;
    list.ParseAddressList(many);
    EXPECT_EQ(50000, list.Count());

    std::mt19937 random(5);
    for (int round = 0; round < 500; ++round) {
        std::string noise(random() % 300, '\0');
        static const char kAlphabet[] = "()\"<>\\@.,;: \tab";
        for (char& c : noise) c = kAlphabet[random() % (sizeof kAlphabet - 1)];
        parseSafely(noise);
    }
}

}  // namespace
