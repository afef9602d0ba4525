#!/usr/bin/env bash
# Packs the build as a Debian package, unpacks it into a scratch root, checks
# its files and control data, then starts the unpacked program offscreen with
# a scratch config folder holding an accounts.dat: it must run until told to
# end, end cleanly, and leave the file as it was.
#   package_test.sh CPACK_CONFIG EXPECTED_VERSION
set -euo pipefail
config=$1 version=$2
fail() { echo "package_test: $*" >&2; exit 1; }

for tool in cpack dpkg-deb dpkg-shlibdeps file desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "package_test: $tool is missing (bash scripts/setup.sh test)" >&2
    [ "${CI:-}" = true ] && exit 1
    exit 77
  fi
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/skimlet-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cpack --config "$config" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb=$(find "$scratch/out" -maxdepth 1 -name 'skimlet_*.deb')
[ "$(basename "$deb")" = "skimlet_${version}_$(dpkg --print-architecture).deb" ] || fail "package file: $deb"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
app=usr/share/applications/org.example.Skimlet.desktop
meta=usr/share/metainfo/org.example.Skimlet.metainfo.xml
expected=$(printf '%s\n' usr/bin/skimlet usr/share/skimlet/TOLVANE.html "$app" "$meta" \
  usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/skimlet.png | sort)
files=$(cd "$root" && find . ! -type d | sed 's|^\./||' | sort)
[ "$files" = "$expected" ] || fail "files differ from the expected list:$(diff <(echo "$expected") <(echo "$files"))"

for field in Package=skimlet Version="$version" Section=mail; do
  [ "$(dpkg-deb -f "$deb" "${field%%=*}")" = "${field#*=}" ] || fail "control field ${field%%=*}"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
  [[ ", $depends," == *", $lib ("* ]] || fail "Depends lacks a versioned $lib: $depends"
done
desktop-file-validate "$root/$app" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/$meta" >"$scratch/appstream.log" 2>&1 ||
  { cat "$scratch/appstream.log"; fail "appstreamcli validate"; }

# One account, its fields in plain text, as a hand-made file may hold them.
mkdir -p "$scratch/config/skimlet" "$scratch/home"
printf 'Sample\r\n127.0.0.1\r\nsample\r\nsecret\r\n110\r\n' >"$scratch/config/skimlet/accounts.dat"
cp "$scratch/config/skimlet/accounts.dat" "$scratch/accounts.before"
# SIGTERM after 2 s; the program's own status is kept (a KILL 10 s later).
start=$SECONDS status=0
XDG_CONFIG_HOME=$scratch/config HOME=$scratch/home QT_QPA_PLATFORM=offscreen timeout --preserve-status \
  -k 10 -s TERM 2 "$root/usr/bin/skimlet" </dev/null >"$scratch/out.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || { cat "$scratch/out.log"; fail "the program ended with status $status"; }
[ $((SECONDS - start)) -ge 2 ] || { cat "$scratch/out.log"; fail "the program ended before it was told to"; }
cmp -s "$scratch/accounts.before" "$scratch/config/skimlet/accounts.dat" || fail "accounts.dat changed"
[ -f "$scratch/config/tolvanes.ini" ] || fail "no settings written on closing"
[ "$(cd "$root" && find . ! -type d | sed 's|^\./||' | sort)" = "$expected" ] || fail "files appeared in the unpacked tree"
echo "package_test: $(basename "$deb") passed"
