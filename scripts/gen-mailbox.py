#!/usr/bin/env python3
"""Generates realistic test messages, deterministically from a seed.

Writes N messages into a Maildir (its new/ folder) and/or writes their
header blocks into one file for benchmarks.

Maildir output: files DIR/new/0000001.skimlet, 0000002.skimlet, ... whose
names sort in message order (a POP3 server numbers them in that order).
Lines end in LF, as usual in a Maildir; the server sends them as CR LF.

Headers file (--headers-file): the header block of every message, in order,
each line ending in CR LF as on the wire, every block closed by one empty
line (CR LF). Header lines are never empty, so the empty line separates the
blocks unambiguously; the file ends with the last block's empty line.

Every header has about 25 lines: Return-Path, Received lines (folded),
Date in varied valid forms, From/To/Cc/Reply-To with encoded words in
UTF-8, ISO-8859-2 and windows-1250, Q and B encodings, a folded Subject,
Message-ID, MIME headers and X- fields. Bodies are small text parts, some
multipart/alternative.

Manifest (--manifest FILE): one tab-separated line per message with what a
reader of its header must find, for tests that check the fields after a
round trip through a server:
    index  file-name  message-id  from-address  to-addresses  cc-addresses
    date  subject-hex
Address lists are the bare addresses separated by single spaces ("-" when
empty). date is the Date field's instant in seconds since 1970-01-01 UTC,
counting named zones ("GMT", "EST", "(CET)" comments) as UTC and numeric
zones as given. subject-hex is the expected subject bytes in hexadecimal
when they follow from the text alone: a plain subject, or one encoded word
in ISO-8859-2 or windows-1250 decoded to that charset's bytes; "-" when the
subject is split over several encoded words or encoded in UTF-8 (those are
left to a comparison with the stored file).

Spam-like messages (--spam-every K: messages K, 2K, 3K, ...) cycle through
kinds: disguised spam words in the subject ("V-I-A-G-R-A", "v1agra",
"c@sino", ...), a disguised word in the sender, an empty subject, many
recipients (--many-recipients, default 40) and a large body (--large-kb,
default 300). Their Message-ID contains "spam-<kind>" so that tests can
tell which kind a message is.
"""

import argparse
import base64
import datetime
import email.header
import os
import random
import sys

FIRST_NAMES = [
    ("Žofie Dvořáková", "zofie.dvorakova"), ("Łukasz Wiśniewski", "lukasz.w"),
    ("Zoltán Kovács", "kovacs.zoltan"), ("Jürgen Müller", "j.mueller"),
    ("Anna Nowak", "anna.nowak"), ("Petr Novák", "petr.novak"),
    ("Ágnes Szőke", "agnes.szoke"), ("Tomáš Černý", "tomas.cerny"),
    ("John Smith", "john.smith"), ("Marie Curie", "m.curie"),
    ("Grzegorz Brzęczyszczykiewicz", "grzegorz.b"), ("Emma Brown", "emma"),
    ("Ondřej Šťastný", "ondrej.stastny"), ("Helga Schröder", "helga.s"),
]
DOMAINS = ["example.com", "example.org", "mail.example.net", "firma.example.cz",
           "poczta.example.pl", "corp.example.hu", "uni.example.de"]
SUBJECTS = [
    "Zápis z porady 12. 3.", "Faktura č. 2031/2026", "Spotkanie w środę o 10:00",
    "Jahresbericht für März", "Re: Árajánlat a következő negyedévre",
    "Quarterly report draft", "Fwd: Výsledky měření – příloha",
    "Przypomnienie: zaległa płatność", "Meeting notes", "Dotaz k objednávce",
    "Re: Re: Grußwort für die Feier", "Lunch on Friday?",
    "Plán dovolených – léto", "Łódź – rezerwacja hotelu",
]
SPAM_WORDS = ["V-I-A-G-R-A", "v1agra", "c@sino", "V.i.a.g.r.a", "FR-EE m0ney",
              "c a s i n o", "rol3x", "L0TT3RY w!nner", "ch3ap pi!!s"]
SPAM_KINDS = ["word", "sender", "empty-subject", "many-recipients", "large"]
CHARSETS = ["UTF-8", "ISO-8859-2", "windows-1250"]
DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep",
          "Oct", "Nov", "Dec"]
