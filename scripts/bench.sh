#!/usr/bin/env bash
# Runs the benchmarks that have peers, with their peers, in one go, and
# prints the rates side by side.
#
#   scripts/bench.sh [headers|checkrun|checkrun-tls|fastcheck|decode|download|all]  (default: all)
#
# headers   header reception (bench/header_recv_bench: ReceiveHeaderLines over
#           loopback as written and with all charsets decoded to UTF-8) and
#           Python's email parser
#           (bench/python/header_parse_peer.py) on the same 10,000 headers,
#           three rounds taking turns, medians with the lowest and highest;
#           SKIMLET_HEADERS_BENCH_FILTER limits the program's benchmarks (a
#           Google Benchmark filter)
# checkrun  against a private Dovecot holding 2,000 messages: Skimlet's whole
#           check run (bench/checkrun_gui_bench: Tfmain::CheckMessages on a
#           shown window, offscreen) taking turns with the minimal blocking
#           client in the same process and with Python's poplib
#           (bench/python/poplib_peer.py), the same exchanges each, compared
#           run by run; then 10,000 messages from an in-process scripted
#           server and the share of that run spent filling the list and
#           judging spam
# checkrun-tls
#           against a private Dovecot holding 2,000 messages: the window's
#           check run over plain POP3, over TLS (the server's TLS port) and
#           over STARTTLS, taking turns (bench/checkrun_gui_bench:
#           BM_CheckMessagesOverTLS, three repetitions, one command at a
#           time and with "Fast check"), and the TLS run's rate in percent
#           of the plain run's (target: at least 90 %); then
#           the same from an in-process scripted server that does its own
#           TLS (BM_CheckMessagesScriptedOverTLS), where Dovecot's relay of
#           TLS through its login process is not in the way
# fastcheck against a private Dovecot: the check run one command at a time
#           and with "Fast check (pipelining)", beside the minimal blocking
#           client and Python's poplib, on 2,000 messages over loopback and
#           on 500 messages through a relay that adds 10 ms each way
#           (bench/fastcheck_gui_bench)
# decode    the content transfer decoders (bench/transfer_decode_bench: 64 MiB
#           each of Base64, quoted-printable and uuencode lines, line by line
#           into memory and into a file) taking turns with coreutils base64 -d
#           and Python's binascii on the same input, every output checked
#           (bench/python/transfer_decode_report.py)
# download  against a private Dovecot holding one message with a 100 MiB
#           random attachment in Base64 (about 143 MB on the wire,
#           scripts/gen-attachments.py --set big): "Download message" on a
#           shown window with the attachment then saved (bench/
#           download_gui_bench), taking turns with the minimal blocking client
#           reading the RETR reply, Python's poplib + email and a streaming
#           Python client with binascii (bench/python/download_peer.py);
#           three repetitions, seconds and peak memory growth of each
#
# SKIMLET_BENCH_PINNED=1 runs the Dovecot part with the server's processes
# on the last processor and the three clients on the first (taskset), so
# that no client shares a processor with the server: the figures then show
# what each client adds to the exchanges, apart from where the scheduler
# happens to place the two sides.
#
# Installs what the build and the private Dovecot need (scripts/setup.sh).
# Builds the dev preset's benchmark programs first. Benchmarks
# never run as tests.
set -euo pipefail
cd "$(dirname "$0")/.."
readonly ROOT=$PWD BUILD=$PWD/build/dev
what=${1:-all}
case $what in headers | checkrun | checkrun-tls | fastcheck | decode | download | all) ;; *) sed -n '2,59p' "$0" >&2; exit 2 ;; esac

build() {
  cmake --preset dev >/dev/null
  cmake --build --preset dev -j2 --target "$@"
}

