# start_xvfb VAR: starts a private Xvfb on a free display and exports VAR as it.
start_xvfb() {
  local n pid
  for n in $(seq 90 120); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 50); do
      # Ours only while it lives: another run may have taken the number meanwhile.
      if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && kill -0 "$pid" 2>/dev/null; then
        started_xvfbs+=("$pid")
        export "$1=:$n"
        return
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
  done
  echo "display: could not start Xvfb" >&2
  return 1
}

# Gives wine a display: the user's own when there is one, else a private Xvfb.
start_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return
  fi
  start_xvfb DISPLAY
}

# A screen for each session besides the default one (tests/wine/wine-env.sh):
# two wine desktops on one screen would hide each other, and the tests look at
# the screen.
start_session_displays() {
  start_xvfb MORLU_USER_DISPLAY && start_xvfb MORLU_CP1252_DISPLAY && start_xvfb MORLU_CP949_DISPLAY
}

# start_wine_sessions [RUNNER...]: the prefix and desktop of every session: the
# default one, the user whose name code page 932 cannot spell, English and
# Korean Windows.
start_wine_sessions() {
  start_wine_with "$@" &&
    MORLU_WINE_USER=김철수 start_wine_with "$@" &&
    MORLU_ANSI_CODE_PAGE=1252 start_wine_with "$@" &&
    MORLU_ANSI_CODE_PAGE=949 start_wine_with "$@"
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
  # The session's prefix, user and locale (tests/wine/wine-env.sh).
  wine_sessions+=("$(source "$root/tests/wine/wine-env.sh" && echo "$WINEPREFIX") $*")
  (
    source "$root/tests/wine/wine-env.sh"
    "$@" "$root/tests/wine/prepare-prefix"
    WINEDEBUG=-all "$@" wineserver -p
    WINEDEBUG=-all setsid "$@" wine explorer /desktop=Default,1024x768 </dev/null >/dev/null 2>&1 &
    WINEDEBUG=-all "$@" wine cmd /c exit </dev/null >/dev/null 2>&1
  )
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
  local pid
  for pid in "${started_xvfbs[@]}"; do
    kill "$pid" 2>/dev/null
  done
  started_xvfbs=()
}

wine_sessions=()
started_xvfbs=()
