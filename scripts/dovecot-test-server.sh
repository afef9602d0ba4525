#!/usr/bin/env bash
# Runs a private Dovecot POP3 server for the tests, on 127.0.0.1 only.
#
#   dovecot-test-server.sh run [OPTIONS] [--] COMMAND [ARGS...]
#       Starts a server, runs COMMAND with the variables below in its
#       environment, stops the server, removes its folder and exits with
#       COMMAND's status.
#   dovecot-test-server.sh start [OPTIONS]
#       Starts a server and prints the variables as shell assignments
#       (eval "$(dovecot-test-server.sh start)").
#   dovecot-test-server.sh stop DIR
#       Stops the server whose folder is DIR and removes the folder.
#
# Options:
#   --messages N   generate N messages for the first user (default 5, or
#                  $SKIMLET_DOVECOT_MESSAGES); 0 leaves the Maildir empty
#   --spam K       make every K-th generated message spam-like (default 0)
#   --seed S       generator seed (default 1)
#   --add PATH     copy PATH (a message file, or every file of a folder in
#                  name order) into the first user's Maildir/new after the
#                  generated ones; may be repeated
#
# Variables given to COMMAND (and printed by start):
#   SKIMLET_DOVECOT_HOST      127.0.0.1
#   SKIMLET_DOVECOT_PORT      the POP3 port
#   SKIMLET_DOVECOT_DIR       the server's temporary folder
#   SKIMLET_DOVECOT_USER, SKIMLET_DOVECOT_PASSWORD, SKIMLET_DOVECOT_MAILDIR
#   SKIMLET_DOVECOT_USER2, SKIMLET_DOVECOT_PASSWORD2, SKIMLET_DOVECOT_MAILDIR2
#   SKIMLET_DOVECOT_MANIFEST  the generated messages' expected fields, one
#                             line each (gen-mailbox.py --manifest); empty
#                             file when nothing was generated
#   SKIMLET_DOVECOT_LOG       the server's log (one "Disconnected" line per
#                             ended session)
#   SKIMLET_DOVECOT_TLS_PORT  the same server with TLS from the first byte
#                             (the plain port offers STLS as well)
#   SKIMLET_DOVECOT_CA_FILE   the test authority that signed its certificate
#                             (issued for localhost and 127.0.0.1)
#   SKIMLET_DOVECOT_EXPIRED_PORT, SKIMLET_DOVECOT_OTHER_NAME_PORT,
#   SKIMLET_DOVECOT_SELF_SIGNED_PORT
#                             TLS ports of small servers of their own whose
#                             certificates are faulty: expired, issued for
#                             mail.example.invalid, self-signed
#   SKIMLET_DOVECOT_TLS_DIR   the certificates and keys (made with openssl)
# Messages written into a Maildir's new/ folder before a login are seen by
# that login, numbered in file name order. Run as root, the server works as
# user nobody: such files must be readable by others (mode 0644, not 0600). LIST and STAT count CR LF line
# ends; a last line without a line end is counted 2 bytes short of what RETR
# delivers. The greeting carries an APOP timestamp. A refused login is
# answered after up to 0.5 s (Dovecot flushes auth failures on a timer);
# there is no growing penalty.
#
# SKIMLET_DOVECOT_BIN names another dovecot program (a missing one shows
# the skip path).
#
# Exit status: COMMAND's status for run; 0 for start and stop; 77 when
# Dovecot cannot be started here (not installed, no permission), which ctest
# counts as skipped; with CI=true that case is a failure (1) instead.
#
# The script never touches the system's own Dovecot service and never
# signals a process it did not start.
set -euo pipefail

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly SCRIPT_DIR
readonly DOVECOT_BIN="${SKIMLET_DOVECOT_BIN:-$(command -v dovecot || echo /usr/sbin/dovecot)}"
readonly USER1=alice PASS1='wonder-land.1'
readonly USER2=bob PASS2='Build3r%2'

opt_messages="${SKIMLET_DOVECOT_MESSAGES:-5}"
opt_spam=0
opt_seed=1
opt_add=()
dir=""

die() { echo "dovecot-test-server: $*" >&2; exit 1; }

# Dovecot is unavailable here: a skip for local runs, a failure in CI.
cannot_start() {
  echo "dovecot-test-server: cannot start Dovecot: $*" >&2
  if [ -n "${dir:-}" ]; then rm -rf "$dir"; fi
  if [ "${CI:-}" = "true" ]; then exit 1; fi
  exit 77
}

