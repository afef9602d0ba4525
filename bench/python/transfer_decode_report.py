#!/usr/bin/env python3
"""Content transfer decoding beside its peers, for scripts/bench.sh decode.

    transfer_decode_report.py BENCH INPUT_DIR [--rounds N]

BENCH is bench/transfer_decode_bench; INPUT_DIR holds what its
--write-inputs wrote (<kind>.txt encoded with CR LF lines, <kind>.raw the
bytes they encode, for base64, qp and uu). Each round runs, taking turns in
alternating order, Skimlet's rows (line by line into memory and into a file),
coreutils "base64 -d" (on the same text with LF lines, since it refuses CRs)
and Python's binascii: a2b_base64 and a2b_qp on the whole file, a2b_uu line
by line. Every peer's output is checked against the raw bytes.

Prints, per row, the median rate in MB/s of encoded input with its spread
(lowest to highest over the rounds), and per target the median of the
round-by-round ratios of decoding times on the same content, with spread.
"""

import argparse
import binascii
import json
import os
import statistics
import subprocess
import sys
import time

KINDS = ("base64", "qp", "uu")
TARGETS = [  # (our row kind, peer, target ratio)
    ("base64", "base64 -d", 1.2),
    ("qp", "a2b_qp (whole file)", 1.2),
    ("uu", "a2b_uu (line by line)", 2.0),
]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def ours(bench, directory):
    """Seconds per pass of each of our rows, by row name."""
    out = subprocess.run([bench, "--inputs=" + directory, "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    rows = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("error_occurred"):
            sys.exit("transfer_decode_report: %s failed: %s" % (b["name"], b.get("error_message")))
        name = b["name"].split("/")[0].replace("BM_", "")  # Memory_base64 ...
        rows[name] = b["real_time"] / 1e3  # milliseconds
    return rows


def timed(action):
    start = time.perf_counter()
    result = action()
    return time.perf_counter() - start, result


def peers(directory, inputs, raw):
    """Seconds of each peer for one pass, each output checked."""
    seconds = {}
    lf = os.path.join(directory, "base64.lf")
    target = os.path.join(directory, "base64.peer")
    with open(lf, "rb") as src, open(target, "wb") as dst:
        seconds["base64 -d"], _ = timed(lambda: subprocess.run(["base64", "-d"], stdin=src, stdout=dst, check=True))
    checks = {"base64 -d": read(target)}
    seconds["a2b_base64 (whole file)"], checks["a2b_base64 (whole file)"] = timed(
        lambda: binascii.a2b_base64(inputs["base64"]))
    seconds["a2b_qp (whole file)"], checks["a2b_qp (whole file)"] = timed(lambda: binascii.a2b_qp(inputs["qp"]))
    lines = inputs["uu"].split(b"\r\n")
    seconds["a2b_uu (line by line)"], checks["a2b_uu (line by line)"] = timed(
        lambda: b"".join([binascii.a2b_uu(line) for line in lines if line]))
    for name, output in checks.items():
        kind = "base64" if "base64" in name else "qp" if "qp" in name else "uu"
        if output != raw[kind]:
            sys.exit("transfer_decode_report: %s does not give the raw bytes" % name)
    return seconds


def spread(values):
    return "%.0f-%.0f" % (min(values), max(values))


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("bench")
    p.add_argument("directory")
    p.add_argument("--rounds", type=int, default=5)
    args = p.parse_args()
    inputs = {k: read(os.path.join(args.directory, k + ".txt")) for k in KINDS}
    raw = {k: read(os.path.join(args.directory, k + ".raw")) for k in KINDS}
    with open(os.path.join(args.directory, "base64.lf"), "wb") as f:
        f.write(inputs["base64"].replace(b"\r\n", b"\n"))

    rounds = []
    for r in range(max(3, args.rounds)):
        if r % 2 == 0:
            mine = ours(args.bench, args.directory)
            theirs = peers(args.directory, inputs, raw)
        else:
            theirs = peers(args.directory, inputs, raw)
            mine = ours(args.bench, args.directory)
        rounds.append((mine, theirs))

    size = {k: len(inputs[k]) / 1e6 for k in KINDS}
    size_of = lambda row: size["base64" if "base64" in row else "qp" if "qp" in row else "uu"]
    print("%-34s %10s %12s" % ("row (%d rounds)" % len(rounds), "MB/s", "spread"))
    for row in rounds[0][0]:
        rates = [size_of(row) / mine[row] for mine, _ in rounds]
        print("%-34s %10.0f %12s" % ("Skimlet " + row.replace("_", ", "), statistics.median(rates), spread(rates)))
    for peer in rounds[0][1]:
        # base64 -d reads the LF text, 2 bytes a line fewer.
        own = len(inputs["base64"].replace(b"\r\n", b"\n")) / 1e6 if peer == "base64 -d" else size_of(peer)
        rates = [own / theirs[peer] for _, theirs in rounds]
        print("%-34s %10.0f %12s" % (peer, statistics.median(rates), spread(rates)))
    print()
    print("ratios of decoding times on the same content, median (spread)")
    for kind, peer, target in TARGETS:
        for where in ("Memory", "File"):
            row = where + "_" + kind
            ratios = [theirs[peer] / mine[row] for mine, theirs in rounds]
            verdict = "met" if statistics.median(ratios) >= target else "not met"
            print("  %-8s %-6s / %-22s %5.2fx (%.2f-%.2f)  target %.1fx %s" % (
                kind, where.lower(), peer, statistics.median(ratios), min(ratios), max(ratios), target, verdict))


if __name__ == "__main__":
    main()
