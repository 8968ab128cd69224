# Gives wine a display: the user's own when there is one, else a private Xvfb.
start_display() {
  started_xvfb=
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return
  fi
  local n
  for n in $(seq 90 120); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    started_xvfb=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      xdpyinfo >/dev/null 2>&1 && return
      sleep 0.1
    done
    kill "$started_xvfb" 2>/dev/null
  done
  echo "display: could not start Xvfb" >&2
  return 1
}

# Prepares the prefix in $WINEPREFIX and keeps its desktop running for the
# whole session. Wine's own helper processes (desktop, services) would
# otherwise start from the first test program and inherit its output pipe, so
# CTest would wait for them forever.
start_wine() {
  start_wine_with
}

# The same for the i686 build: 32-bit wine in the i386 chroot (scripts/i686-wine).
start_wine32() {
  start_wine_with "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/i686-wine" run
}

# start_wine_with [RUNNER...]: runs wine's programs through RUNNER.
start_wine_with() {
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  wine_sessions+=("$WINEPREFIX $*")
  "$@" "$root/tests/wine/prepare-prefix"
  LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all "$@" wineserver -p
  LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all setsid "$@" wine explorer /desktop=Default,1024x768 </dev/null >/dev/null 2>&1 &
  LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all "$@" wine cmd /c exit </dev/null >/dev/null 2>&1
}

# Ends the wine sessions started so far (their servers and desktops).
stop_wine() {
  local session
  for session in "${wine_sessions[@]}"; do
    # shellcheck disable=SC2086 # the runner's words
    WINEPREFIX=${session%% *} ${session#* } wineserver -k >/dev/null 2>&1 || true
  done
  wine_sessions=()
}

stop_display() {
  stop_wine
  [ -n "${started_xvfb:-}" ] && kill "$started_xvfb" 2>/dev/null
  started_xvfb=
}

wine_sessions=()
