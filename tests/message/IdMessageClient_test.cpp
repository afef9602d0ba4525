#include "FakeServer.h"

#include "message/IdMessageClient.h"
#include "net/IdExceptions.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using Lines = std::vector<std::string>;

// Each line followed by CR LF, as a server sends them.
std::string wire(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

const std::string kFullUULine = "M5&AE('%U:6-K(&)R;W=N(&9O>\"!J=6UP<R!O=F5R('1H92!L87IY(&1O9R$A";
const std::string kFullXXLine = "hJ4VZ653pOKBf647mPrRi64NjS0-eRKpkQm-jRaJm65FcNG-gMLdt64FjNm2V";
const std::string kFox = "The quick brown fox jumps over the lazy dog!!";

// "text <type>: <lines joined by |>" or "file <name>: <content>" per part.
Lines summary(const TIdMessage& msg) {
    Lines parts;
    for (int i = 0; i < msg.Parts.Count(); ++i) {
        if (const auto* text = dynamic_cast<const TIdText*>(&msg.Parts[i])) {
            std::string body;
            for (const std::string& line : text->Body) body += (body.empty() ? "" : "|") + line;
            parts.push_back("text " + text->ContentType() + ": " + body);
        } else {
            const auto& file = dynamic_cast<const TIdAttachment&>(msg.Parts[i]);
            std::ostringstream content;
            content << std::ifstream(file.StoredPath, std::ios::binary).rdbuf();
            parts.push_back("file " + file.AttachedFileName + ": " + content.str());
        }
    }
    return parts;
}

struct BodyRow {
    const char* name;
    Lines header;
    std::string body;  // what follows the header's blank line, "." included
    Lines bodyLines;
    Lines parts;
    std::string error = {};  // the text of EIdMessageBodyError
    TIdBodyLimits limits = {};
    TIdCharsetDecoding charsets = TIdCharsetDecoding::Written;
};

class ReceiveBody : public ::testing::TestWithParam<int> {
protected:
    void connect(FakeServer& server, const TIdBodyLimits& limits = {}) {
        server.start();
        client.Host = "127.0.0.1";
        client.Port = server.port();
        client.RecvBufferSize = GetParam();
        client.MaxLineLength = 100;
        client.BodyLimits = limits;
        client.OnWorkBegin = [&](TIdComponent&, TWorkMode, std::int64_t) { ++spans; };
        client.OnWorkEnd = [&](TIdComponent&, TWorkMode) { --spans; };
        client.Connect();
    }
    // Receives each row from a server of its own; afterwards the next reply
    // is read in step.
    void expectRows(const std::vector<BodyRow>& rows) {
        for (const BodyRow& row : rows) {
            FakeServer server;
            server.send(row.body + "+OK next\r\n").stall();
            connect(server, row.limits);
            client.CharsetDecoding = row.charsets;
            TIdMessage msg;
            for (const std::string& line : row.header) msg.HeaderLines.Add(line);
            TIdMessageClient::ReadHeaderFields(msg, row.charsets);
            std::string error;
            try {
                client.ReceiveMessageBody(msg, ".");
            } catch (const EIdMessageBodyError& e) {
                error = e.what();
            }
            EXPECT_EQ(error, row.error) << row.name;
            EXPECT_EQ(msg.Body, row.bodyLines) << row.name;
            EXPECT_EQ(summary(msg), row.parts) << row.name;
            EXPECT_EQ(client.ReadLine(), "+OK next") << row.name;
            EXPECT_EQ(spans, 0) << row.name;
            client.Disconnect();
        }
    }
    TIdMessageClient client;
    int spans = 0;
};

INSTANTIATE_TEST_SUITE_P(Feeds, ReceiveBody, ::testing::Values(32768, 1),
                         [](const auto& info) { return info.param == 1 ? "ByteByByte" : "Whole"; });

TEST_P(ReceiveBody, SinglePartBodies) {
    expectRows({
        {"plain text: lines to Body, two leading dots lose one, dashes are content", {"Content-Type: text/plain"},
         wire({"one", "..dotted", ".single", "", "--", "sig", "----", "."}),
         {"one", ".dotted", ".single", "", "--", "sig", "----"}, {}},
        {"quoted-printable body: one text part, dashes are content", {"Content-Transfer-Encoding: quoted-printable"},
         wire({"caf=E9 au=", " lait", "..x=3D1", "--", "----", "."}), {}, {"text : caf\xE9 au lait|.x=1|--|----"}},
        {"Base64 body: one text part", {"Content-Transfer-Encoding: base64"}, wire({"Zm9vIGJh", "cg==", "."}), {},
         {"text : foo bar"}},
        {"Base64 body of a named type: one attachment",
         {"Content-Type: application/pdf; name=\"r.pdf\"", "Content-Transfer-Encoding: BASE64"},
         wire({"Zm9vIGJhcg==", "."}), {}, {"file r.pdf: foo bar"}},
    });
}

TEST_P(ReceiveBody, Multiparts) {
    expectRows({
        {"mixed: preamble and epilogue in Body, boundaries in any case",
         {"Content-Type: multipart/mixed; boundary=\"XX\""},
         wire({"preamble", "--XX", "Content-Type: text/plain", "", "hello", "--xx",
               "Content-Transfer-Encoding: base64", "Content-Disposition: attachment;", " filename=\"my file.txt\"", "",
               "Zm9v", "IGJhcg==", "--XX--", "epilogue", "."}),
         {"preamble", "epilogue"}, {"text text/plain: hello", "file my file.txt: foo bar"}},
        {"kind decision and file names", {"Content-Type: multipart/mixed; boundary=B", "Content-Transfer-Encoding: 7BIT"},
         wire({"--B", "Content-Type: image/png", "Content-Disposition: inline; filename=pic.png", "", "img", "--B",
               "Content-Type: application/pdf; name=\"a b.pdf\"", "", "pdf", "--B", "Content-Disposition: attachment",
               "", "x", "--B", "Content-Disposition: attachment; filename=x.bin; size=3", "", "..bin", "--B",
               "Content-Type:text/plain; name=n", "", "no field", "--B  ", "--B",
               "Content-Disposition: attachment; filename==?ISO-8859-1?Q?a=ZZ?=", "", "z", "--B--", "."}),
         {}, {"text image/png: img", "file a b.pdf: pdf\r\n", "file : x\r\n", "file x.bin; size=3: .bin\r\n",
              "text : no field|--B  ", "file =?ISO-8859-1?Q?a=ZZ?=: z\r\n"}},
        {"nested: the container's preamble is a text part before its inner parts",
         {"Content-Type: multipart/mixed; boundary=OUT"},
         wire({"--OUT", "Content-Type: multipart/alternative; boundary=IN", "", "inner", "--IN", "", "plain", "--IN",
               "Content-Type: text/html", "Content-Transfer-Encoding: quoted-printable", "", "<p>=3D</p>", "--IN--",
               "between", "--OUT", "", "after", "--OUT--", "."}),
         {"between"},
         {"text multipart/alternative; boundary=IN: inner", "text : plain", "text text/html: <p>=</p>", "text : after"}},
    });
}

TEST_P(ReceiveBody, EncodedBlocksInText) {
    expectRows({
        {"uuencoded block between text lines", {},
         wire({"before", "begin 644 fox.txt", kFullUULine, "#0V%T", "`", "end", "after", "."}), {"before", "after"},
         {"file fox.txt: " + kFox + "Cat"}},
        {"xxencoded block without end ends with the message", {}, wire({"begin 600 x y", kFullXXLine, "1Eq3o", "."}),
         {}, {"file x y: " + kFox + "Cat"}},
        {"blocks shorter than one full line", {},
         wire({"begin 644 cat", "#0V%T", "`", "end", "begin 644 cat2", "#0V%T ", "end", "begin 600 cat3", "1Eq3o", "+",
               "end", "."}),
         {}, {"file cat: Cat", "file cat2: Cat", "file cat3: Cat"}},
        {"begin line before an empty line stays text", {}, wire({"begin 644 a.txt", "", kFullUULine, "end", "."}),
         {"begin 644 a.txt", "", kFullUULine, "end"}, {}},
    });
}

TEST_P(ReceiveBody, CharsetsOfNamesAndTexts) {
    const Lines multipart = {"Content-Type: multipart/mixed; boundary=B"};
    const std::string body = wire({"--B", "Content-Type: text/plain; charset=iso-8859-2",
        "Content-Transfer-Encoding: quoted-printable", "", "P=F8=EDli=B9", "--B", "Content-Type: text/plain; charset=utf-8",
        "", "\xFF raw", "--B", "Content-Disposition: attachment;", " filename*0*=utf-8''%C5%BEl; filename*1=u.txt", "",
        "\xBE", "--B", "Content-Type: text/plain; charset=cp1250; name==?utf-8?q?=C5=99.txt?=", "", "\x9A", "--B--", "."});
    const auto all = TIdCharsetDecoding::AllToUtf8;
    expectRows({
        {"all charsets: names decoded, text parts converted where they can be, files never", multipart, body, {},
         {"text text/plain; charset=iso-8859-2: Příliš", "text text/plain; charset=utf-8: \xFF raw",
          "file žlu.txt: \xBE\r\n", "file ř.txt: \x9A\r\n"}, "", {}, all},
        {"written: as received", multipart, body, {},
         {"text text/plain; charset=iso-8859-2: P\xF8\xEDli\xB9", "text text/plain; charset=utf-8: \xFF raw",
          "file 0*=utf-8''%C5%BEl; filename*1=u.txt: \xBE\r\n", "file =?utf-8?q?=C5=99.txt?=: \x9A\r\n"}},
        {"all charsets: body lines of a single part", {"Content-Type: text/plain; charset=\"ISO-8859-2\""},
         wire({"P\xF8\xEDli\xB9", "..a", "."}), {"Příliš", ".a"}, {}, "", {}, all},
        {"all charsets: whole quoted-printable body", {"Content-Type: text/plain; charset=koi8-r",
         "Content-Transfer-Encoding: quoted-printable"}, wire({"=F0=D2=C9=D7=C5=D4", "."}), {}, {"text : Привет"}, "",
         {}, all},
    });
}

// A content failure drops the rest of the reply (a line longer than the
// line limit in pieces, a piece "." not being the end) and keeps the parts
// read before it.
TEST_P(ReceiveBody, ContentFailuresKeepTheConnectionInStep) {
    constexpr std::uint64_t kLine = BodyReception::kLineOverhead;
    const auto textBound = [](std::uint64_t limit) {
        return "Message text exceeds the limit of " + std::to_string(limit) + " bytes.";
    };
    const std::string multipart = "Content-Type: multipart/mixed; boundary=B";
    const std::string longLine = std::string(100, 'x') + ".";
    expectRows({
        {"part header cut off by the end", {multipart}, wire({"--B", "", "first", "--B", "Content-Type: a/b", "."}),
         {}, {"text : first"}, "Unknown Message Part Type."},
        {"unrecognised uuencode scheme", {}, wire({"kept", "begin 644 a.txt", "~0V%T", "end", longLine, "."}),
         {"kept"}, {}, "Unrecognized UUE encoding scheme."},
        {"uneven Base64 line", {multipart},
         wire({"--B", "", "ok", "--B", "Content-Transfer-Encoding: base64", "", "TWF", longLine, "--B--", "."}), {},
         {"text : ok"}, "Uneven size in DecodeToStream."},
        {"line over the line limit", {}, wire({"kept", longLine, "."}), {"kept"}, {}, "Max line length exceeded."},
        {"text bound", {}, wire({"0123456789", "0123456789", "x", "."}), {"0123456789"}, {},
         textBound(10 + kLine), {10 + kLine, 10, 10}},
        {"empty body lines count as strings", {}, wire({"", "", "", "."}), {"", ""}, {}, textBound(2 * kLine),
         {2 * kLine, 10, 10}},
        {"empty lines of a text part count as strings", {multipart}, wire({"--B", "", "", "", "", "--B--", "."}), {},
         {"text : "}, textBound(2 * kLine + 8), {2 * kLine + 8, 10, 10}},
        {"part bound", {multipart}, wire({"--B", "", "1", "--B", "", "2", "--B", "", "3", "--B--", "."}), {},
         {"text : 1", "text : 2"}, "Message has more than 2 parts.", {1000, 2, 10}},
        {"nesting bound", {"Content-Type: multipart/mixed; boundary=A"},
         wire({"--A", "Content-Type: multipart/mixed; boundary=B", "", "--B", "Content-Type: multipart/x; boundary=C",
               "", "x", "."}),
         {}, {"text multipart/mixed; boundary=B: "}, "Message parts are nested more than 2 levels deep.", {1000, 10, 2}},
        {"uuencode lines asking for more than they carry", {},
         wire({"begin 644 a", kFullUULine, "M", "M", "end", "."}), {}, {},
         "Attachment data exceeds the size of the message."},
    });
}

// The connection breaking ends the reception where it is, as it is.
TEST_P(ReceiveBody, NetworkFailurePassesThrough) {
    FakeServer server;
    server.send(wire({"--B", "", "first", "--B", "", "cut"})).close();
    connect(server);
    TIdMessage msg;
    msg.BoundaryStack.PushBoundary("B");
    EXPECT_THROW(client.ReceiveMessageBody(msg, "."), EIdConnClosedGracefully);
    EXPECT_EQ(summary(msg), Lines{"text : first"});
    EXPECT_EQ(spans, 0);
}

// A reply that goes on and on after a content failure is not read to its
// end: the socket is closed instead.
TEST_P(ReceiveBody, EndlessReplyAfterAFailureClosesTheSocket) {
    FakeServer server;
    server.send(wire({"begin 644 a", "~0V%T", std::string(90, 'x'), std::string(90, 'y'), "."})).stall();
    connect(server);
    client.MaxBodyDrainSize = 100;
    TIdMessage msg;
    try {
        client.ReceiveMessageBody(msg, ".");
        ADD_FAILURE() << "no exception";
    } catch (const EIdMessageBodyError&) {
        ADD_FAILURE() << "reported as in step";
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "Unrecognized UUE encoding scheme.");
    }
    EXPECT_FALSE(client.IsConnected());
}

}  // namespace
