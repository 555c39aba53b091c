#!/usr/bin/env bash
# Shows the installer at work: sets up the machine, builds both trees, then
# runs build/win/TYInstaller.exe under Wine in a fresh 32-bit prefix
# (build/demo-prefix, made anew on every run and left behind for a look at
# what the installer did). It prints the installer's exit code, what was
# installed (files, shortcuts, registry entries: scripts/demo_walk.py show)
# and the package table of the installer.
#
# With $DISPLAY set the installer opens on that display, the user walks the
# wizard by hand and the demo waits for it to end. Without one it runs on a
# private Xvfb of its own and scripts/demo_walk.py walks the wizard through
# the Wine suite's driver as a user would (every page, the default folder,
# no finishing task), saving a screenshot of each page in build/demo-shots/
# (01-welcome.png ... 05-ready.png) with the transcript of the walk; the
# demo fails when a page differs from what the suite expects or the
# installer does not end with 0. Nothing of Wine or Xvfb is left running.
#
# With --upgrade it shows an upgrade instead: build/win/TYInstaller-2.5.exe,
# the same product in version 2.5, is installed first, the user's settings
# in its TYQuenfold.ini are changed, then TYInstaller.exe upgrades it; what
# is installed (files, settings, shortcuts, registry entries) is printed
# before and after. Headless, scripts/demo_upgrade.py walks both runs and
# answers Yes to the upgrade and to the old uninstaller (screenshots in
# build/demo-shots/1-install-2.5 and 2-upgrade); with $DISPLAY the user
# walks both installers by hand.
#
#   scripts/demo.sh [--no-build] [--upgrade]
#                                   --no-build: use the trees as they are
#   TY_BUILD_DIR      where the trees are (default: build)
#   TY_DEMO_TIMEOUT   headless only, seconds to wait for each page (default: 60)
#   TY_WINE           native (the machine's own Wine) or vm (scripts/wine-vm.sh);
#                     by default vm only where the kernel cannot run 32-bit code
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${TY_BUILD_DIR:-$top/build}
timeout_s=${TY_DEMO_TIMEOUT:-60}

build=1
upgrade=0
for option in "$@"; do
  case "$option" in
    --no-build) build=0 ;;
    --upgrade) upgrade=1 ;;
    *) echo "usage: scripts/demo.sh [--no-build] [--upgrade]" >&2; exit 2 ;;
  esac
done

if [ "$build" = 1 ]; then
  bash "$top/scripts/setup.sh"
  TY_BUILD_DIR=$out bash "$top/scripts/build.sh"
fi

# Wine runs the installer as a 32-bit program: a kernel without IA-32
# emulation cannot start it at all. There (or with TY_WINE=vm) the headless
# walk runs in the virtual machine of scripts/wine-vm.sh, which prints what
# it prints here; its screenshots land in the same folder.
. "$top/scripts/ia32.sh"
wine=$(wine_path)
if [ "$wine" = vm ]; then
  echo "demo: the installer runs in the virtual machine of scripts/wine-vm.sh, headless"
  extra=()
  [ "$upgrade" = 1 ] && extra=(--upgrade)
  TY_BUILD_DIR=$out exec bash "$top/scripts/wine-vm.sh" demo "${extra[@]}"
fi

installer=$out/win/TYInstaller.exe
typack=$out/host/tools/typack
driver=$out/win/tests/e2e/ty_driver.exe
earlier=$out/win/TYInstaller-2.5.exe
needed=("$installer" "$typack" "$driver")
[ "$upgrade" = 1 ] && needed+=("$earlier")
for f in "${needed[@]}"; do
  [ -f "$f" ] || { echo "demo: $f is missing; run without --no-build" >&2; exit 1; }
done

export WINEPREFIX=$out/demo-prefix
export WINEARCH=win32
export WINEDEBUG=-all
# No desktop menu entries from the shortcuts; no offer to download Mono or
# Gecko while the prefix is made.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

xvfb_pid=
wine_started=0
cleanup() {
  if [ "$wine_started" = 1 ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  shots=$out/demo-shots
  rm -rf "$shots" && mkdir -p "$shots"
  # Xvfb picks a free display number itself and writes it to the given
  # descriptor once it accepts connections.
  number_file=$shots/xvfb-display
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$number_file" 2>"$shots/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$number_file" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$number_file" ]; then
    echo "demo: Xvfb did not start (see $shots/xvfb.log)" >&2
    exit 1
  fi
  export DISPLAY=:$(tr -d '[:space:]' <"$number_file")
  rm -f "$number_file"
  echo "demo: private display $DISPLAY"
fi

echo "demo: making a fresh Wine prefix in $WINEPREFIX"
wine_started=1
wineserver -k 2>/dev/null || true    # left from an interrupted run
# Emptied rather than removed: in the virtual machine the folder is a mount
# of the machine's own disk.
mkdir -p "$WINEPREFIX"
find "$WINEPREFIX" -mindepth 1 -delete
wineboot -i
# Wine draws the caption buttons with its Marlett font (Debian's fonts-wine);
# this Wine takes that package's TrueType fonts from the prefix's own Fonts
# folder only, so they are put there.
for font in /usr/share/wine/fonts/*.ttf; do
  [ -f "$font" ] && cp -n "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
if [ "$headless" = 1 ]; then
  # Xvfb has no window manager: a Wine desktop of screen size gives the
  # windows their frames and captions in the screenshots.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
  # The desktop is chosen when Wine starts: start it again.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
fi

# Wine hands the low 8 bits of the Windows exit code to the shell; the
# installer's codes are -1, 0, 1 and an old uninstaller's 0 or 99.
run_by_hand() {
  local code=0
  wine "$1" || code=$?
  case "$code" in
    255) echo "$(basename "$1") exit code: -1 (255 as the shell sees it)" ;;
    *) echo "$(basename "$1") exit code: $code" ;;
  esac
}

code=0
walk=0
if [ "$upgrade" = 1 ]; then
  echo "demo: installing $earlier, then upgrading it with $installer"
  if [ "$headless" = 0 ]; then
    run_by_hand "$earlier"
    python3 "$top/scripts/demo_upgrade.py" settings || true
    python3 "$top/scripts/demo_upgrade.py" show "version 2.5 installed"
    run_by_hand "$installer"
    python3 "$top/scripts/demo_upgrade.py" show "after the upgrade to 2.9"
  else
    python3 "$top/scripts/demo_upgrade.py" walk --driver "$driver" --earlier "$earlier" \
      --installer "$installer" --shots "$shots" --timeout "$timeout_s" || walk=$?
  fi
  echo "typack list $installer:"
  "$typack" list "$installer"
  exit "$walk"
fi

echo "demo: running $installer"
if [ "$headless" = 0 ]; then
  wine "$installer" || code=$?
  # Wine hands the low 8 bits of the Windows exit code to the shell; the
  # installer's codes are -1, 0, 1 and an old uninstaller's 0 or 99.
  case "$code" in
    255) echo "TYInstaller.exe exit code: -1 (255 as the shell sees it)" ;;
    *) echo "TYInstaller.exe exit code: $code" ;;
  esac
  python3 "$top/scripts/demo_walk.py" show || true
else
  # The walk prints the exit code itself, as the driver saw it.
  python3 "$top/scripts/demo_walk.py" --driver "$driver" --installer "$installer" \
    --shots "$shots" --timeout "$timeout_s" || walk=$?
fi

echo "typack list $installer:"
"$typack" list "$installer"
exit "$walk"
