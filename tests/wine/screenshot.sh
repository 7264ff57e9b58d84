#!/bin/bash
# Screenshots of the progress dialog under Xvfb, English and Korean system
# locale, for a person to look at (no golden image is kept):
#   build/screenshots/dialog-eng.png, dialog-kor.png   the dialog alone
#   build/screenshots/screen-eng.png, screen-kor.png   the whole screen
# (ZW_SCREENSHOT_DIR picks another folder). Runs zarnowel64.exe in the 64-bit
# prefix with a supervised stand-in installer that keeps the dialog up, and
# takes the picture once the dialog is visible. Needs ImageMagick's `import`
# and xwininfo. Always runs on an Xvfb of its own, so a desktop's theme and
# fonts do not change the picture.
source "$(dirname "$0")/e2e/run.sh"
command -v import >/dev/null 2>&1 || zw_skip "ImageMagick's import is not installed"
command -v xwininfo >/dev/null 2>&1 || zw_skip "xwininfo is not installed (x11-utils)"
unset DISPLAY
host_require
host_prefix win64

# Xvfb has no window manager to draw captions and frames: for the pictures
# Wine draws its own ("Decorated"=N), set for this script only.
X11_KEY='HKCU\Software\Wine\X11 Driver'
undecorate() { wine reg add "$X11_KEY" /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1; wineserver -w; }
redecorate() { wine reg delete "$X11_KEY" /v Decorated /f >/dev/null 2>&1; wineserver -w; }
trap 'rc=$?; redecorate; (exit $rc); zw_cleanup' EXIT
undecorate

OUT_DIR=${ZW_SCREENSHOT_DIR:-$ZW_SOURCE_DIR/build/screenshots}
mkdir -p "$OUT_DIR"
BASE_LANG=${LANG:-C.UTF-8}

# The X window id of the top-level window named NAME (Wine names it after the caption).
x_window() {
  xwininfo -root -tree 2>/dev/null | awk -v want="\"$1\":" '$2 == want { print $1; exit }'
}

# shoot LANGUAGE CAPTION
shoot() {
  local language=$1 caption=$2
  if [ "$language" = kor ]; then
    zw_korean
  else
    export LANG=$BASE_LANG
    unset LC_ALL
  fi
  zw_wine_reset
  zw_scratch screenshot >/dev/null
  local app="$ZW_DIR/app"
  zw_install_launcher "$app"
  zw_helper "$app" hold.exe 10000 # long enough for the picture
  zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,hold.exe,/quiet
EOF
  ZW_EXE=zarnowel64.exe zw_start_launcher "$app"
  if ! zw_run_prog answer --caption "$caption" --class '#32770' --timeout 60000 >/dev/null 2>&1; then
    zw_fail "$language: no visible dialog '$caption'"
  fi
  # Visible is not yet painted: let the dialog draw its controls.
  sleep 1
  local id shot="$OUT_DIR/dialog-$language.png" screen="$OUT_DIR/screen-$language.png"
  id=$(x_window "$caption")
  import -window root "$screen" && zw_ok "$language: $screen"
  if [ -n "$id" ] && import -window "$id" "$shot"; then
    zw_ok "$language: $shot ($(identify -format '%wx%h' "$shot" 2>/dev/null))"
  else
    zw_fail "$language: no X window named '$caption' to take"
  fi
  local taken
  taken=$(zw_now_ms)
  zw_wait_launcher
  # The dialog closes only after the helper has ended.
  zw_expect_between "$language: taken while the helper still ran (ms before its end)" \
    "$(($(zw_log_ms hold ended) - taken))" 1 60000
}

shoot eng "Installation"
# Wine brings no Hangul glyphs of its own: without a Korean font in
# fontconfig the Korean texts show as boxes.
if [ -z "$(fc-list :lang=ko family 2>/dev/null)" ]; then
  zw_note "no Korean font installed (e.g. apt-get install fonts-nanum): Hangul will show as boxes"
fi
if (zw_require_locale ko_KR.UTF-8) >/dev/null 2>&1; then
  shoot kor "설치중"
else
  zw_fail "the Korean screenshot needs the locale ko_KR.UTF-8"
fi
zw_finish