# The state letter of a process from /proc (empty when it is gone). A
# stopped master can stay behind as a zombie in containers, where nothing
# reaps it, so "kill -0" would wrongly report it alive.
proc_state() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  stat=${stat##*) }
  echo "${stat%% *}"
}

proc_alive() {
  local s
  s=$(proc_state "$1")
  [ -n "$s" ] && [ "$s" != Z ] && [ "$s" != X ]
}

# A free TCP port on 127.0.0.1 from the kernel's ephemeral range.
free_port() {
  python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()'
}

# Succeeds when $1 and every folder above it are searchable by user $2, as
# the server's processes need to reach the folder.
traversable() {
  local d=$1 user=$2
  while :; do
    as_user "$user" test -x "$d" || return 1
    [ "$d" = / ] && return 0
    d=$(dirname "$d")
  done
}

# Runs a command as $1: directly when that is us, else through runuser.
as_user() {
  local user=$1
  shift
  if [ "$user" = "$(id -un)" ]; then "$@"; else runuser -u "$user" -- "$@" 2>/dev/null; fi
}

check_installed() {
  [ -x "$DOVECOT_BIN" ] || cannot_start "dovecot not found (install dovecot-core dovecot-pop3d)"
  [ -x /usr/lib/dovecot/pop3 ] || [ -n "${SKIMLET_DOVECOT_BIN:-}" ] ||
    cannot_start "the POP3 server is missing (install dovecot-pop3d)"
  command -v python3 >/dev/null || cannot_start "python3 is needed to fill the mailbox"
  command -v openssl >/dev/null || cannot_start "the openssl program is needed for the certificates"
}

# Chooses the accounts Dovecot's processes run as. Dovecot refuses to touch
# mail as uid 0, so as root everything runs as nobody; otherwise as the
# calling user, which cannot change identity anyway.
choose_run_user() {
  if [ "$(id -u)" -eq 0 ]; then
    id nobody >/dev/null 2>&1 || cannot_start "there is no user 'nobody' to run Dovecot as"
    run_user=nobody
    run_group=$(id -gn nobody)
  else
    run_user=$(id -un)
    run_group=$(id -gn)
  fi
}

