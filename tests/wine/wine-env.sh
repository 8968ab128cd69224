# The wine a test asks for, sourced by the wrappers and scripts/lib/display.sh.
# CTest passes one variable of each kind (a list would not survive the test
# discovery):
#   MORLU_ANSI_CODE_PAGE  932 (the default), 1252 or 949: wine takes its ANSI
#                         code page from the locale
#   MORLU_WINE_USER       the user wine runs as, in a prefix of that user's own
#                         beside $WINEPREFIX (wine names the profile folders
#                         after the user who runs it), on MORLU_USER_DISPLAY when
#                         that is set (scripts/lib/display.sh)
case ${MORLU_ANSI_CODE_PAGE:-932} in
  932) export LC_ALL=ja_JP.UTF-8 ;;
  1252) export LC_ALL=en_US.UTF-8 ;;
  949) export LC_ALL=ko_KR.UTF-8 ;;
  *) echo "wine-env: no locale for code page $MORLU_ANSI_CODE_PAGE" >&2; exit 2 ;;
esac
if [ -n "${MORLU_WINE_USER:-}" ]; then
  export USER=$MORLU_WINE_USER WINEPREFIX=$WINEPREFIX-user
  [ -z "${MORLU_USER_DISPLAY:-}" ] || export DISPLAY=$MORLU_USER_DISPLAY
fi
