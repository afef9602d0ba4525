#!/usr/bin/env bash
# Installs the Debian packages Skimlet needs to build, run and test.
# Idempotent: packages already present are not touched. Runs apt-get as root,
# or through sudo for another user.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  dovecot-core dovecot-pop3d
  python3 xvfb
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi

echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${missing[@]}"
# Debian starts the system's own Dovecot on install; the tests run a private
# one and never use that service.