ZONES = ["+0100", "+0200", "-0500", "+0000", "-0800", "+0530", "GMT", "UT",
         "EST", "PDT"]
MAILERS = ["Mozilla Thunderbird 115.5", "Microsoft Outlook 16.0",
           "Apple Mail (2.3731)", "Roundcube Webmail/1.6.5", "mutt/2.2.9"]
WORDS = ("lorem ipsum dolor sit amet consectetur adipiscing elit sed do "
         "eiusmod tempor incididunt ut labore et dolore magna aliqua").split()


def encoded_word(text, rng):
    """Encodes `text` as one or more RFC 2047 encoded words (Q or B), each
    at most 75 characters; the blank between two of them is not part of the
    decoded text."""
    word = single_encoded_word(text, rng)
    if len(word) <= 75 or len(text) < 2:
        return word
    half = len(text) // 2
    return encoded_word(text[:half], rng) + " " + encoded_word(text[half:], rng)


def single_encoded_word(text, rng):
    charset = rng.choice(CHARSETS)
    try:
        raw = text.encode(charset)
    except UnicodeEncodeError:
        charset, raw = "UTF-8", text.encode("utf-8")
    if rng.random() < 0.5:
        return "=?%s?B?%s?=" % (charset, base64.b64encode(raw).decode("ascii"))
    q = []
    for b in raw:
        c = chr(b)
        if c == " ":
            q.append("_")
        elif c.isalnum() and b < 128:
            q.append(c)
        else:
            q.append("=%02X" % b)
    return "=?%s?Q?%s?=" % (charset, "".join(q))


def phrase(text, rng):
    """A display name or subject: plain when ASCII, else encoded."""
    if all(ord(c) < 128 for c in text) and rng.random() < 0.8:
        return text
    return encoded_word(text, rng)


def mailbox(rng, name=None, local=None):
    if name is None:
        name, local = rng.choice(FIRST_NAMES)
    addr = "%s@%s" % (local, rng.choice(DOMAINS))
    form = rng.random()
    if form < 0.15:
        return addr
    if form < 0.25:
        return "<%s>" % addr
    shown = phrase(name, rng)
    if shown == name and rng.random() < 0.3:
        shown = '"%s"' % name
    return "%s <%s>" % (shown, addr)


def fold_list(field, items):
    """Joins addresses with commas, folding after every second one."""
    lines, line = [], field + ": "
    for i, item in enumerate(items):
        sep = "," if i < len(items) - 1 else ""
        if i > 0 and i % 2 == 0:
            lines.append(line.rstrip())
            line = "\t"
        line += item + sep + " "
    lines.append(line.rstrip())
    return lines


def date_text(rng, index, facts=None):
    """A valid RFC 5322 date, in one of several allowed forms. When `facts`
    is a dict, its "date" entry gets the instant in seconds since 1970 UTC,
    numeric zones honoured and named zones counted as UTC."""
    day, month = rng.randint(1, 28), rng.randint(1, 12)
    year = 2020 + index % 7
    hh, mm, ss = rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59)
    weekday = DAYS[datetime.date(year, month, day).weekday()]
    zone = rng.choice(ZONES)
    form = index % 6
    if facts is not None:
        shown_zone = zone if form in (0, 1, 2, 4) else ("+0100" if form == 3 else "GMT")
        offset = 0
        if shown_zone[0] in "+-":
            offset = int(shown_zone[1:3]) * 3600 + int(shown_zone[3:5]) * 60
            offset = -offset if shown_zone[0] == "-" else offset
        wall = datetime.datetime(year, month, day, hh, mm, 0 if form == 2 else ss,
                                 tzinfo=datetime.timezone.utc)
        facts["date"] = int(wall.timestamp()) - offset
    if form == 0:
        return "%s, %02d %s %d %02d:%02d:%02d %s" % (weekday, day, MONTHS[month - 1], year, hh, mm, ss, zone)
    if form == 1:
        return "%d %s %d %02d:%02d:%02d %s" % (day, MONTHS[month - 1], year, hh, mm, ss, zone)
    if form == 2:
        return "%s, %d %s %d %02d:%02d %s" % (weekday, day, MONTHS[month - 1], year, hh, mm, zone)
    if form == 3:
        return "%s, %02d %s %d %02d:%02d:%02d +0100 (CET)" % (weekday, day, MONTHS[month - 1], year, hh, mm, ss)
    if form == 4:
        return "%s,  %d %s %02d %02d:%02d:%02d %s" % (weekday, day, MONTHS[month - 1], year % 100, hh, mm, ss, zone)
    return "%s, %d %s %d %02d:%02d:%02d GMT" % (weekday, day, MONTHS[month - 1], year, hh, mm, ss)


