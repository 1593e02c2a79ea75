#!/bin/sh
# Runs a command inside a private test network: a network namespace of its own
# whose only devices are loopback and a tap without carrier (10.77.0.2/24, default
# route via 10.77.0.1), so nothing can leave it; with a Wine prefix and server of
# its own, since a Wine server started outside would open every socket outside.
# The namespace goes when the command ends.
#
#   private_network.sh PREFIX COMMAND [ARGUMENTS...]
#
# Exits 77 after one line saying why when no namespace can be made here (not root,
# or a sandbox that forbids it); otherwise with the command's exit code.
set -u
prefix=$1
shift
if ! unshare -n true 2>/dev/null; then
  echo "private network: no network namespace can be created here ($(id -un)); skipped"
  exit 77
fi
exec unshare -n sh -c '
  set -e
  prefix=$1
  shift
  ip link set lo up
  ip tuntap add dev tap0 mode tap
  # Removing the first address of a subnet keeps the others (they are promoted).
  echo 1 >/proc/sys/net/ipv4/conf/tap0/promote_secondaries
  ip addr add 10.77.0.2/24 dev tap0
  ip link set tap0 up
  ip route add default via 10.77.0.1 dev tap0
  export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  wineserver -p
  wine wineboot -i >/dev/null 2>&1 </dev/null || true
  set +e
  "$@"
  status=$?
  wineserver -k >/dev/null 2>&1
  exit $status
' private_network "$prefix" "$@"
