#!/usr/bin/env python3
"""Python peer for the mailbox check benchmark.

Does what a check run does, with poplib against 127.0.0.1: USER, PASS,
UIDL, STAT, then "TOP n 0" and "LIST n" for every message, then QUIT.
Nothing is deleted. The port and account come from the options or from the
variables the private server script exports:

    scripts/dovecot-test-server.sh run --messages 2000 \\
        python3 bench/python/poplib_peer.py

The first round warms the server up (Dovecot indexes the new Maildir on the
first login) and is not counted. With --serve it does one check run for
every "run" line on standard input instead and answers each with the
message count and the seconds the run took (bench/checkrun_gui_bench takes
turns with it that way). Prints the rate over all measured rounds
(messages over seconds, as Google Benchmark reports the minimal client's),
the best round on stderr:
    python_poplib_messages_per_sec=1234.5
"""

import argparse
import os
import poplib
import sys
import time


def check_run(port, user, password):
    """One connection doing a whole check run; returns the message count."""
    pop = poplib.POP3("127.0.0.1", port, timeout=30)
    try:
        pop.user(user)
        pop.pass_(password)
        pop.uidl()
        count, _ = pop.stat()
        for n in range(1, count + 1):
            pop.top(n, 0)
            pop.list(n)
    finally:
        pop.quit()
    return count


def main():
    env = os.environ
    p = argparse.ArgumentParser(description="Python poplib check-run peer")
    p.add_argument("--port", type=int, default=int(env.get("SKIMLET_DOVECOT_PORT", "110")))
    p.add_argument("--user", default=env.get("SKIMLET_DOVECOT_USER", ""))
    p.add_argument("--password", default=env.get("SKIMLET_DOVECOT_PASSWORD", ""))
    p.add_argument("--rounds", type=int, default=5, help="measured rounds")
    p.add_argument("--serve", action="store_true",
                   help='one check run per "run" line on standard input, answered with '
                        'the message count and its seconds')
    args = p.parse_args()
    if args.serve:
        for line in sys.stdin:
            if line.strip() != "run":
                continue
            start = time.perf_counter()
            count = check_run(args.port, args.user, args.password)
            print("%d %.6f" % (count, time.perf_counter() - start), flush=True)
        return
    check_run(args.port, args.user, args.password)
    best, count, total, seconds = None, 0, 0, 0.0
    for _ in range(max(1, args.rounds)):
        start = time.perf_counter()
        count = check_run(args.port, args.user, args.password)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
        total += count
        seconds += elapsed
    if count == 0:
        sys.exit("poplib_peer: the mailbox is empty")
    print("messages=%d best_round_sec=%.3f best_messages_per_sec=%.1f" % (count, best, count / best),
          file=sys.stderr)
    print("python_poplib_messages_per_sec=%.1f" % (total / seconds))


if __name__ == "__main__":
    main()
