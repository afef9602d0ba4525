#!/usr/bin/env python3
"""Python peers of the download benchmark (bench/download_gui_bench): the
first message of a mailbox on 127.0.0.1 fetched with "RETR 1" and its
attachment written to a file.

    --mode poplib   poplib's retr (the whole reply as a list of lines), then
                    the email package's parser on the joined message, then
                    the attachment's decoded payload written out
    --mode stream   the reply read line by line from the socket, the
                    attachment's Base64 lines decoded with binascii as they
                    come and written out

Prints one line: the seconds from connecting until the file is closed, and
the growth of the process's peak resident memory in KiB over its peak before
connecting ("seconds kib"), so that the interpreter's start is not counted.
"""

import argparse
import binascii
import email
import poplib
import resource
import socket
import time


def peak_kib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def with_poplib(args, out):
    pop = poplib.POP3("127.0.0.1", args.port, timeout=120)
    try:
        pop.user(args.user)
        pop.pass_(args.password)
        _, lines, _ = pop.retr(1)
    finally:
        pop.quit()
    message = email.message_from_bytes(b"\r\n".join(lines))
    for part in message.walk():
        if part.get_filename():
            out.write(part.get_payload(decode=True))


def streaming(args, out):
    sock = socket.create_connection(("127.0.0.1", args.port), timeout=120)
    reply = sock.makefile("rb")

    def command(line):
        if line:
            sock.sendall(line.encode() + b"\r\n")
        answer = reply.readline()
        if not answer.startswith(b"+OK"):
            raise RuntimeError(answer)

    for line in ("", "USER " + args.user, "PASS " + args.password, "RETR 1"):
        command(line)
    # "text" between parts, "header" in a part's header, "base64" in the
    # attachment's content.
    state, named = "text", False
    for line in reply:
        if line == b".\r\n":
            break
        if line.startswith(b".."):
            line = line[1:]
        if line.startswith(b"--"):
            state, named = "header", False
        elif state == "header":
            named = named or b"filename=" in line
            if line == b"\r\n":
                state = "base64" if named else "text"
        elif state == "base64" and line != b"\r\n":
            out.write(binascii.a2b_base64(line))
    command("QUIT")
    sock.close()


def main():
    p = argparse.ArgumentParser(description="Python peers of the download benchmark")
    p.add_argument("--mode", choices=["poplib", "stream"], required=True)
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--user", required=True)
    p.add_argument("--password", required=True)
    p.add_argument("--out", required=True, help="the file the attachment is written to")
    args = p.parse_args()
    before = peak_kib()
    start = time.perf_counter()
    with open(args.out, "wb") as out:
        (with_poplib if args.mode == "poplib" else streaming)(args, out)
    print("%.4f %d" % (time.perf_counter() - start, peak_kib() - before))


if __name__ == "__main__":
    main()
