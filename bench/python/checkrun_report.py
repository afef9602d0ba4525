#!/usr/bin/env python3
"""Prints the check-run figures of scripts/bench.sh checkrun side by side.

    checkrun_report.py DOVECOT_JSON SCRIPTED_JSON POPLIB_RATE

DOVECOT_JSON and SCRIPTED_JSON are Google Benchmark JSON outputs of
bench/checkrun_gui_bench (the Dovecot pair, repeated with interleaving, and
the scripted 10,000-message run); POPLIB_RATE is poplib_peer.py's rate.
With repetitions the medians are compared.
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
    ours = dovecot.get("BM_CheckMessages", {}).get("messages/s")
    minimal = dovecot.get("BM_MinimalClientCheckRun", {}).get("messages/s")
    print("%-44s %12s" % ("check run, 2,000 messages on Dovecot", "messages/s"))
    if ours:
        print("%-44s %12.0f" % ("Skimlet CheckMessages (median)", ours))
    if minimal:
        print("%-44s %12.0f" % ("minimal blocking client (median)", minimal))
    print("%-44s %12.0f" % ("Python poplib", python))
    if ours and minimal:
        print("Skimlet / minimal client: %.1f%% (target at least 95%%)" % (100 * ours / minimal))
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
