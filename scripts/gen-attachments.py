#!/usr/bin/env python3
"""Generates whole messages with text parts and attachments, made with
Python's email package, deterministically from a seed.

    gen-attachments.py --maildir DIR [--manifest FILE] [--seed S]
                       [--set test|demo|big] [--big-mib N]

Sets of messages:
  test  the shapes a download meets in real mail: plain text with lines that
        start with "."; quoted-printable text in ISO-8859-2 and in UTF-8;
        multipart/alternative with a text and an HTML part; multipart/mixed
        with binary Base64 attachments (random bytes, a PDF-like file, a PNG
        image); nested multiparts; a forwarded message (message/rfc822); a
        uuencoded block inside plain text; attachment names with blanks, with
        encoded words, and hostile ones (a climb out of the folder, absolute
        paths); a message that is one attachment; a 10 MiB attachment
        (--big-mib changes its size)
  demo  a few everyday messages with attachments, a harmless shell script
        among them, for scripts/demo.sh
  big   one message with a text part and one random binary attachment of
        --big-mib MiB (default 100) in Base64, for the download benchmark

Messages go into DIR/new as 0000001.att, 0000002.att, ... (a POP3 server
numbers them in that order), lines ending in LF as usual in a Maildir; the
server sends them with CR LF and dot-stuffed.

The manifest (--manifest FILE, JSON) holds for every message what Skimlet's
download must show and save:
    {"messages": [{"file": NAME, "view": BASE64, "attachments":
                   [{"name": BASE64, "sha256": HEX, "bytes": N}, ...]}]}
"view" is the message view's text as bytes with CR LF line ends: the
attachment lines, the text parts and the header lines under their section
lines, or the body alone for a message without text parts or attachments.
Each attachment has the file name the save dialog proposes (bytes) and the
SHA-256 of its decoded content, in the order of the attachment lines.
"""

import argparse
import base64
import binascii
import email.charset
import email.encoders
import email.generator
import email.mime.application
import email.mime.base
import email.mime.image
import email.mime.message
import email.mime.multipart
import email.mime.text
import email.message
import hashlib
import io
import json
import os
import quopri
import random
import re

S_ATT = b"---Attachments-------------------------------"
S_BODY = b"---Body--------------------------------------"
S_HEAD = b"---Header------------------------------------"
LINK_PREFIX = b"http://localhost/"
CRLF = b"\r\n"


class Built:
    """A message, its body lines outside any part, and its parts as the
    body reception makes them: ("text", bytes) or ("att", name, type,
    content)."""

    def __init__(self, msg, body_lines=(), parts=None):
        self.msg = msg
        self.body_lines = list(body_lines)
        self.parts = parts


# --- Building blocks

def header(msg, n, subject, sender="Anna Novak <anna@example.org>"):
    msg["From"] = sender
    msg["To"] = "bob@example.com"
    msg["Subject"] = subject
    msg["Date"] = "Tue, 8 Dec 2026 09:%02d:00 +0100" % (n % 60)
    msg["Message-ID"] = "<att-%d@example.org>" % n
    return msg


def text_part(text, subtype="plain", charset="us-ascii", qp=False):
    part = email.mime.text.MIMEText("", subtype, charset)
    if qp:
        cs = email.charset.Charset(charset)
        cs.body_encoding = email.charset.QP
        del part["Content-Transfer-Encoding"]
        part.set_payload(text, cs)
    else:
        part.set_payload(text.encode(charset).decode("ascii", "surrogateescape"))
    return part


def attachment(data, ctype, name_field, name_bytes, disposition=True):
    """A Base64 part whose header names the file as `name_field` (the text
    between the quotes, encoded words and all); `name_bytes` is the name
    header processing makes of it."""
    maintype, subtype = ctype.split("/")
    part = email.mime.base.MIMEBase(maintype, subtype)
    part.set_payload(data)
    email.encoders.encode_base64(part)
    if disposition:
        part["Content-Disposition"] = 'attachment; filename="%s"' % name_field
    else:
        part.replace_header("Content-Type", '%s; name="%s"' % (ctype, name_field))
    part.skimlet_name = name_bytes
    return part


def iso_word(text, charset="ISO-8859-2"):
    raw = text.encode(charset)
    q = "".join(chr(b) if chr(b).isalnum() and b < 128 else "_" if b == 32 else "=%02X" % b for b in raw)
    return "=?%s?Q?%s?=" % (charset, q), raw


def pdf_like(rng):
    return (b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n" + rng.randbytes(3000) +
            b"\n%%EOF\n")


def png_like(rng):
    return b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR" + rng.randbytes(2000)


def mixed(*parts):
    msg = email.mime.multipart.MIMEMultipart("mixed")
    for p in parts:
        msg.attach(p)
    return msg


# --- What the body reception makes of a message

def decoded_name(part):
    if hasattr(part, "skimlet_name"):
        return part.skimlet_name
    disposition = part.get("Content-Disposition", "")
    match = re.search(r'filename="([^"]*)"', disposition) or re.search(r'name="([^"]*)"', part["Content-Type"])
    return match.group(1).encode("latin-1") if match else b""


