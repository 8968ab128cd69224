# The wine a test asks for, sourced by the wrappers and scripts/lib/display.sh.
# CTest passes one variable of each kind (a list would not survive the test
# discovery):
#   MORLU_ANSI_CODE_PAGE  932 (the default), 1252 or 949: wine takes its ANSI
#                         code page from the locale
#   MORLU_WINE_USER       the user wine runs as (wine names the profile folders
#                         after the user who runs it)
# Each but the default runs in a prefix of its own beside $WINEPREFIX, with its
# own desktop on a display of its own (MORLU_<SESSION>_DISPLAY, set by
# scripts/lib/display.sh): one machine, one language and one user, as on
# Windows. In one prefix shared by several locales, a program started in
# another locale than its desktop's now and then never showed its window.
session=
case ${MORLU_ANSI_CODE_PAGE:-932} in
  932) export LC_ALL=ja_JP.UTF-8 ;;
  1252) export LC_ALL=en_US.UTF-8 session=cp1252 ;;
  949) export LC_ALL=ko_KR.UTF-8 session=cp949 ;;
  *) echo "wine-env: no locale for code page $MORLU_ANSI_CODE_PAGE" >&2; exit 2 ;;
esac
if [ -n "${MORLU_WINE_USER:-}" ]; then
  if [ -n "$session" ]; then
    echo "wine-env: no prefix for the user $MORLU_WINE_USER on code page $MORLU_ANSI_CODE_PAGE" >&2
    exit 2
  fi
  export USER=$MORLU_WINE_USER
  session=user
fi
if [ -n "$session" ]; then
  export WINEPREFIX=$WINEPREFIX-$session
  session_display=MORLU_${session^^}_DISPLAY
  [ -z "${!session_display:-}" ] || export DISPLAY=${!session_display}
fi
