# Shared by the scripts: build locations, preset configuration, a private Wine
# prefix with a persistent wineserver, and a private Xvfb display.
# DUZAVIDE_BUILD_DIR moves the whole build tree (default: build/ in the checkout).

build_root=${DUZAVIDE_BUILD_DIR:-$root/build}

# configure_presets PRESET... : configure each preset into $build_root/<preset>.
configure_presets() {
  local preset
  for preset in "$@"; do
    cmake -S "$root" --preset "$preset" -B "$build_root/$preset" >/dev/null
  done
}

# start_wine: a prefix inside the build tree, never ~/.wine. The server and the
# boot run before any test so that Wine's services do not inherit a test's pipes.
start_wine() {
  export WINEPREFIX="$build_root/wine-prefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  mkdir -p "$WINEPREFIX"
  # A server left running for this prefix (an interrupted earlier run) is reused.
  wineserver -p 2>/dev/null || true
  wine wineboot -i >/dev/null 2>&1 </dev/null || true
}

stop_wine() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
}

# start_xvfb: a private display for window tests; sets DISPLAY and xvfb_pid.
xvfb_pid=""
start_xvfb() {
  local fifo display
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r display <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$display"
}

stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}
