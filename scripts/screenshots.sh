#!/usr/bin/env bash
# Starts the real desktop program on a virtual X screen, against the CG server simulator, and
# saves pictures of its windows to docs/screenshots/. Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$here/$build/src/cli/graflink-cli"
program="$here/$build/src/app/ui/Graflink"
out="$here/docs/screenshots"
mkdir -p "$out"

home=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$home"' EXIT
export XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" QT_QPA_PLATFORM=xcb
port=$((20000 + RANDOM % 20000))
"$cli" --quiet cgsim --port "$port" >/dev/null &
/usr/bin/python3 -m http.server --bind 127.0.0.1 --directory "$here/examples" $((port + 1)) >/dev/null 2>&1 &
sleep 1
"$cli" --quiet new "$home/Scores.graflink" --source "http://127.0.0.1:$((port + 1))/scores.xml" \
  --server "127.0.0.1:$port" --publish --auto-refresh 5 >/dev/null
"$cli" --quiet new "$home/Weather.graflink" --source "http://127.0.0.1:9/none.xml" >/dev/null

xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  set -euo pipefail
  "$1" "$2/Scores.graflink" "$2/Weather.graflink" &
  sleep 4
  window=$(xdotool search --sync --name "^Graflink$" | head -1)
  import -window "$window" "$3/application-window.png"
  xdotool windowfocus --sync "$window" key --clearmodifiers alt+h
  sleep 0.5
  xdotool key --clearmodifiers a
  sleep 1.5
  about=$(xdotool search --sync --name "^About Graflink$" | head -1)
  import -window "$about" "$3/about-panel.png"
  kill -TERM %1
  wait
' screenshots "$program" "$home" "$out"
echo "screenshots: $(ls "$out")"
