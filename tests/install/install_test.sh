#!/usr/bin/env bash
# Deploys the stand-in package the way an administrator's tools do, in a fresh Wine
# prefix of its own: a silent install (files, Start-menu shortcut, uninstall entry),
# a run of the installed Duzavide.exe in the stand-in engine's script mode that
# connects (so the installed core finds everything it needs beside itself), an
# in-place upgrade to a higher version, a refused downgrade, and a silent uninstall
# that removes what was installed and keeps the user's data folder.
#   install_test.sh SOURCE_DIR PACKAGE_DIR VERSION WORK_DIR
set -euo pipefail
root=$1 package_dir=$2 version=$3 work=$4/install-test
started=$SECONDS

msi="$package_dir/DuzavideConnect-$version-win-x64-standin.msi"
zip="$package_dir/DuzavideConnect-$version-win-x64-standin.zip"
if [ ! -f "$msi" ] || [ ! -f "$zip" ]; then
  echo "no stand-in package in $package_dir; run scripts/package first"
  exit 77
fi

fail() {
  echo "FAIL: $*" >&2
  echo "(Wine's output: $work/wine.log; the prefix is kept in $work/prefix)" >&2
  exit 1
}

# shellcheck source=scripts/lib/common.sh
. "$root/scripts/lib/common.sh"
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEARCH=win64
# Without winemenubuilder Wine does not copy the Start menu shortcut and its icon
# into the desktop menus of the machine's own user.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
passed=0
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  stop_xvfb
  [ "$passed" -eq 0 ] || rm -rf "$work"
}
trap cleanup EXIT
[ -n "${DISPLAY:-}" ] || start_xvfb

# Every Wine command's output goes to a file: Wine's background processes would
# otherwise hold CTest's pipes open.
win() { wine "$@" </dev/null >>"$work/wine.log" 2>&1; }
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1 || true
win wineboot -i || true

c="$WINEPREFIX/drive_c"
install_dir="$c/Program Files/Duzavide Connect"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# For each key below $1 whose value $2 is $3: the key and the values named in $4.
find_keys() {
  wine reg query "$1" /s </dev/null >"$work/reg.txt" 2>/dev/null || true
  tr -d '\r' <"$work/reg.txt" | awk -F '    ' -v name="$2" -v value="$3" -v wanted="$4" '
    function emit(  line, n, w, i) {
      if (v[name] != value) return
      line = key; n = split(wanted, w, " ")
      for (i = 1; i <= n; i++) line = line "\t" v[w[i]]
      print line
    }
    /^HKEY_/ { emit(); key = $0; split("", v); next }
    NF >= 4 { v[$2] = $4 }
    END { emit() }'
}
entries() { find_keys "$uninstall_key" DisplayName "Duzavide Connect" "DisplayVersion Publisher"; }
# Windows puts a per-machine shortcut into the common Programs folder; Wine's
# installer uses the user's Programs folder.
shortcuts() {
  local found
  for found in "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Duzavide Connect.lnk" \
    "$c"/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Duzavide\ Connect.lnk; do
    [ -f "$found" ] && echo "$found"
  done
  return 0
}
expect_one_entry() {
  local found
  found=$(entries)
  [ "$(grep -c . <<<"$found")" -eq 1 ] || fail "expected one uninstall entry, found: ${found:-none}"
  [ "$(cut -f2 <<<"$found")" = "$1" ] || fail "entry version is not $1: $found"
  [ "$(cut -f3 <<<"$found")" = "Duzavide" ] || fail "entry publisher is not Duzavide: $found"
}

echo "== install $msi"
python3 -m zipfile -e "$zip" "$work/archive"
win msiexec /i "$(winepath -w "$msi")" /qn || fail "the silent install failed"
# The installed folder holds exactly the portable archive's files.
diff -r "$work/archive/Duzavide Connect" "$install_dir" || fail "installed files differ from the archive"
[ -n "$(shortcuts)" ] || fail "no Start-menu shortcut"
# The shortcut's key path (HKMU) resolves to the machine's hive in a per-machine install.
wine reg query 'HKLM\Software\Duzavide\Duzavide Connect' /v StartMenuShortcut \
  </dev/null >/dev/null 2>&1 || fail "the shortcut's registry value is not under HKLM"
expect_one_entry "$version"
# The icon "Apps & features" shows, as the installer registered it.
icon=$(find_keys 'HKLM\Software\Classes\Installer\Products' ProductName "Duzavide Connect" \
  ProductIcon | cut -f2)
