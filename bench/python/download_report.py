#!/usr/bin/env python3
"""Prints the download benchmark's figures (bench/download_gui_bench's JSON
output): every client's seconds and peak memory growth, and the ratios the
targets are about, each as the median over the repetitions with the lowest
and highest value beside it."""

import json
import statistics
import sys


def main():
    runs = [b for b in json.load(open(sys.argv[1]))["benchmarks"]
            if b.get("run_type") == "iteration" and not b.get("error_occurred")]
    if not runs:
        sys.exit("bench: the download benchmark failed")

    def spread(key, form):
        values = [r[key] for r in runs]
        return ("%s  (" + form + " .. " + form + ")") % (form % statistics.median(values), min(values), max(values))

    print("%d repetitions, the four clients in turn: median (lowest .. highest)" % len(runs))
    print("%-9s %-26s %s" % ("client", "seconds", "peak memory growth, MiB"))
    for client in ("skimlet", "minimal", "poplib", "stream"):
        print("%-9s %-26s %s" % (client, spread(client + "_s", "%.2f"), spread(client + "_rss_growth_MiB", "%.1f")))
    print("stream / skimlet:  %s  (target at least 3)" % spread("stream_vs_skimlet_x", "%.2f"))
    print("skimlet / minimal: %s  (target at most 2)" % spread("skimlet_vs_minimal_x", "%.2f"))
    print("Skimlet's peak memory growth: target at most 16 MiB")


if __name__ == "__main__":
    main()
