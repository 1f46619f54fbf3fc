#!/usr/bin/env bash
# Shows the notice path with the real programs in a Wine session: a notice
# of each severity posted into the event mailbox, what the tray notifier
# showed for each, and a PNG screenshot of each balloon (full screen and
# cropped to what was drawn).
#   demo/tray-demo.sh [OUTPUT_DIRECTORY]     (default build/demo)
# Needs the win64 build (make build) and imagemagick's import.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${ARVEXA_WINE_SESSION:-}" ]; then
  exec "$root/cmake/wine-session.sh" "$0" "$@"
fi
out=${1:-$root/build/demo}
mkdir -p "$out"
driver=$root/build/win64/bin/tray_notice_demo.exe

"$ARVEXA_WINE_LOADER" "$driver" | while IFS= read -r line; do
  line=${line%$'\r'}
  case $line in
    "SCREENSHOT "*)
      name=${line#SCREENSHOT }
      import -window root "$out/$name.png"
      convert "$out/$name.png" -trim +repage -bordercolor black -border 8 "$out/$name-crop.png"
      echo "  screenshot: $out/$name.png ($name-crop.png cropped)"
      ;;
    *) echo "$line" ;;
  esac
done
exit "${PIPESTATUS[0]}"
