#!/usr/bin/env python3
"""Prints the check-run figures of scripts/bench.sh checkrun side by side.

    checkrun_report.py DOVECOT_JSON SCRIPTED_JSON

DOVECOT_JSON and SCRIPTED_JSON are Google Benchmark JSON outputs of
bench/checkrun_gui_bench (the Dovecot runs taking turns with the minimal
client and Python's poplib, and the scripted 10,000-message run). With
repetitions the medians are reported.
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
    turns = dovecot.get("BM_CheckMessagesTakingTurns", {})
    rows = [("Skimlet CheckMessages", "skimlet_messages/s"),
            ("minimal blocking client", "minimal_messages/s"),
            ("Python poplib", "python_messages/s")]
    print("%-44s %12s" % ("check run, 2,000 messages on Dovecot", "messages/s"))
    for label, key in rows:
        if key in turns:
            print("%-44s %12.0f" % (label, turns[key]))
    if "skimlet_cpu_us/msg" in turns and "minimal_cpu_us/msg" in turns:
        print("processor time per message: Skimlet %.0f us, minimal client %.0f us"
              % (turns["skimlet_cpu_us/msg"], turns["minimal_cpu_us/msg"]))
    if "skimlet_user_us/msg" in turns and "minimal_user_us/msg" in turns:
        print("  of it in user space:        Skimlet %.0f us, minimal client %.0f us"
              % (turns["skimlet_user_us/msg"], turns["minimal_user_us/msg"]))
    if "skimlet_vs_minimal_%" in turns:
        print("Skimlet / minimal client: %.1f%% (target at least 95%%)" % turns["skimlet_vs_minimal_%"])
    if "skimlet_vs_python_x" in turns:
        print("Skimlet / Python poplib:  %.2fx (target above 1)" % turns["skimlet_vs_python_x"])
    run = scripted.get("BM_CheckMessagesScripted")
    if run:
        print()
        print("10,000 messages, scripted server: %.0f messages/s" % run["messages/s"])
        print("list fill and spam verdicts: %.1f%% of the run, %.0f ms (target under 10%%)"
              % (run["fill_share_%"], run["fill_ms"]))


if __name__ == "__main__":
    main()