make_folder() {
  local base="${TMPDIR:-/tmp}"
  # Socket paths inside the folder must stay short, and the server's user
  # must be able to reach it.
  if [ ${#base} -gt 40 ] || ! traversable "$base" "$run_user"; then base=/tmp; fi
  traversable "$base" "$run_user" || cannot_start "folder $base is not searchable by user $run_user"
  dir=$(mktemp -d "$base/skdv.XXXXXX") || cannot_start "cannot create a folder in $base"
  chmod 0711 "$dir"
  mkdir -p "$dir/run" "$dir/state"
  local u
  for u in "$USER1" "$USER2"; do
    mkdir -p "$dir/home/$u/Maildir/new" "$dir/home/$u/Maildir/cur" "$dir/home/$u/Maildir/tmp"
  done
  if [ "$(id -u)" -eq 0 ]; then
    chown -R "$run_user:$run_group" "$dir/home" "$dir/state"
  fi
  printf '%s:{PLAIN}%s\n%s:{PLAIN}%s\n' "$USER1" "$PASS1" "$USER2" "$PASS2" >"$dir/passwd"
  chmod 0644 "$dir/passwd"
}

# The server's configuration in folder $1 (the main one, or a folder of a
# small TLS-only server inside it): plain port $2 (0 for none), TLS port $3
# and certificate $4 of $dir/tls.
write_config() {
  local d=$1 port=$2 tls_port=$3 cert=$4
  cat >"$d/dovecot.conf" <<EOF
# Private test server; everything lives in this folder.
instance_name = skimlet-$(basename "$dir")$([ "$d" = "$dir" ] || echo "-$(basename "$d")")
base_dir = $d/run
state_dir = $d/state
log_path = $d/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = yes
ssl_min_protocol = TLSv1.2
ssl_cert = <$dir/tls/$cert.pem
ssl_key = <$dir/tls/$cert.key
disable_plaintext_auth = no
auth_mechanisms = plain login apop
auth_failure_delay = 0
login_greeting = Skimlet test server ready.
default_login_user = $run_user
default_internal_user = $run_user
default_internal_group = $run_group
first_valid_uid = 1
first_valid_gid = 1
mail_location = maildir:~/Maildir
mail_max_userip_connections = 1000
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/passwd
}
userdb {
  driver = static
  args = uid=$run_user gid=$run_group home=$dir/home/%u
}
service pop3-login {
  chroot =
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = $tls_port
    ssl = yes
  }
}
service anvil {
  chroot =
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service auth-worker {
  user = $run_user
}
EOF
}

# The test authority and the servers' certificates, in $dir/tls: "valid"
# (for localhost and 127.0.0.1, signed by the authority), "expired",
# "othername" (for mail.example.invalid only) and "selfsigned".
make_certificates() {
  local t=$dir/tls
  mkdir -p "$t"
  (
    cd "$t"
    key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null; }
    request() { key "$1" && openssl req -new -key "$1.key" -subj "/CN=$2" -out "$1.csr" 2>/dev/null; }
    key ca
    openssl req -x509 -new -key ca.key -subj "/CN=Skimlet Test Authority" -days 3650 -out ca.pem 2>/dev/null
    printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' >local.ext
    printf 'subjectAltName=DNS:mail.example.invalid\n' >other.ext
    request valid localhost
    openssl x509 -req -in valid.csr -CA ca.pem -CAkey ca.key -set_serial 1 -days 3650 -extfile local.ext \
      -out valid.pem 2>/dev/null
    request othername mail.example.invalid
    openssl x509 -req -in othername.csr -CA ca.pem -CAkey ca.key -set_serial 2 -days 3650 -extfile other.ext \
      -out othername.pem 2>/dev/null
    key selfsigned
    openssl req -x509 -new -key selfsigned.key -subj "/CN=localhost" -days 3650 \
      -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" -out selfsigned.pem 2>/dev/null
    # A validity that ended long ago takes the authority's own tool.
    request expired localhost
    printf '[ca]\ndefault_ca = test\n[test]\ndatabase = index.txt\nnew_certs_dir = .\nserial = serial\n' >ca.cnf
    printf 'default_md = sha256\npolicy = any\nunique_subject = no\n[any]\ncommonName = supplied\n' >>ca.cnf
    : >index.txt
    echo 03 >serial
    openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -in expired.csr -out expired.pem \
      -startdate 20200101000000Z -enddate 20210101000000Z -extfile local.ext >/dev/null 2>&1
  ) || cannot_start "openssl could not make the test certificates"
  for f in valid othername selfsigned expired; do
    [ -s "$t/$f.pem" ] || cannot_start "openssl could not make the certificate $f"
  done
  chmod 0644 "$t"/*
}

# Fills the first user's Maildir: generated messages, then the given files.
fill_mailbox() {
  local new="$dir/home/$USER1/Maildir/new" path f
  if [ "$opt_messages" -gt 0 ]; then
    python3 "$SCRIPT_DIR/gen-mailbox.py" --count "$opt_messages" --seed "$opt_seed" \
      --spam-every "$opt_spam" --maildir "$dir/home/$USER1/Maildir" \
      --manifest "$dir/manifest.tsv" >/dev/null
  fi
  touch "$dir/manifest.tsv"
  local n=$opt_messages
  for path in "${opt_add[@]+"${opt_add[@]}"}"; do
    if [ -d "$path" ]; then
      while IFS= read -r f; do
        n=$((n + 1))
        cp "$f" "$new/$(printf '%07d' "$n").added"
      done < <(find "$path" -maxdepth 1 -type f | LC_ALL=C sort)
    else
      n=$((n + 1))
      cp "$path" "$new/$(printf '%07d' "$n").added"
    fi
  done
  if [ "$(id -u)" -eq 0 ]; then chown -R "$run_user:$run_group" "$dir/home"; fi
}

# Succeeds once the server answers a connection with its "+OK" greeting.
greeting_ready() {
  local port=$1 line=""
  # The group keeps the stderr redirection from outliving the exec.
  { exec 3<>"/dev/tcp/127.0.0.1/$port"; } 2>/dev/null || return 1
  read -r -t 2 line <&3 || true
  printf 'QUIT\r\n' >&3 2>/dev/null || true
  exec 3>&- 3<&-
  [[ "$line" == "+OK"* ]]
}

# The master's pid, but only when it is the process started with our config.
master_pid() {
  local d=$1 pid
  pid=$(cat "$d/run/master.pid" 2>/dev/null) || return 1
  [[ "$pid" =~ ^[0-9]+$ ]] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$d/dovecot.conf" || return 1
  echo "$pid"
}

# Succeeds once something accepts connections on the port.
port_open() {
  { exec 3<>"/dev/tcp/127.0.0.1/$1"; } 2>/dev/null || return 1
  exec 3>&- 3<&-
}

try_start() {
  local port=$1 tls_port=$2 i
  write_config "$dir" "$port" "$tls_port" valid
  "$DOVECOT_BIN" -c "$dir/dovecot.conf" >"$dir/start.out" 2>&1 || return 1
  for i in $(seq 1 100); do
    if greeting_ready "$port" && port_open "$tls_port"; then return 0; fi
    master_pid "$dir" >/dev/null || [ "$i" -lt 10 ] || return 1
    sleep 0.05
  done
  return 1
}

# A small server of its own in $dir/$1 serving only TLS with certificate
# $1; prints its port.
start_tls_server() {
  local name=$1 d=$dir/$1 p i
  mkdir -p "$d/run" "$d/state"
  if [ "$(id -u)" -eq 0 ]; then chown "$run_user:$run_group" "$d/state"; fi
  for _ in 1 2 3; do
    p=$(free_port)
    write_config "$d" 0 "$p" "$name"
    if "$DOVECOT_BIN" -c "$d/dovecot.conf" >"$d/start.out" 2>&1; then
      for i in $(seq 1 100); do
        if port_open "$p"; then echo "$p"; return 0; fi
        sleep 0.05
      done
    fi
    stop_master "$d"
  done
  return 1
}

start_server() {
  check_installed
  choose_run_user
  make_folder
  fill_mailbox
  make_certificates
  # A port found free can be taken before the server binds it: try again.
  for _ in 1 2 3; do
    port=$(free_port)
    tls_port=$(free_port)
    if try_start "$port" "$tls_port"; then
      # The three start side by side: each master takes a while.
      local name
      for name in expired othername selfsigned; do
        start_tls_server "$name" >"$dir/$name.port" &
      done
      wait
      expired_port=$(cat "$dir/expired.port") other_name_port=$(cat "$dir/othername.port")
      self_signed_port=$(cat "$dir/selfsigned.port")
      if [ -n "$expired_port" ] && [ -n "$other_name_port" ] && [ -n "$self_signed_port" ]; then return 0; fi
      stop_server "$dir"
      cannot_start "a TLS server with a faulty certificate did not start"
    fi
    stop_server "$dir" keep
  done
  local why
  why=$(cat "$dir/start.out" 2>/dev/null; tail -n 5 "$dir/dovecot.log" 2>/dev/null || true)
  rm -rf "$dir"
  cannot_start "no greeting from the server: ${why:-no output}"
}

# Stops the master started for folder $1 (only that process) and removes the
# folder unless $2 is "keep". The master ends its own children.
stop_server() {
  local d=$1 sub pids=() pid i
  for sub in "$d"/expired "$d"/othername "$d"/selfsigned "$d"; do
    if pid=$(master_pid "$sub"); then pids+=("$pid"); fi
  done
  # Every master is told at once and then waited for: each takes a while.
  for pid in "${pids[@]+"${pids[@]}"}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]+"${pids[@]}"}"; do
    for i in $(seq 1 100); do
      proc_alive "$pid" || break
      sleep 0.05
    done
    if proc_alive "$pid"; then kill -KILL "$pid" 2>/dev/null || true; fi
  done
  if [ "${2:-}" != keep ]; then rm -rf "$d"; fi
}

stop_master() { stop_server "$1" keep; }

print_env() {
  cat <<EOF
SKIMLET_DOVECOT_HOST=127.0.0.1
SKIMLET_DOVECOT_PORT=$port
SKIMLET_DOVECOT_DIR=$dir
SKIMLET_DOVECOT_USER=$USER1
SKIMLET_DOVECOT_PASSWORD='$PASS1'
SKIMLET_DOVECOT_MAILDIR=$dir/home/$USER1/Maildir
SKIMLET_DOVECOT_USER2=$USER2
SKIMLET_DOVECOT_PASSWORD2='$PASS2'
SKIMLET_DOVECOT_MAILDIR2=$dir/home/$USER2/Maildir
SKIMLET_DOVECOT_MANIFEST=$dir/manifest.tsv
SKIMLET_DOVECOT_LOG=$dir/dovecot.log
SKIMLET_DOVECOT_TLS_PORT=$tls_port
SKIMLET_DOVECOT_CA_FILE=$dir/tls/ca.pem
SKIMLET_DOVECOT_EXPIRED_PORT=$expired_port
SKIMLET_DOVECOT_OTHER_NAME_PORT=$other_name_port
SKIMLET_DOVECOT_SELF_SIGNED_PORT=$self_signed_port
SKIMLET_DOVECOT_TLS_DIR=$dir/tls
export SKIMLET_DOVECOT_TLS_PORT SKIMLET_DOVECOT_CA_FILE SKIMLET_DOVECOT_EXPIRED_PORT SKIMLET_DOVECOT_OTHER_NAME_PORT SKIMLET_DOVECOT_SELF_SIGNED_PORT SKIMLET_DOVECOT_TLS_DIR
export SKIMLET_DOVECOT_HOST SKIMLET_DOVECOT_PORT SKIMLET_DOVECOT_DIR SKIMLET_DOVECOT_USER SKIMLET_DOVECOT_PASSWORD SKIMLET_DOVECOT_MAILDIR SKIMLET_DOVECOT_USER2 SKIMLET_DOVECOT_PASSWORD2 SKIMLET_DOVECOT_MAILDIR2 SKIMLET_DOVECOT_MANIFEST SKIMLET_DOVECOT_LOG
EOF
}

export_env() {
  export SKIMLET_DOVECOT_HOST=127.0.0.1 SKIMLET_DOVECOT_PORT="$port" SKIMLET_DOVECOT_DIR="$dir"
  export SKIMLET_DOVECOT_USER="$USER1" SKIMLET_DOVECOT_PASSWORD="$PASS1"
  export SKIMLET_DOVECOT_MAILDIR="$dir/home/$USER1/Maildir"
  export SKIMLET_DOVECOT_USER2="$USER2" SKIMLET_DOVECOT_PASSWORD2="$PASS2"
  export SKIMLET_DOVECOT_MAILDIR2="$dir/home/$USER2/Maildir"
  export SKIMLET_DOVECOT_MANIFEST="$dir/manifest.tsv" SKIMLET_DOVECOT_LOG="$dir/dovecot.log"
  export SKIMLET_DOVECOT_TLS_PORT="$tls_port" SKIMLET_DOVECOT_CA_FILE="$dir/tls/ca.pem"
  export SKIMLET_DOVECOT_EXPIRED_PORT="$expired_port" SKIMLET_DOVECOT_OTHER_NAME_PORT="$other_name_port"
  export SKIMLET_DOVECOT_SELF_SIGNED_PORT="$self_signed_port" SKIMLET_DOVECOT_TLS_DIR="$dir/tls"
}

parse_options() {
  while [ $# -gt 0 ]; do
    case $1 in
      --messages) opt_messages=${2:?}; shift 2 ;;
      --spam) opt_spam=${2:?}; shift 2 ;;
      --seed) opt_seed=${2:?}; shift 2 ;;
      --add) [ -e "${2:?}" ] || die "no such file: $2"; opt_add+=("$(realpath "$2")"); shift 2 ;;
      --) shift; break ;;
      -*) die "unknown option $1" ;;
      *) break ;;
    esac
  done
  [[ "$opt_messages" =~ ^[0-9]+$ ]] || die "--messages needs a number"
  rest=("$@")
}

cmd_run() {
  parse_options "$@"
  [ ${#rest[@]} -gt 0 ] || die "run needs a command"
  start_server
  trap 'stop_server "$dir"' EXIT
  export_env
  # The command runs in the background so that a signal to this script is
  # handled at once (passed on, then the server stopped) rather than after
  # the command ends; "<&0" keeps its standard input.
  "${rest[@]}" <&0 &
  child=$!
  trap 'kill -INT "$child" 2>/dev/null; exit 130' INT
  trap 'kill -TERM "$child" 2>/dev/null; exit 143' TERM
  local status=0
  wait "$child" || status=$?
  exit "$status"
}

main() {
  local sub=${1:-}
  [ $# -gt 0 ] && shift
  case $sub in
    run) cmd_run "$@" ;;
    start) parse_options "$@"; start_server; print_env ;;
    stop)
      if [ -z "${1:-}" ] || [ ! -f "$1/dovecot.conf" ]; then die "stop needs the server folder"; fi
      stop_server "$(realpath "$1")" ;;
    *) sed -n '2,60p' "$0" >&2; exit 2 ;;
  esac
}

main "$@"
