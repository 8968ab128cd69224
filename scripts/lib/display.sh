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

stop_display() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${started_xvfb:-}" ] && kill "$started_xvfb" 2>/dev/null
  started_xvfb=
}