def is_attachment(part):
    disposition = part.get("Content-Disposition", "").split(";")[0]
    return disposition.lower() == "attachment" or "NAME" in part["Content-Type"].upper()


def content_of(part):
    """What follows the part's header as generated."""
    return render(part).split(b"\n\n", 1)[1]


def text_of(part, whole_body=False):
    """The decoded text of a text part: its lines, and in a multipart the
    empty line before the next boundary too."""
    content = content_of(part) + (b"" if whole_body else b"\n")
    encoding = part.get("Content-Transfer-Encoding", "").lower()
    if encoding == "base64":
        return base64.b64decode(content_of(part))
    if encoding == "quoted-printable":
        return quopri.decodestring(content)
    return content


def parts_of(msg):
    parts = []

    def visit(part):
        if part.get_content_type() == "message/rfc822":
            parts.append(("text", content_of(part) + b"\n"))
        elif part.is_multipart():
            # A container is a text part holding its preamble (none here).
            parts.append(("text", b""))
            for inner in part.get_payload():
                visit(inner)
        elif is_attachment(part):
            parts.append(("att", decoded_name(part), part["Content-Type"], part.get_payload(decode=True)))
        else:
            parts.append(("text", text_of(part)))

    for part in msg.get_payload():
        visit(part)
    return parts


def split_lines(text):
    text = text.split(b"\0")[0]
    lines = re.split(rb"\r\n|\n|\r", text)
    if lines and lines[-1] == b"":
        lines.pop()
    return lines


def safe_name(name):
    name = re.split(rb"[/\\]", name)[-1]
    name = bytes(b for b in name if b >= 0x20 and b != 0x7F).lstrip(b". ").rstrip(b" ")
    return name or b"attachment"


def upper_ascii(data):
    return bytes(b - 32 if 0x61 <= b <= 0x7A else b for b in data)


def view_of(built, raw):
    """The message view's text for the generated file `raw`."""
    header_lines = raw.split(b"\n\n", 1)[0].split(b"\n")
    head = b"".join(line + CRLF for line in header_lines)
    texts, atts, saved = b"", b"", []
    for index, part in enumerate(built.parts or []):
        if part[0] == "text":
            texts += CRLF + b"".join(line + CRLF for line in split_lines(part[1]))
        else:
            name = safe_name(part[1])
            atts += CRLF + LINK_PREFIX + name + b"/ID=%d " % index + upper_ascii(name) + b" (" + \
                part[2].encode("latin-1") + b")"
            saved.append({"name": base64.b64encode(name).decode(), "sha256": hashlib.sha256(part[3]).hexdigest(),
                          "bytes": len(part[3])})
    body = b"".join(line + CRLF for line in built.body_lines)
    if not texts:
        if not atts:
            return body, saved
        texts = CRLF + body
    view = CRLF
    if atts:
        view += S_ATT + CRLF + atts + CRLF + CRLF
    return view + S_BODY + texts + CRLF + CRLF + S_HEAD + CRLF + head, saved


def render(msg):
    out = io.BytesIO()
    email.generator.BytesGenerator(out, mangle_from_=False, maxheaderlen=0).flatten(msg)
    return out.getvalue()


# --- The sets

