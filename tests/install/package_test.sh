#!/usr/bin/env bash
# scripts/package as a release machine uses it: an incomplete core folder and a
# certificate that cannot sign are refused with exit code 2 before anything is
# written; a complete core folder and a throwaway code-signing certificate give a
# package whose programs inside the archive and whose .msi carry that signature.
# The stand-in artefacts in build/package are put back afterwards.
#   package_test.sh SOURCE_DIR BUILD_ROOT VERSION WORK_DIR
set -euo pipefail
root=$1 build_root=$2 version=$3 work=$4/package-test
package_dir="$build_root/package"
base="DuzavideConnect-$version-win-x64-standin"
if [ ! -f "$package_dir/$base.msi" ] || [ ! -f "$build_root/release/app/Duzavide.exe" ]; then
  echo "no stand-in package in $package_dir; run scripts/package first"
  exit 77
fi
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$work"
mkdir -p "$work/saved"
cp -p "$package_dir/$base.msi" "$package_dir/$base.zip" "$work/saved/"
passed=0
restore() {
  cp -p "$work/saved/$base.msi" "$work/saved/$base.zip" "$package_dir/"
  [ "$passed" -eq 0 ] || rm -rf "$work"
}
trap restore EXIT
package() { DUZAVIDE_BUILD_DIR="$build_root" "$root/scripts/package" "$@"; }
state() { (cd "$build_root" && find package release/app -printf '%p %s %T@\n' | LC_ALL=C sort); }

# Throwaway certificates: one for code signing (the signer), one for servers only.
cd "$work"
new_pfx() {  # new_pfx NAME EXTENDED_KEY_USAGE [pkcs12 options...]
  local name=$1 usage=$2
  shift 2
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout "$name.key" -out "$name.pem" \
    -subj "/CN=Duzavide throwaway $name" -addext "extendedKeyUsage=$usage" 2>/dev/null
  openssl pkcs12 -export -in "$name.pem" -out "$name.pfx" -passout pass:throwaway "$@"
}
new_pfx signer codeSigning -inkey signer.key
new_pfx server serverAuth -inkey server.key
new_pfx keyless codeSigning -nokeys
export DUZAVIDE_SIGN_PASSWORD=throwaway

# A core folder of the stand-in files, its routing data marked as coming from there.
core="$work/core"
mkdir -p "$core"
for file in xray.exe wintun.dll geoip.dat geosite.dat; do
  cp "$build_root/release/app/$file" "$core/"
done
echo "from-the-core-folder" >>"$core/geoip.dat"
partial() {  # partial NAME FILE...: a core folder holding only the named files
  mkdir -p "$work/$1"
  local file
  for file in "${@:2}"; do cp "$core/$file" "$work/$1/"; done
  echo "$work/$1"
}

echo "== refusals"
before=$(state)
while IFS='|' read -r name password expected args; do
  [ -n "$name" ] || continue
  status=0
  # shellcheck disable=SC2086  # the arguments are split on purpose
  DUZAVIDE_SIGN_PASSWORD=$password package $args >"$work/out.txt" 2>&1 || status=$?
  [ "$status" -eq 2 ] || fail "$name: exit code $status, not 2: $(cat "$work/out.txt")"
  grep -qF -- "$expected" "$work/out.txt" || fail "$name: no '$expected' in: $(cat "$work/out.txt")"
  [ "$(state)" = "$before" ] || fail "$name: something was written"
done <<EOF_CASES
no core|throwaway|it has no xray.exe|--core-dir $(partial no-core wintun.dll geoip.dat geosite.dat)
no TUN library|throwaway|it has no wintun.dll|--core-dir $(partial no-tun xray.exe geoip.dat geosite.dat)
no routing data|throwaway|it has no geoip.dat, geosite.dat|--core-dir $(partial no-data xray.exe wintun.dll)
an empty folder|throwaway|it has no xray.exe, wintun.dll, geoip.dat, geosite.dat|--core-dir $(partial empty)
not a folder|throwaway|is not a folder|--core-dir $core/xray.exe
the old option|throwaway|--core is replaced by --core-dir|--core $core/xray.exe
no certificate file|throwaway|is not a file|--sign-pfx $work/none.pfx
a wrong password|wrong|with the password in DUZAVIDE_SIGN_PASSWORD|--sign-pfx $work/signer.pfx
no private key|throwaway|holds no private key|--sign-pfx $work/keyless.pfx
a server certificate|throwaway|is not a code-signing certificate|--sign-pfx $work/server.pfx
EOF_CASES

echo "== a signed package from a core folder"
package --core-dir "$core" --sign-pfx "$work/signer.pfx" >"$work/out.txt" 2>&1 ||
  fail "signed packaging failed: $(cat "$work/out.txt")"
python3 -m zipfile -e "$package_dir/$base.zip" "$work/archive"
cmp -s "$core/geoip.dat" "$work/archive/Duzavide Connect/geoip.dat" ||
  fail "the archive's geoip.dat is not the core folder's"
serial=$(openssl x509 -in signer.pem -noout -serial | cut -d= -f2)
for signed in "$work/archive/Duzavide Connect/Duzavide.exe" \
  "$work/archive/Duzavide Connect/DuzavideProxyRestore.exe" "$package_dir/$base.msi"; do
  osslsigncode verify -CAfile signer.pem -in "$signed" >"$work/verify.txt" 2>&1 ||
    fail "$(basename "$signed") does not verify: $(cat "$work/verify.txt")"
  grep -qi "Serial : $serial" "$work/verify.txt" ||
    fail "$(basename "$signed") is not signed by the throwaway certificate: $(cat "$work/verify.txt")"
  grep -q "Message digest algorithm *: SHA256" "$work/verify.txt" ||
    fail "$(basename "$signed") is not signed with SHA-256"
done
python3 "$root/tests/install/msi_tables.py" "$package_dir/$base.msi" "$package_dir/$base.zip" \
  "$version" || fail "the signed package breaks a table rule"
echo "== passed"
passed=1
