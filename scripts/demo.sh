#!/usr/bin/env bash
# A first look at Skimlet without a mail account of your own: starts a
# private POP3 server on 127.0.0.1 holding a sample mailbox (a few of its
# messages look like spam, two more carry attachments, a harmless shell
# script among them), prepares a scratch copy of the program with an
# account for that mailbox, and starts Skimlet from there. When Skimlet
# exits, the server is stopped and the scratch folder removed.
#
#   scripts/demo.sh [--build DIR] [--messages N] [--keep] [--no-run]
#
#   --build DIR    where the built program lies (default build/dev)
#   --messages N   generated messages in the sample mailbox (default 15;
#                  every third one spam-like); the two messages with
#                  attachments (scripts/gen-attachments.py --set demo)
#                  follow them
#   --keep         leave the scratch folder in place afterwards
#   --no-run       prepare everything, print where it is and leave the server
#                  running instead of starting Skimlet
#
# The scratch folder holds the program, its help files, accounts.dat (two
# accounts: the sample mailbox and an empty one) and filters.dat (spam words
# that see through the sample's disguised spellings, "V-I-A-G-R-A",
# "c@sino"); Skimlet's settings file goes to the scratch folder too
# (XDG_CONFIG_HOME) and switches the general rules on (empty subject, more
# than 20 recipients, more than 200 kB), so your own settings stay
# untouched. A check run of the sample account ticks and marks its five
# spam-like messages: two caught by words, one each by the three rules.
# "Download message" on the last one shows its attachment, cleanup.sh, as a
# line with a link: nothing in it is run, and a click saves it where you
# choose.
#
# Installs what it needs first (scripts/setup.sh demo: the build's packages
# and Dovecot, whose system service is neither started nor enabled), and
# builds the program when it is not built yet.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly REPO
readonly SERVER="$REPO/scripts/dovecot-test-server.sh"

build_dir="$REPO/build/dev"
messages=15
keep=no
run=yes

while [ $# -gt 0 ]; do
  case $1 in
    --build) build_dir=$(realpath "${2:?}"); shift 2 ;;
    --messages) messages=${2:?}; shift 2 ;;
    --keep) keep=yes; shift ;;
    --no-run) run=no; shift ;;
    *) sed -n '2,34p' "$0" >&2; exit 2 ;;
  esac
done

# Writes accounts.dat: five lines per account (name, host, user name,
# password, port), each field scrambled as the program expects and every
# line ended by CR LF. Scrambled form: "." and then, for every byte, the
# byte rotated right by 3 bits as three decimal digits, a random capital
# A-T, a random small letter a-r and a random digit 0-8.
write_accounts() {
  python3 - "$@" <<'PYEOF'
import random
import sys

def scramble_text(data: bytes, rng: random.Random) -> bytes:
    out = bytearray(b".")
    for b in data:
        rotated = ((b >> 3) | (b << 5)) & 0xFF
        out += b"%03d%c%c%d" % (rotated, 65 + rng.randrange(20),
                                97 + rng.randrange(18), rng.randrange(9))
    return bytes(out)

path, fields = sys.argv[1], sys.argv[2:]
assert len(fields) % 5 == 0, "five fields per account"
rng = random.Random()
with open(path, "wb") as f:
    for field in fields:
        f.write(scramble_text(field.encode("latin-1"), rng) + b"\r\n")
PYEOF
}

start_server() {
  local env status=0 attachments
  attachments=$(mktemp -d "${TMPDIR:-/tmp}/skimlet-demo-mail.XXXXXX")
  python3 "$REPO/scripts/gen-attachments.py" --set demo --maildir "$attachments" >/dev/null
  env=$("$SERVER" start --messages "$messages" --spam 3 --add "$attachments/new") || status=$?
  rm -rf "$attachments"
  if [ "$status" -ne 0 ]; then
    echo "demo: the sample POP3 server could not be started (status $status)" >&2
    exit "$status"
  fi
  eval "$env"
}

make_scratch() {
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/skimlet-demo.XXXXXX")
  mkdir -p "$scratch/config"
  if [ -x "$build_dir/skimlet" ]; then
    cp "$build_dir/skimlet" "$scratch/"
  fi
  local f
  for f in "$REPO"/help/*; do
    [ -e "$f" ] || continue
    cp "$build_dir/$(basename "$f")" "$scratch/" 2>/dev/null || cp "$f" "$scratch/"
  done
  # Spam words, one rule a line: "Subject: " or "Address: ", "%" for
  # "contains", then the word as the user would type it.
  printf '%s\r\n' "Subject: %viagra" "Subject: %casino" "Subject: %rol3x" "Subject: %free m0ney" \
    "Address: %viagra" "Address: %casino" "Address: %rol3x" >"$scratch/filters.dat"
  printf '[FILTER]\nSUBJECT_EMPTY=1\nRECIPIENTS=20\nMAIL_MAXLEN=200\n' >"$scratch/config/tolvanes.ini"
  write_accounts "$scratch/accounts.dat" \
    "$SKIMLET_DOVECOT_USER@demo.example" 127.0.0.1 "$SKIMLET_DOVECOT_USER" \
    "$SKIMLET_DOVECOT_PASSWORD" "$SKIMLET_DOVECOT_PORT" \
    "$SKIMLET_DOVECOT_USER2@demo.example" 127.0.0.1 "$SKIMLET_DOVECOT_USER2" \
    "$SKIMLET_DOVECOT_PASSWORD2" "$SKIMLET_DOVECOT_PORT"
}

cleanup() {
  "$SERVER" stop "$SKIMLET_DOVECOT_DIR" || true
  if [ "$keep" = no ] && [ -n "${scratch:-}" ]; then rm -rf "$scratch"; fi
}

main() {
  bash "$REPO/scripts/setup.sh" demo
  if [ ! -x "$build_dir/skimlet" ] && [ "$build_dir" = "$REPO/build/dev" ]; then
    bash "$REPO/scripts/build.sh" program
  fi
  start_server
  if [ "$run" = no ]; then
    make_scratch
    echo "Sample server: 127.0.0.1:$SKIMLET_DOVECOT_PORT, mailbox $SKIMLET_DOVECOT_MAILDIR"
    echo "Program folder: $scratch"
    echo "Server folder: $SKIMLET_DOVECOT_DIR"
    echo "Start Skimlet with: cd $scratch && XDG_CONFIG_HOME=$scratch/config ./skimlet"
    echo "Stop with: $SERVER stop $SKIMLET_DOVECOT_DIR; rm -rf $scratch"
    return 0
  fi
  trap cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  make_scratch
  if [ ! -x "$scratch/skimlet" ]; then
    echo "demo: $build_dir/skimlet not found; build it first (cmake --preset dev && cmake --build --preset dev)" >&2
    exit 1
  fi
  echo "Skimlet demo: select the account $SKIMLET_DOVECOT_USER@demo.example and choose Check Messages;"
  echo "then select the last message and choose Download message."
  (cd "$scratch" && XDG_CONFIG_HOME="$scratch/config" ./skimlet)
}

main
