#include "message/IdHeaderList.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

TIdHeaderList listOf(std::initializer_list<const char*> lines) {
    TIdHeaderList list;
    for (const char* line : lines) list.Add(line);
    return list;
}

std::vector<std::string> linesOf(const TIdHeaderList& list) { return list.Lines(); }

// Field names and lookup -----------------------------------------------------

TEST(HeaderListLookup, FieldNameAtUpperCasesTextBeforeFirstColon) {
    const TIdHeaderList list = listOf({"Subject: a: b", "Subject : x", "no colon here", ":bare"});
    EXPECT_EQ("SUBJECT", list.FieldNameAt(0));
    EXPECT_EQ("SUBJECT ", list.FieldNameAt(1));
    EXPECT_EQ("", list.FieldNameAt(2));
    EXPECT_EQ("", list.FieldNameAt(3));
    EXPECT_EQ("", list.FieldNameAt(4));
    EXPECT_EQ("", list.FieldNameAt(-1));
}

TEST(HeaderListLookup, GetFieldValue) {
    struct Case {
        const char* name;
        std::initializer_list<const char*> lines;
        const char* field;
        const char* expected;
    };
    const Case cases[] = {
        {"AnyLetterCase", {"Subject: hello"}, "SUBJECT", "hello"},
        {"LowerCaseName", {"SUBJECT: hello"}, "subject", "hello"},
        {"SpaceBeforeColonIsPartOfName", {"Subject : x"}, "Subject", ""},
        {"FirstOfTwoWins", {"To: first", "To: second"}, "to", "first"},
        {"UnfoldsSpaceContinuation", {"Subject: first part", "  second part"}, "subject",
         "first part second part"},
        {"UnfoldsTabContinuation", {"Subject: a", "\tb", " c"}, "Subject", "a b c"},
        {"BlankContinuationAddsNothing", {"Subject: a", "   ", " b"}, "Subject", "a b"},
        {"EmptyFirstLineThenContinuation", {"Subject:", " b"}, "Subject", "b"},
        {"NextFieldEndsValue", {"Subject: a", "X-Other: b"}, "Subject", "a"},
        {"EmptyValue", {"X-Empty:"}, "X-Empty", ""},
        {"Absent", {"Subject: a"}, "From", ""},
        {"ColonsInValueKept", {"Date: Tue, 09 Dec 2026 10:20:30 +0100"}, "Date",
         "Tue, 09 Dec 2026 10:20:30 +0100"},
        {"ValueTrimmed", {"Subject: \t spaced \t"}, "Subject", "spaced"},
        {"ContinuationIsNotAField", {"X-A: a", " Subject: no"}, "Subject", ""},
        {"NamePrefixDoesNotMatch", {"Subjects: a", "Subject: b"}, "Subject", "b"},
        {"NameSuffixDoesNotMatch", {"X-Subject: a", "Subject: b"}, "Subject", "b"},
        {"LineThatIsOnlyTheName", {"Subject", "Subject: b"}, "Subject", "b"},
        {"ShorterLineThanName", {"Sub", ":", "Subject:b"}, "Subject", "b"},
        {"NameWithColonMatchesNothing", {"A:B: x", "A: y"}, "A:B", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, listOf(c.lines).GetFieldValue(c.field));
    }
}

TEST(HeaderListLookup, IndexAndValueAt) {
    const TIdHeaderList list = listOf({"From: a", "Subject: s", " more"});
    EXPECT_EQ(1, list.FieldIndex("subject"));
    EXPECT_EQ(-1, list.FieldIndex("To"));
    EXPECT_EQ("s more", list.FieldValueAt(1));
    EXPECT_EQ("", list.FieldValueAt(3));
    EXPECT_EQ("", list.FieldValueAt(-1));
    EXPECT_EQ("From: a\r\nSubject: s\r\n more\r\n", list.Text());
}

// Storing fields -------------------------------------------------------------

