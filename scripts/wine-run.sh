#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine: a prefix of its own
# in the build folder (made once), no display, no Wine chatter, and a
# Japanese locale so that Wine's ANSI code page is 932 as on Japanese Windows.
#   scripts/wine-run.sh program.exe [arguments...]
#   scripts/wine-run.sh --locale   (makes the locale only, for those who may
#                                   not write the build folder)
# MABREL_WINE_BUILD: the build folder (default build/mingw beside this script).
# MABREL_WINE_GUI=1: keep DISPLAY, so that windows are shown there.
# MABREL_WINE_PREFIX: the Wine prefix (default wineprefix in the build folder).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${MABREL_WINE_BUILD:-$here/build/mingw}"
mkdir -p "$build"

# glibc looks for the locale here first; made without touching the system.
locales="$build/locale"
if [ ! -d "$locales/ja_JP.UTF-8" ] && [ -e /usr/share/i18n/locales/ja_JP ]; then
  mkdir -p "$locales"
  localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8" >/dev/null 2>&1 || true
fi
[ "${1:-}" = --locale ] && exit 0
# Given to Wine only: this shell would warn that it cannot switch to it.
locale_env=()
if [ -d "$locales/ja_JP.UTF-8" ]; then
  locale_env=(LOCPATH="$locales" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8)
fi

export WINEPREFIX="${MABREL_WINE_PREFIX:-$build/wineprefix}" WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko downloads, no dialogs: the programs are console programs,
# but for the front end's tests (MABREL_WINE_GUI=1), whose windows go to the
# X server in DISPLAY.
export WINEDLLOVERRIDES="mscoree,mshtml="
[ "${MABREL_WINE_GUI:-0}" = 1 ] || export DISPLAY=
unset WAYLAND_DISPLAY

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine)"
export WINELOADER="$wine"

# Several programs may start at once: the first one makes the prefix.
if [ ! -f "$WINEPREFIX/.mabrel-ready" ]; then
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.mabrel-ready" ]; then
    env "${locale_env[@]}" "$wine" wineboot --init >/dev/null 2>&1 || true
    "$(dirname "$wine")/wineserver" -w 2>/dev/null || wineserver -w 2>/dev/null || true
    touch "$WINEPREFIX/.mabrel-ready"
  fi
  exec 9>&-
fi

exec env "${locale_env[@]}" "$wine" "$@"
