#!/usr/bin/env python3
"""Python peer for the header parsing benchmark.

Parses every header block of a headers file (as written by
scripts/gen-mailbox.py --headers-file: CR LF lines, blocks closed by an
empty line) with email.parser.BytesHeaderParser (policy compat32) and
decodes the fields the mailbox list shows: the subject (decode_header and
make_header), From and To (getaddresses) and Date (parsedate_to_datetime).

    python3 bench/python/header_parse_peer.py --headers-file FILE
    python3 bench/python/header_parse_peer.py --count 10000   # generates one

Prints the best of --rounds passes as one machine-readable line:
    python_headers_per_sec=8500.3
"""

import argparse
import email.header
import email.parser
import email.policy
import email.utils
import os
import subprocess
import sys
import tempfile
import time


def split_blocks(data):
    """The header blocks of the file, each with its closing empty line."""
    return [b + b"\r\n\r\n" for b in data.split(b"\r\n\r\n") if b.strip()]


def parse_one(parser, block):
    msg = parser.parsebytes(block)
    subject = msg.get("Subject", "")
    decoded = str(email.header.make_header(email.header.decode_header(subject)))
    sender = email.utils.getaddresses(msg.get_all("From", []))
    to = email.utils.getaddresses(msg.get_all("To", []))
    date = None
    if msg.get("Date"):
        try:
            date = email.utils.parsedate_to_datetime(msg["Date"])
        except (TypeError, ValueError):
            pass
    return decoded, sender, to, date


def run_pass(blocks):
    parser = email.parser.BytesHeaderParser(policy=email.policy.compat32)
    start = time.perf_counter()
    for block in blocks:
        parse_one(parser, block)
    return time.perf_counter() - start


def generated_file(count, seed):
    fd, path = tempfile.mkstemp(suffix=".headers")
    os.close(fd)
    gen = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "gen-mailbox.py")
    subprocess.run([sys.executable, gen, "--count", str(count), "--seed", str(seed),
                    "--spam-every", "10", "--large-kb", "1", "--headers-file", path],
                   check=True, stdout=subprocess.DEVNULL)
    return path


def main():
    p = argparse.ArgumentParser(description="Python header parsing peer")
    p.add_argument("--headers-file", help="headers file from gen-mailbox.py --headers-file")
    p.add_argument("--count", type=int, default=10000, help="messages to generate without --headers-file")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--rounds", type=int, default=3, help="passes; the best one counts")
    args = p.parse_args()
    path = args.headers_file or generated_file(args.count, args.seed)
    try:
        with open(path, "rb") as f:
            blocks = split_blocks(f.read())
    finally:
        if not args.headers_file:
            os.unlink(path)
    best = min(run_pass(blocks) for _ in range(max(1, args.rounds)))
    print("headers=%d best_pass_sec=%.3f" % (len(blocks), best), file=sys.stderr)
    print("python_headers_per_sec=%.1f" % (len(blocks) / best))


if __name__ == "__main__":
    main()
