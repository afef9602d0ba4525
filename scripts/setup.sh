#!/usr/bin/env bash
# Installs the Debian packages Skimlet needs, for one purpose:
#
#   setup.sh run       building and running the program (scripts/run.sh)
#   setup.sh demo      that, and the private POP3 server of the demo
#                      (scripts/demo.sh)
#   setup.sh package   that of run, and the tools that pack the Debian
#                      package (scripts/package.sh)
#   setup.sh test      all of the above, and the test suite's, benchmarks'
#                      and fuzzers' packages (scripts/test.sh; the default)
#
# Idempotent: packages already present are not touched, and nothing is done
# when all are there. Runs apt-get as root, or through sudo for another user;
# never reads standard input. Where it installs Dovecot (the tests run a
# private one), the system's own Dovecot service is neither started during
# the install nor left enabled afterwards; a Dovecot that was there before
# is left as it was.
set -euo pipefail

run_packages=(
  g++
  cmake
  ninja-build
  qt6-base-dev
  libgl-dev
  fonts-dejavu-core
  libssl-dev
)

# The private POP3 server, the script that fills its mailbox, and the
# openssl program that makes its test certificates.
server_packages=(
  dovecot-core
  dovecot-pop3d
  python3
  openssl
)

# cpack's Debian generator: dpkg-shlibdeps, and file to find the binaries.
package_packages=(
  dpkg-dev
  file
)

test_packages=(
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  pkg-config
  clang
  libclang-rt-14-dev
  xvfb
  desktop-file-utils
  appstream
)

mode=${1:-test}
case $mode in
  run) wanted=("${run_packages[@]}") ;;
  demo) wanted=("${run_packages[@]}" "${server_packages[@]}") ;;
  package) wanted=("${run_packages[@]}" "${package_packages[@]}") ;;
  test) wanted=("${run_packages[@]}" "${server_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
  *) sed -n '2,17p' "$0" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -- bash "$0" "$mode" </dev/null
fi

readonly POLICY=/usr/sbin/policy-rc.d SAVED_POLICY=/usr/sbin/policy-rc.d.skimlet-saved

# Debian starts a service's daemon when its package is installed; a policy
# that answers "not allowed" (101) holds every start back meanwhile. A
# policy that was there is set aside and put back afterwards.
hold_service_starts() {
  if [ -e "$POLICY" ] || [ -L "$POLICY" ]; then mv "$POLICY" "$SAVED_POLICY"; fi
  trap restore_policy EXIT
  printf '#!/bin/sh\n# Held by Skimlet'"'"'s setup.sh while it installs packages.\nexit 101\n' >"$POLICY"
  chmod 0755 "$POLICY"
}

restore_policy() {
  rm -f "$POLICY"
  if [ -e "$SAVED_POLICY" ] || [ -L "$SAVED_POLICY" ]; then mv "$SAVED_POLICY" "$POLICY"; fi
}

# The package enables the system's Dovecot for the next boot: undone, and
# stopped too where systemd runs, should anything have started it.
disable_system_dovecot() {
  if command -v systemctl >/dev/null; then
    if [ -d /run/systemd/system ]; then
      systemctl disable --now --quiet dovecot.service dovecot.socket || failed=yes
    else
      systemctl disable --quiet dovecot.service dovecot.socket || failed=yes
    fi
  fi
  if [ -x /etc/init.d/dovecot ] && command -v update-rc.d >/dev/null; then
    update-rc.d dovecot disable >/dev/null 2>&1 || failed=yes
  fi
  if [ "${failed:-no}" = yes ]; then
    echo "setup: the system's Dovecot service may still be enabled (systemctl disable dovecot)" >&2
  fi
}

new_dovecot=no
if printf '%s\n' "${missing[@]}" | grep -qx dovecot-core; then new_dovecot=yes; fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q </dev/null
hold_service_starts
apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
if [ "$new_dovecot" = yes ]; then disable_system_dovecot; fi