work=$(mktemp -d "${TMPDIR:-/tmp}/skimlet-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Prints "name rate" for every benchmark of a Google Benchmark JSON file that
# has the counter $2.
rates() {
  python3 - "$1" "$2" <<'EOF'
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if sys.argv[2] in b and not b.get("error_occurred"):
        print(b["name"].split("/")[0], b[sys.argv[2]])
EOF
}

bench_headers() {
  build header_recv_bench
  local headers=$work/headers.txt
  python3 scripts/gen-mailbox.py --count 10000 --seed 1 --spam-every 10 --large-kb 1 \
    --headers-file "$headers" >/dev/null
  echo "== header reception: 10,000 headers (gen-mailbox.py --seed 1), three rounds taking turns"
  local round
  for round in 1 2 3; do
    "$BUILD/bench/header_recv_bench" --headers-file="$headers" \
      ${SKIMLET_HEADERS_BENCH_FILTER:+--benchmark_filter="$SKIMLET_HEADERS_BENCH_FILTER"} \
      --benchmark_out="$work/headers-$round.json" --benchmark_out_format=json >/dev/null
    rates "$work/headers-$round.json" "headers/s" >"$work/headers-$round.txt"
    python3 bench/python/header_parse_peer.py --headers-file "$headers" |
      sed 's/^python_headers_per_sec=/Python /' >>"$work/headers-$round.txt"
  done
  echo
  python3 - "$work"/headers-[123].txt <<'EOF'
import sys
runs = [dict((n, float(r)) for n, r in (l.split() for l in open(f))) for f in sys.argv[1:]]
def stats(values):
    v = sorted(values)
    return v[len(v) // 2], v[0], v[-1]
names = [("BM_ReceiveHeaderLines", "Skimlet, as written"),
         ("BM_ReceiveHeaderLinesAllCharsets", "Skimlet, all charsets to UTF-8"),
         ("Python", "Python email.parser (from memory)")]
print("%-36s %10s %10s %10s" % ("headers/s", "median", "min", "max"))
for key, label in names:
    if all(key in r for r in runs):
        print("%-36s %10.0f %10.0f %10.0f" % ((label,) + stats([r[key] for r in runs])))
print()
def ratio(a, b, target):
    if all(a in r and b in r for r in runs):
        label = a.replace("BM_ReceiveHeaderLines", "Skimlet") + " / " + b.replace("BM_ReceiveHeaderLines", "Skimlet")
        print("%-36s %9.2fx %9.2fx %9.2fx  (target %s)" % ((label,) + stats([r[a] / r[b] for r in runs]) + (target,)))
ratio("BM_ReceiveHeaderLinesAllCharsets", "BM_ReceiveHeaderLines", "at least 0.8x")
ratio("BM_ReceiveHeaderLinesAllCharsets", "Python", "10x")
ratio("BM_ReceiveHeaderLines", "Python", "10x")
EOF
}

bench_checkrun() {
  build checkrun_gui_bench
  echo "== check run: 2,000 messages on a private Dovecot"
  local pinned=${SKIMLET_BENCH_PINNED:-0}
  if [ "$pinned" = 1 ] && [ "$(nproc)" -lt 2 ]; then
    echo "bench: one processor only; SKIMLET_BENCH_PINNED is ignored" >&2
    pinned=0
  fi
  [ "$pinned" = 1 ] && echo "(server on processor $(($(nproc) - 1)), clients on processor 0)"
  scripts/dovecot-test-server.sh run --messages 2000 --spam 10 -- bash -c '
    set -e
    pin=()
    if [ "$2" = 1 ]; then
      # The server and every process it has started or will start (they
      # inherit the processor of the one that starts them).
      pin_tree() {
        taskset -a -p -c "$(($(nproc) - 1))" "$1" >/dev/null
        local child
        for child in $(cat /proc/"$1"/task/*/children 2>/dev/null); do pin_tree "$child"; done
      }
      master=$(cat "$SKIMLET_DOVECOT_DIR/run/master.pid")
      pin_tree "$master"
      pin=(taskset -c 0)
    fi
    QT_QPA_PLATFORM=offscreen "${pin[@]}" "$0/bench/checkrun_gui_bench" \
      --benchmark_filter=BM_CheckMessagesTakingTurns --benchmark_repetitions=3 \
      --benchmark_out="$1/checkrun.json" --benchmark_out_format=json
  ' "$BUILD" "$work" "$pinned"
  echo
  echo "== check run: 10,000 messages from an in-process scripted server"
  QT_QPA_PLATFORM=offscreen "$BUILD/bench/checkrun_gui_bench" --benchmark_filter=BM_CheckMessagesScripted \
    --benchmark_repetitions=3 --benchmark_out="$work/scripted.json" --benchmark_out_format=json
  echo
  python3 bench/python/checkrun_report.py "$work/checkrun.json" "$work/scripted.json"
}

bench_fastcheck() {
  build fastcheck_gui_bench
  echo "== fast check: 2,000 messages on loopback, 500 through a relay adding 10 ms each way"
  scripts/dovecot-test-server.sh run --messages 2000 --spam 10 -- bash -c '
    set -e
    python3 scripts/gen-mailbox.py --count 500 --seed 2 --spam-every 10 --maildir "$SKIMLET_DOVECOT_MAILDIR2" >/dev/null
    chmod -R a+rX "$SKIMLET_DOVECOT_MAILDIR2"
    QT_QPA_PLATFORM=offscreen "$0/bench/fastcheck_gui_bench" --benchmark_repetitions=3 \
      --benchmark_out="$1/fastcheck.json" --benchmark_out_format=json
  ' "$BUILD" "$work"
  echo
  python3 - "$work/fastcheck.json" <<'EOF2'
import json, statistics, sys
rows = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") != "iteration" or b.get("error_occurred"):
        continue
    rows.setdefault(b["name"].split("/")[0], []).append(b)
targets = {"BM_FastCheckLoopback": {"sequential": 4}, "BM_FastCheckRelay": {"sequential": 20, "python": 20}}
for name, runs in rows.items():
    print(name, "(%d repetitions: median, then lowest and highest)" % len(runs))
    for client in ("minimal", "sequential", "fast", "python"):
        key = client + "_messages/s"
        values = [r[key] for r in runs if key in r]
        if values:
            print("  %-12s %9.0f messages/s  (%.0f .. %.0f)" % (client, statistics.median(values), min(values), max(values)))
    for client in ("minimal", "sequential", "python"):
        key = "fast_vs_" + client + "_x"
        values = [r[key] for r in runs if key in r]
        if values:
            goal = targets.get(name, {}).get(client)
            print("  fast / %-10s %6.1fx  (%.1f .. %.1f)%s" % (client, statistics.median(values), min(values),
                  max(values), "  target %dx" % goal if goal else ""))
EOF2
}

bench_decode() {
  build transfer_decode_bench
  echo "== content transfer decoding: 64 MiB of encoded input per kind"
  "$BUILD/bench/transfer_decode_bench" --write-inputs="$work"
  python3 bench/python/transfer_decode_report.py "$BUILD/bench/transfer_decode_bench" "$work" --rounds 5
}

bench_checkrun_tls() {
  build checkrun_gui_bench
  echo "== check run over TLS beside plain POP3: 2,000 messages on a private Dovecot"
  scripts/dovecot-test-server.sh run --messages 2000 --spam 10 -- env QT_QPA_PLATFORM=offscreen \
    "$BUILD/bench/checkrun_gui_bench" --benchmark_filter=BM_CheckMessagesOverTLS --benchmark_repetitions=3 \
    --benchmark_out="$work/tls.json" --benchmark_out_format=json >/dev/null
  tls_report "$work/tls.json" plain_messages/s tls_messages/s starttls_messages/s tls_vs_plain_% \
    starttls_vs_plain_% plain_cpu_us/msg tls_cpu_us/msg
  echo
  echo "== the same over TLS beside plain from an in-process scripted server (10,000 messages)"
  QT_QPA_PLATFORM=offscreen "$BUILD/bench/checkrun_gui_bench" --benchmark_filter=BM_CheckMessagesScriptedOverTLS \
    --benchmark_repetitions=3 --benchmark_out="$work/scripted-tls.json" --benchmark_out_format=json >/dev/null
  tls_report "$work/scripted-tls.json" plain_messages/s tls_messages/s tls_vs_plain_%
}

# Median, lowest and highest over the repetitions of each named counter of
# a Google Benchmark JSON file, then the TLS runs' share of the plain rate.
tls_report() {
  python3 - "$@" <<'EOF'
import json, sys
groups = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "iteration":
        groups.setdefault(b["run_name"].split("/min_time")[0], []).append(b)
for name, runs in groups.items():
    print("%s, %d repetitions" % (name, len(runs)))
    print("%-22s %10s %10s %10s" % ("", "median", "lowest", "highest"))
    for k in sys.argv[2:]:
        v = sorted(r[k] for r in runs)
        print("%-22s %10.1f %10.1f %10.1f" % (k, v[len(v) // 2], v[0], v[-1]))
    ratio = sorted(r["tls_vs_plain_%"] for r in runs)[len(runs) // 2]
    print("TLS / plain: %.1f %% (target at least 90 %%)" % ratio)
EOF
}

bench_download() {
  build download_gui_bench
  echo "== download: one message with a 100 MiB attachment (about 143 MB on the wire) on a private Dovecot"
  scripts/dovecot-test-server.sh run --messages 0 -- bash -c '
    set -e
    python3 scripts/gen-attachments.py --set big --maildir "$SKIMLET_DOVECOT_MAILDIR2" --manifest "$1/big.json" >/dev/null
    chmod -R a+rX "$SKIMLET_DOVECOT_MAILDIR2"
    SKIMLET_BENCH_MANIFEST="$1/big.json" QT_QPA_PLATFORM=offscreen "$0/bench/download_gui_bench" \
      --benchmark_repetitions=3 --benchmark_out="$1/download.json" --benchmark_out_format=json >/dev/null
  ' "$BUILD" "$work"
  python3 bench/python/download_report.py "$work/download.json"
}

bash scripts/setup.sh test
case $what in
  headers) bench_headers ;;
  checkrun) bench_checkrun ;;
  checkrun-tls) bench_checkrun_tls ;;
  fastcheck) bench_fastcheck ;;
  decode) bench_decode ;;
  download) bench_download ;;
  all) bench_headers; echo; bench_checkrun; echo; bench_checkrun_tls; echo; bench_fastcheck; echo; bench_decode; echo
       bench_download ;;
esac