TEST(HeaderListStore, SetFieldValue) {
    struct Case {
        const char* name;
        std::initializer_list<const char*> before;
        const char* field;
        const char* value;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {"AppendsAbsentField", {"From: a"}, "Subject", "hi", {"From: a", "Subject: hi"}},
        {"ReplacesInPlaceWithContinuations",
         {"Content-Type: text/plain;", " charset=x", "Subject: s"},
         "content-type",
         "text/html",
         {"content-type: text/html", "Subject: s"}},
        {"EmptyValueRemovesFieldAndContinuations",
         {"A: 1", "Content-Type: a;", "\tb", "B: 2"},
         "Content-Type",
         "",
         {"A: 1", "B: 2"}},
        {"EmptyValueOnAbsentFieldChangesNothing", {"A: 1"}, "B", "", {"A: 1"}},
        {"OnlyFirstOccurrenceReplaced", {"X: 1", "X: 2"}, "X", "3", {"X: 3", "X: 2"}},
        {"LineBreaksInValueBecomeContinuations",
         {},
         "Subject",
         "a\r\nX-Injected: 1\n\r\nb",
         {"Subject: a", " X-Injected: 1", " b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIdHeaderList list = listOf(c.before);
        list.SetFieldValue(c.field, c.value);
        EXPECT_EQ(c.after, linesOf(list));
    }
}

TEST(HeaderListStore, LongValueFoldsAndReadsBack) {
    std::string value = "multipart/mixed;";
    while (value.size() < 100) value += " word" + std::to_string(value.size());
    TIdHeaderList list;
    list.SetFieldValue("Content-Type", value);
    ASSERT_GE(list.Count(), 2);
    EXPECT_LE(list[0].size(), 78u);
    EXPECT_NE(' ', list[0].back());
    for (int i = 1; i < list.Count(); ++i) {
        EXPECT_EQ(' ', list[i][0]) << i;
        EXPECT_LE(list[i].size(), 80u) << i;
    }
    EXPECT_EQ(value, list.GetFieldValue("Content-Type"));
}

TEST(HeaderListStore, ValueWithoutBreakCharactersStaysOneLine) {
    TIdHeaderList list;
    const std::string value(300, 'x');
    list.SetFieldValue("X-Long", value);
    // The blank after the colon is the only break chance: the value itself
    // is never cut.
    EXPECT_EQ((std::vector<std::string>{"X-Long:", " " + value}), linesOf(list));
    EXPECT_EQ(value, list.GetFieldValue("X-Long"));
}

TEST(HeaderListStore, WrapFoldText) {
    struct Case {
        const char* name;
        std::string text;
        int maxColumn;
        std::string expected;
    };
    const std::string quoted = "a \"b c d e f g h\" i j k";
    const Case cases[] = {
        {"ShortTextUnchanged", "a b c", 78, "a b c"},
        {"BreaksAtLastSpaceBeforeColumn", "aaa bbb ccc ddd", 6, "aaa \r\n bbb \r\n ccc ddd"},
        {"NoBreakTextJustBeforeTheEnd", "aaa bbb ccc", 6, "aaa \r\n bbb ccc"},
        {"BreaksAfterComma", "aaa,bbb", 4, "aaa,\r\n bbb"},
        {"NothingInsideQuotesIsBroken", quoted, 4, "a \r\n \"b c d e f g h\" \r\n i j k"},
        {"ExistingBreakKept", "ab\r\n cd", 78, "ab\r\n cd"},
        {"NoBreakCharacterNeverBroken", std::string(20, 'z'), 5, std::string(20, 'z')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, TIdHeaderList::WrapFoldText(c.text, "\r\n ", "\t ,", c.maxColumn));
    }
}

// Hostile input --------------------------------------------------------------

// The lines share one block; edits must keep every other line intact,
// including edits whose new text is a line of the same list.
TEST(HeaderListStore, EditsKeepTheOtherLines) {
    TIdHeaderList list = listOf({"A: one", "B: two", "C: three"});
    list.Put(1, "B: a longer second line");
    list.Put(0, "A: 1");
    list.Insert(1, list[2]);  // a view into the list, stored while it grows
    list.Put(3, list[3].substr(3));  // part of the line itself, shorter
    list.Add(list[0]);
    EXPECT_EQ(linesOf(list),
              (std::vector<std::string>{"A: 1", "C: three", "B: a longer second line", "three", "A: 1"}));
    list.Delete(1);
    list.Delete(0);
    EXPECT_EQ(linesOf(list), (std::vector<std::string>{"B: a longer second line", "three", "A: 1"}));
    EXPECT_EQ(list.Text(), "B: a longer second line\r\nthree\r\nA: 1\r\n");
}

TEST(HeaderListStore, ManyReplacementsAndDeletionsKeepTheLines) {
    // Enough churn to pack the block many times over.
    TIdHeaderList list;
    std::vector<std::string> expected;
    for (int i = 0; i < 200; ++i) {
        list.Add("X-Line-" + std::to_string(i) + ": " + std::string(40, 'a'));
        expected.emplace_back(list[i]);
    }
    for (int round = 0; round < 50; ++round) {
        // The set field's lines stay after the others.
        const int others = static_cast<int>(expected.size());
        const int at = (round * 37) % others;
        std::string longer = "X-Round-" + std::to_string(round) + ": " + std::string(100 + round, 'b');
        list.Put(at, longer);
        expected[static_cast<std::size_t>(at)] = longer;
        list.Delete((at + 1) % others);
        expected.erase(expected.begin() + (at + 1) % others);
        list.SetFieldValue("X-Set", std::string(200 + round, 'c'));
    }
    ASSERT_GE(list.Count(), 150);
    // The set field is the last one, in folded lines; the others are as put.
    const int set = list.FieldIndex("X-Set");
    ASSERT_GE(set, 0);
    EXPECT_EQ(list.GetFieldValue("X-Set"), std::string(249, 'c'));
    std::vector<std::string> rest = linesOf(list);
    rest.erase(rest.begin() + set, rest.end());
    EXPECT_EQ(rest, expected);
}

TEST(HeaderListRobustness, ThousandsOfContinuationLines) {
    TIdHeaderList list;
    list.Add("Received: start");
    for (int i = 0; i < 20000; ++i) list.Add(i % 2 ? "\tpart" : " ");
    list.Add("Subject: end");
    const std::string value = list.GetFieldValue("received");
    // "start" and 10000 times " part": blank continuation lines add nothing.
    ASSERT_EQ(5u + 10000u * 5u, value.size());
    EXPECT_EQ("start part part", value.substr(0, 15));
    EXPECT_EQ("end", list.GetFieldValue("subject"));
    list.SetFieldValue("Received", "short");
    EXPECT_EQ(2, list.Count());
}

TEST(HeaderListRobustness, MegabyteValuesAndRandomBytes) {
    TIdHeaderList list;
    std::string big = "X-Big: " + std::string(1 << 20, 'a');
    for (std::size_t i = 100; i < big.size(); i += 97) big[i] = ' ';
    list.Add(big);
    list.Add(std::string(1 << 20, ':'));
    EXPECT_EQ(big.substr(7), list.GetFieldValue("X-Big"));
    list.SetFieldValue("X-Big", big.substr(7));
    EXPECT_EQ(big.substr(7), list.GetFieldValue("x-big"));

    std::mt19937 random(7);
    TIdHeaderList noise;
    for (int i = 0; i < 2000; ++i) {
        std::string line(random() % 200, '\0');
        for (char& c : line) c = static_cast<char>(random());
        noise.Add(line);
    }
    for (const char* name : {"Subject", "", ":", " ", "\t"}) {
        (void)noise.GetFieldValue(name);
        noise.SetFieldValue(name, "value with, some spaces \"and quotes");
    }
    SUCCEED();
}

}  // namespace
