#!/usr/bin/env python3
"""Checks that the private test Dovecot behaves as the POP3 tests expect.

Run through the server script:
    scripts/dovecot-test-server.sh run --messages 5 python3 tests/dovecot/selfcheck.py

A minimal POP3 client on raw sockets (127.0.0.1 only) walks through what
the client tests rely on; every check prints one line, and the exit status
is 1 when any check failed.
"""

import glob
import hashlib
import os
import re
import socket
import sys

HOST = "127.0.0.1"
PORT = int(os.environ["SKIMLET_DOVECOT_PORT"])
USER = os.environ["SKIMLET_DOVECOT_USER"]
PASSWORD = os.environ["SKIMLET_DOVECOT_PASSWORD"]
MAILDIR = os.environ["SKIMLET_DOVECOT_MAILDIR"]
USER2 = os.environ["SKIMLET_DOVECOT_USER2"]
PASSWORD2 = os.environ["SKIMLET_DOVECOT_PASSWORD2"]

failures = []


def check(name, ok, detail=""):
    print("%s %s%s" % ("ok  " if ok else "FAIL", name, (": " + detail) if detail and not ok else ""))
    if not ok:
        failures.append(name)


class Session:
    """One POP3 connection; a failed login wait of seconds hits the timeout."""

    def __init__(self):
        self.sock = socket.create_connection((HOST, PORT), timeout=3)
        self.file = self.sock.makefile("rb")
        self.greeting = self.line()

    def line(self):
        return self.file.readline(65536).decode("latin-1").rstrip("\r\n")

    def cmd(self, text):
        self.sock.sendall(text.encode("latin-1") + b"\r\n")
        return self.line()

    def multiline(self):
        """Reads lines up to ".", undoing dot-stuffing; returns raw bytes with CR LF."""
        out = []
        while True:
            raw = self.file.readline(1 << 20)
            if raw in (b".\r\n", b""):
                return b"".join(out)
            out.append(raw[1:] if raw.startswith(b"..") else raw)

    def login(self, user=USER, password=PASSWORD):
        r = self.cmd("USER " + user)
        return r if not r.startswith("+OK") else self.cmd("PASS " + password)

    def close(self):
        try:
            self.cmd("QUIT")
        finally:
            self.sock.close()


def put_message(name, data):
    with open(os.path.join(MAILDIR, "new", name), "wb") as f:
        f.write(data)


def mail_files():
    """The first user's messages in server order: by file name, wherever
    Dovecot has moved them (new/ to cur/ with a ":2,..." suffix)."""
    paths = glob.glob(os.path.join(MAILDIR, "new", "*")) + glob.glob(os.path.join(MAILDIR, "cur", "*"))
    return sorted(paths, key=lambda p: os.path.basename(p).split(":")[0])


def check_greeting_and_apop():
    s = Session()
    check("greeting is +OK", s.greeting.startswith("+OK"), s.greeting)
    m = re.search(r"<[^>]*>", s.greeting)
    check("greeting carries an APOP timestamp", m is not None, s.greeting)
    if m:
        digest = hashlib.md5((m.group(0) + PASSWORD).encode("latin-1")).hexdigest()
        check("APOP with the right digest logs in", s.cmd("APOP %s %s" % (USER, digest)).startswith("+OK"))
    s.close()
    s = Session()
    check("APOP with a wrong digest is refused", s.cmd("APOP %s %s" % (USER, "0" * 32)).startswith("-ERR"))
    s.close()


def check_failed_logins_are_not_delayed():
    # Penalties would make logins 2 to 5 wait 4.5 s each, beyond the timeout;
    # what remains is Dovecot's own flush of failures every 0.5 s.
    try:
        for i in range(5):
            s = Session()
            r = s.login(USER, "wrong" + str(i))
            s.close()
            check("wrong password %d refused at once" % (i + 1), r.startswith("-ERR"), r)
    except socket.timeout:
        check("failed logins are not delayed", False, "timed out")


def check_listing(files):
    s = Session()
    check("USER/PASS logs in", s.login().startswith("+OK"))
    stat = s.cmd("STAT").split()
    check("STAT counts the Maildir's messages", stat[:2] == ["+OK", str(len(files))], " ".join(stat))
    r = s.cmd("UIDL")
    uidl = s.multiline().splitlines() if r.startswith("+OK") else []
    check("UIDL lists every message", len(uidl) == len(files), r)
    for n, path in enumerate(files, 1):
        raw = open(path, "rb").read()
        wire = raw.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        header = wire.split(b"\r\n\r\n", 1)[0] + b"\r\n"
        r = s.cmd("TOP %d 0" % n)
        top = s.multiline() if r.startswith("+OK") else b""
        check("TOP %d 0 gives the header of %s" % (n, os.path.basename(path)),
              top.startswith(header) and top.endswith(b"\r\n\r\n"), r)
        size = s.cmd("LIST %d" % n).split()
        check("LIST %d counts CR LF line ends" % n, size == ["+OK", str(n), str(len(wire))], " ".join(size))
    s.close()


def check_unterminated_last_line():
    # A last line without a line end: LIST counts it 2 bytes short of RETR.
    data = b"Subject: no final newline\n\nfirst line\n.dot line\nlast line"
    put_message("0009999.unterminated", data)
    files = mail_files()
    s = Session()
    s.login()
    n = len(files)
    size = int(s.cmd("LIST %d" % n).split()[2])
    r = s.cmd("RETR %d" % n)
    body = s.multiline() if r.startswith("+OK") else b""
    check("RETR undoes dot-stuffing of '.dot line'", b"\r\n.dot line\r\n" in body, repr(body[-40:]))
    check("LIST is 2 bytes shorter than RETR for an unterminated last line",
          size == len(body) - 2, "LIST %d, RETR %d" % (size, len(body)))
    s.close()


def check_delete_and_reconnect():
    s = Session()
    s.login()
    before = int(s.cmd("STAT").split()[1])
    check("DELE 1 accepted", s.cmd("DELE 1").startswith("+OK"))
    check("deleted message is gone in the same session", s.cmd("LIST 1").startswith("-ERR"))
    check("QUIT after DELE", s.cmd("QUIT").startswith("+OK"))
    s.sock.close()
    s = Session()
    s.login()
    after = int(s.cmd("STAT").split()[1])
    check("deletion took effect after QUIT", after == before - 1, "%d -> %d" % (before, after))
    s.close()


def check_second_user_and_many_sessions():
    s = Session()
    check("second user logs in", s.login(USER2, PASSWORD2).startswith("+OK"))
    check("second user's mailbox is separate", s.cmd("STAT").split()[:2] == ["+OK", "0"])
    s.close()
    sessions = [Session() for _ in range(12)]
    oks = [x.login().startswith("+OK") for x in sessions]
    check("12 simultaneous sessions of one user", all(oks), str(oks))
    for x in sessions:
        x.close()


def main():
    put_message("0009000.selfcheck", b"Subject: added before login\nMessage-ID: <selfcheck@test>\n\nhello\r\n")
    check_greeting_and_apop()
    check_failed_logins_are_not_delayed()
    check_listing(mail_files())
    check_unterminated_last_line()
    check_delete_and_reconnect()
    check_second_user_and_many_sessions()
    print("%d check(s) failed" % len(failures) if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
