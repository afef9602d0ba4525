#!/usr/bin/env python3
"""Prints the check-run figures of scripts/bench.sh checkrun side by side.

    checkrun_report.py DOVECOT_JSON SCRIPTED_JSON POPLIB_RATE

DOVECOT_JSON and SCRIPTED_JSON are Google Benchmark JSON outputs of
bench/checkrun_gui_bench (the Dovecot runs taking turns with the minimal
client, and the scripted 10,000-message run); POPLIB_RATE is
poplib_peer.py's rate. With repetitions the medians are reported.
"""

import json
import sys


def medians(path):
    """The counters of each benchmark: its median over the repetitions, or
    its only run."""
    out = {}
    for b in json.load(open(path))["benchmarks"]:
        if b.get("error_occurred"):
            continue
        name = b.get("run_name", b["name"]).split("/")[0]
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                out[name] = b
        else:
            out.setdefault(name, b)
    return out


def main():
    dovecot = medians(sys.argv[1])
    scripted = medians(sys.argv[2])
    python = float(sys.argv[3])
    pairs = dovecot.get("BM_CheckMessagesVersusMinimalClient", {})
    ours = pairs.get("skimlet_messages/s")
    minimal = pairs.get("minimal_messages/s")
    share = pairs.get("skimlet_vs_minimal_%")
    print("%-44s %12s" % ("check run, 2,000 messages on Dovecot", "messages/s"))
    if ours:
        print("%-44s %12.0f" % ("Skimlet CheckMessages", ours))
    if minimal:
        print("%-44s %12.0f" % ("minimal blocking client, taking turns", minimal))
    print("%-44s %12.0f" % ("Python poplib", python))
    if share:
        print("Skimlet / minimal client: %.1f%%, median of the pairs (target at least 95%%)" % share)
    if ours:
        print("Skimlet / Python poplib:  %.2fx (target above 1)" % (ours / python))
    run = scripted.get("BM_CheckMessagesScripted")
    if run:
        print()
        print("10,000 messages, scripted server: %.0f messages/s" % run["messages/s"])
        print("list fill and spam verdicts: %.1f%% of the run, %.0f ms (target under 10%%)"
              % (run["fill_share_%"], run["fill_ms"]))


if __name__ == "__main__":
    main()