icon=$(winepath -u "${icon:-none}" 2>/dev/null) && [ -s "$icon" ] || fail "no product icon registered"

echo "== run the installed Duzavide.exe in script mode: connect, isConnected, close"
# "connect" with a share link and a relay on 127.0.0.1 only, in the standard method
# codec (7 string, 13 map, 3 32-bit integer; every size below 254 takes one byte).
connect_hex=$(python3 - <<'PY'
def text(t):
    return bytes([7, len(t)]) + t.encode()
def mapping(entries):
    return bytes([13, len(entries)]) + b"".join(text(k) + v for k, v in entries.items())
wireguard = mapping({"private_key": text("cHJpdmF0ZS1rZXktZm9yLXRlc3Rz"),
                     "address": text("10.66.0.2/32"),
                     "server_public_key": text("c2VydmVyLXB1YmxpYy1rZXk="),
                     "relay_address": text("127.0.0.1"),
                     "relay_port": bytes([3]) + (9).to_bytes(4, "little")})
link = "vless://0a1b2c3d-0000-4000-8000-000000000001@127.0.0.1:8443?security=reality&sni=a.test"
print((text("connect") + mapping({"vlessUrl": text(link), "wireguard": wireguard})).hex())
PY
)
printf 'call %s\ncall 070b6973436f6e6e656374656400\nclose\n' "$connect_hex" >"$work/script.txt"
status=0
DUZAVIDE_ENGINE_SCRIPT=$(winepath -w "$work/script.txt") \
  DUZAVIDE_ENGINE_TRANSCRIPT=$(winepath -w "$work/transcript.txt") \
  timeout 60 wine 'C:\Program Files\Duzavide Connect\Duzavide.exe' \
  </dev/null >>"$work/wine.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "Duzavide.exe ended with exit code $status"
# "connect" and "isConnected" answer success (00) with true (01); the stall meter's
# lines are the engine's, not the host's.
[ "$(tr -d '\r' <"$work/transcript.txt" | grep -v -E '^(max-)?stall ' | tr '\n' ' ')" = \
  "reply 0001 reply 0001 " ] || fail "unexpected transcript: $(cat "$work/transcript.txt")"

# The user's data folder, as the host creates it on "connect": in the machine's
# program-data folder, named after the user's SID (Wine's is always this one).
wine cmd /c 'echo %ProgramData%' </dev/null >"$work/folder.txt" 2>/dev/null
program_data=$(winepath -u "$(tr -d '\r' <"$work/folder.txt")")
user_folder="$program_data/Duzavide-S-1-5-21-0-0-0-1000"
mkdir -p "$user_folder"
echo '{"kept": true}' >"$user_folder/config.json"

IFS=. read -r major minor patch <<<"$version"
higher="$major.$minor.$((patch + 1))"
echo "== upgrade to $higher"
"$root/packaging/make-msi" --version "$higher" --app-dir "$work/archive/Duzavide Connect" \
  --output "$work/higher.msi"
win msiexec /i "$(winepath -w "$work/higher.msi")" /qn || fail "the upgrade failed"
expect_one_entry "$higher"
diff -r "$work/archive/Duzavide Connect" "$install_dir" || fail "files differ after the upgrade"

echo "== an older package refuses to go over a newer one"
! win msiexec /i "$(winepath -w "$msi")" /qn || fail "the older package installed over the newer"
expect_one_entry "$higher"

echo "== uninstall"
product_code=$(entries | cut -f1)
product_code=${product_code##*\\}
win msiexec /x "$product_code" /qn || fail "the silent uninstall failed"
[ ! -e "$install_dir" ] || fail "files left behind: $(find "$install_dir")"
[ -z "$(shortcuts)" ] || fail "shortcut left behind: $(shortcuts)"
[ -z "$(entries)" ] || fail "uninstall entry left behind: $(entries)"
! wine reg query 'HKLM\Software\Duzavide' </dev/null >/dev/null 2>&1 ||
  fail "registry values left behind under HKLM\\Software\\Duzavide"
[ ! -e "$icon" ] || fail "product icon left behind: $icon"
[ "$(cat "$user_folder/config.json")" = '{"kept": true}' ] ||
  fail "the user's data folder was touched"

echo "== passed in $((SECONDS - started)) s"
passed=1