def received_lines(rng, index):
    lines = []
    for hop in range(rng.randint(3, 4)):
        host = "mx%d.%s" % (hop + 1, rng.choice(DOMAINS))
        ip = "192.0.2.%d" % rng.randint(1, 254)
        lines.append("Received: from %s (%s [%s])" % (host, host, ip))
        lines.append("\tby relay%d.example.net (Postfix) with ESMTPS id %08X" % (hop, rng.getrandbits(32)))
        lines.append("\tfor <inbox@example.com>; %s" % date_text(rng, index))
    return lines


def body_text(rng, size=None):
    words = [rng.choice(WORDS) for _ in range(rng.randint(20, 80))]
    lines, line = [], ""
    for w in words:
        if len(line) + len(w) > 70:
            lines.append(line.rstrip())
            line = ""
        line += w + " "
    lines.append(line.rstrip())
    text = "\n".join(lines) + "\n"
    if size:
        text = (text * (size // len(text) + 1))[:size]
        text = text[:text.rfind("\n") + 1]
    return text


class Message:
    def __init__(self, header_lines, body, facts):
        self.header_lines = header_lines
        self.body = body
        self.facts = facts


def bare_address(text):
    """The address of one generated mailbox text ("a@b", "<a@b>", "Name <a@b>")."""
    return text[text.rindex("<") + 1:-1] if text.endswith(">") else text


def expected_subject(lines):
    """The subject bytes a reader must find, as hex, when they follow from the
    field alone (see the manifest description); None otherwise."""
    if len(lines) != 1:
        return None
    value = lines[0][len("Subject:"):].strip()
    if "=?" not in value:
        return value.encode("utf-8").hex()
    if value.count("=?") != 1:
        return None
    (raw, charset), = email.header.decode_header(value)
    if not charset or not charset.upper().startswith(("ISO", "WINDOWS")):
        return None
    return raw.hex()


def make_message(rng, index, spam_kind, many, large_kb):
    """Builds message number `index` (1-based); spam_kind may be None."""
    h = ["Return-Path: <bounce-%d@%s>" % (index, rng.choice(DOMAINS)),
         "Delivered-To: inbox@example.com"]
    h += received_lines(rng, index)
    facts = {}
    h.append("Date: " + date_text(rng, index, facts))
    if spam_kind == "sender":
        sender = "%s <%s.deals@promo.example.biz>" % (
            encoded_word("Best " + rng.choice(SPAM_WORDS) + " deals", rng),
            rng.choice(["c.a.s.i.n.o", "v1agra", "v-i-a-g-r-a", "rol3x"]))
    else:
        sender = mailbox(rng)
    h.append("From: " + sender)
    facts["from"] = bare_address(sender)
    count = many if spam_kind == "many-recipients" else rng.randint(1, 4)
    to = [mailbox(rng) if i < 14 else "user%03d@%s" % (i, rng.choice(DOMAINS)) for i in range(count)]
    h += fold_list("To", to)
    facts["to"] = [bare_address(t) for t in to]
    facts["cc"] = []
    if rng.random() < 0.6:
        cc = [mailbox(rng) for _ in range(rng.randint(1, 3))]
        h += fold_list("Cc", cc)
        facts["cc"] = [bare_address(c) for c in cc]
    if spam_kind == "empty-subject":
        subject = ["Subject: "]
    elif spam_kind == "word":
        subject = ["Subject: " + phrase("%s %s" % (rng.choice(SPAM_WORDS), rng.choice(["now!", "offer", "-80% today"])), rng)]
    else:
        subject = fold_subject(rng.choice(SUBJECTS), rng)
    h += subject
    facts["subject"] = expected_subject(subject)
    tag = "spam-%s." % spam_kind if spam_kind else ""
    h.append("Message-ID: <%s%d.%08x@%s>" % (tag, index, rng.getrandbits(32), rng.choice(DOMAINS)))
    facts["message_id"] = h[-1][len("Message-ID: "):]
    if rng.random() < 0.3:
        h.append("In-Reply-To: <%08x@example.org>" % rng.getrandbits(32))
    h.append("Reply-To: " + mailbox(rng))
    h.append("X-Mailer: " + rng.choice(MAILERS))
    h.append("X-Priority: %d" % rng.randint(1, 5))
    h.append("X-Spam-Score: %.1f" % (rng.random() * 4))
    h.append("MIME-Version: 1.0")
    size = large_kb * 1024 if spam_kind == "large" else None
    body = body_text(rng, size)
    if rng.random() < 0.3 and not size:
        boundary = "=_b%08x" % rng.getrandbits(32)
        h.append('Content-Type: multipart/alternative;\n\tboundary="%s"' % boundary)
        body = ("This is a multi-part message in MIME format.\n\n--%s\n"
                "Content-Type: text/plain; charset=us-ascii\n\n%s\n--%s\n"
                "Content-Type: text/html; charset=us-ascii\n\n<p>%s</p>\n--%s--\n"
                % (boundary, body, boundary, body.strip(), boundary))
    else:
        h.append("Content-Type: text/plain; charset=%s; format=flowed" % rng.choice(CHARSETS))
        h.append("Content-Transfer-Encoding: 7bit")
    return Message(h, body, facts)


def fold_subject(text, rng):
    """A subject, sometimes split into two encoded words on two lines."""
    if rng.random() < 0.4 and " " in text:
        cut = text.index(" ", len(text) // 2) if " " in text[len(text) // 2:] else text.index(" ")
        return ["Subject: " + encoded_word(text[:cut + 1], rng), "\t" + encoded_word(text[cut + 1:], rng)]
    return ["Subject: " + phrase(text, rng)]


def header_block(msg, eol):
    """The header lines joined with `eol`; inner line breaks of a field too."""
    return "".join(line.replace("\n", eol) + eol for line in msg.header_lines)


def encode(text):
    # Encoded words are ASCII already; plain subjects may carry UTF-8.
    return text.encode("utf-8")


def manifest_line(index, name, facts):
    def addresses(items):
        return " ".join(items) if items else "-"
    subject = facts["subject"]
    return "\t".join([str(index), name, facts["message_id"], facts["from"], addresses(facts["to"]),
                      addresses(facts["cc"]), str(facts["date"]), "-" if subject is None else subject]) + "\n"


def generate(args):
    rng = random.Random(args.seed)
    for index in range(1, args.count + 1):
        kind = None
        if args.spam_every > 0 and index % args.spam_every == 0:
            kind = SPAM_KINDS[(index // args.spam_every - 1) % len(SPAM_KINDS)]
        yield index, make_message(rng, index, kind, args.many_recipients, args.large_kb)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--count", type=int, default=10, help="number of messages (default 10)")
    p.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    p.add_argument("--maildir", help="Maildir to write into (new/ is filled; created if missing)")
    p.add_argument("--headers-file", help="write all header blocks into this file")
    p.add_argument("--manifest", help="write the expected fields of every message into this file")
    p.add_argument("--spam-every", type=int, default=0, metavar="K",
                   help="make messages K, 2K, ... spam-like (default 0: none)")
    p.add_argument("--many-recipients", type=int, default=40, help="recipients of the many-recipients kind")
    p.add_argument("--large-kb", type=int, default=300, help="body size in kB of the large kind")
    args = p.parse_args()
    if not args.maildir and not args.headers_file and not args.manifest:
        p.error("give --maildir, --headers-file and/or --manifest")
    if args.maildir:
        for sub in ("new", "cur", "tmp"):
            os.makedirs(os.path.join(args.maildir, sub), exist_ok=True)
    headers = open(args.headers_file, "wb") if args.headers_file else None
    manifest = open(args.manifest, "w", encoding="ascii") if args.manifest else None
    try:
        for index, msg in generate(args):
            name = "%07d.skimlet" % index
            if args.maildir:
                with open(os.path.join(args.maildir, "new", name), "wb") as f:
                    f.write(encode(header_block(msg, "\n") + "\n" + msg.body))
            if headers:
                headers.write(encode(header_block(msg, "\r\n") + "\r\n"))
            if manifest:
                manifest.write(manifest_line(index, name, msg.facts))
    finally:
        if headers:
            headers.close()
        if manifest:
            manifest.close()
    print("wrote %d messages" % args.count)


if __name__ == "__main__":
    sys.exit(main())