def test_set(rng, big_mib):
    built = []
    plain = header(text_part("Hello Bob,\n.a line that starts with a dot\n..and one with two\n.\nBye\n"), 1,
                   "Plain text with dots")
    built.append(Built(plain, [b"Hello Bob,", b".a line that starts with a dot", b"..and one with two", b".", b"Bye"]))
    for n, charset, text in [(2, "iso-8859-2", "Příliš žluťoučký kůň úpěl ďábelské ódy.\nZa = rovná se.\n"),
                             (3, "utf-8", "Zażółć gęślą jaźń – " + "dlouhý řádek " * 12 + "\nKonec.\n")]:
        msg = header(text_part(text, charset=charset, qp=True), n, "Quoted-printable " + charset)
        built.append(Built(msg, parts=[("text", text_of(msg, whole_body=True))]))
    alternative = email.mime.multipart.MIMEMultipart("alternative")
    alternative.attach(text_part("The text form.\n"))
    alternative.attach(text_part('<html><body><img src="http://tracker.example/p.gif">'
                                 '<script>alert(1)</script><p>The HTML form.</p></body></html>\n', "html"))
    built.append(Built(header(alternative, 4, "Text and HTML")))
    built.append(Built(header(mixed(text_part("Three attachments.\n"),
                                    attachment(rng.randbytes(5000), "application/octet-stream", "random.bin",
                                               b"random.bin"),
                                    attachment(pdf_like(rng), "application/pdf", "quarterly report 2026.pdf",
                                               b"quarterly report 2026.pdf"),
                                    attachment(png_like(rng), "image/png", "photo.png", b"photo.png", False)),
                              5, "Binary attachments")))
    nested = mixed(alternative, attachment(pdf_like(rng), "application/pdf", "nested.pdf", b"nested.pdf"))
    built.append(Built(header(nested, 6, "Nested multiparts")))
    inner = header(text_part("The forwarded text.\n"), 70, "Original")
    built.append(Built(header(mixed(text_part("See the forwarded message.\n"),
                                    email.mime.message.MIMEMessage(inner)), 7, "Forwarded")))
    data = rng.randbytes(200)
    uu = [b"begin 644 notes.bin"] + [binascii.b2a_uu(data[i:i + 45], backtick=True).rstrip(b"\n")
                                     for i in range(0, len(data), 45)] + [b"`", b"end"]
    uu_msg = header(text_part("Here is the file:\n\n" + b"\n".join(uu).decode() + "\n\nBye\n"), 8, "Uuencoded")
    built.append(Built(uu_msg, [b"Here is the file:", b"", b"", b"Bye"],
                       [("att", b"notes.bin", "", data)]))
    word, raw = iso_word("Příloha č. 1.txt")
    word2, raw2 = iso_word("Přehled výdajů.csv", "windows-1250")
    built.append(Built(header(mixed(text_part("Names of every kind.\n"),
                                    attachment(b"one\n", "text/plain", word, raw),
                                    attachment(b"two\n", "text/csv", word2, raw2),
                                    attachment(b"#!/bin/sh\necho climbed\n", "text/x-sh", "../../x", b"../../x"),
                                    attachment(b"root:x:0:0\n", "text/plain", "/etc/passwd", b"/etc/passwd"),
                                    attachment(b"MZ", "application/x-msdownload", "C:\\Windows\\evil.exe",
                                               b"C:\\Windows\\evil.exe"),
                                    attachment(b"..\n.\n", "text/plain", ".hidden", b".hidden")),
                              9, "Attachment names")))
    alone = header(attachment(pdf_like(rng), "application/pdf", "alone.pdf", b"alone.pdf"), 10, "Only an attachment")
    # Read as one whole-body part, which has no part header of its own.
    built.append(Built(alone, parts=[("att", b"alone.pdf", "", alone.get_payload(decode=True))]))
    built.append(Built(header(mixed(text_part("A large attachment.\n"),
                                    attachment(rng.randbytes(big_mib << 20), "application/octet-stream",
                                               "large.bin", b"large.bin")), 11, "Large")))
    return built


def demo_set(rng):
    script = b"#!/bin/sh\n# Removes the build folder. Skimlet shows this file, it never runs it.\nrm -rf build\n"
    return [
        Built(header(mixed(text_part("Hello Bob,\n\nthe minutes and the offer are attached.\n\nAnna\n"),
                           attachment(pdf_like(rng), "application/pdf", "minutes-2026-12-07.pdf",
                                      b"minutes-2026-12-07.pdf"),
                           attachment(png_like(rng), "image/png", "floor plan.png", b"floor plan.png", False)),
                     1, "Minutes and the floor plan")),
        Built(header(mixed(text_part("Run this to clean up, it is quite safe ;-)\n"),
                           attachment(script, "application/x-sh", "cleanup.sh", b"cleanup.sh")),
                     2, "Please run the attached script", "Build Bot <bot@ci.example>")),
    ]


def big_set(rng, big_mib):
    return [Built(header(mixed(text_part("The large attachment.\n"),
                               attachment(rng.randbytes(big_mib << 20), "application/octet-stream", "big.bin",
                                          b"big.bin")), 1, "Big"))]


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--maildir", required=True, help="Maildir to write into (new/ is filled; created if missing)")
    p.add_argument("--manifest", help="write what the download must show and save into this JSON file")
    p.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    p.add_argument("--set", choices=["test", "demo", "big"], default="test", help="which messages (default test)")
    p.add_argument("--big-mib", type=int, help="size of the large attachment (10 for test, 100 for big)")
    args = p.parse_args()
    rng = random.Random(args.seed)
    # The email package draws its boundaries from the module's generator.
    random.seed(args.seed)
    if args.set == "test":
        built = test_set(rng, args.big_mib or 10)
    elif args.set == "demo":
        built = demo_set(rng)
    else:
        built = big_set(rng, args.big_mib or 100)
    new = os.path.join(args.maildir, "new")
    for sub in ("new", "cur", "tmp"):
        os.makedirs(os.path.join(args.maildir, sub), exist_ok=True)
    manifest = []
    for n, b in enumerate(built, 1):
        raw = render(b.msg)
        if b.parts is None:
            b.parts = parts_of(b.msg) if b.msg.is_multipart() else []
        name = "%07d.att" % n
        with open(os.path.join(new, name), "wb") as f:
            f.write(raw)
        view, saved = view_of(b, raw)
        manifest.append({"file": name, "view": base64.b64encode(view).decode(), "attachments": saved})
    if args.manifest:
        with open(args.manifest, "w") as f:
            json.dump({"messages": manifest}, f, indent=1)
    print("%d messages in %s" % (len(built), new))


if __name__ == "__main__":
    main()
