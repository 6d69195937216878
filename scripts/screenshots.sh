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
# A home of its own: the windows show "~/…" and nothing of this machine's folders.
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" QT_QPA_PLATFORM=xcb
port=$((20000 + RANDOM % 20000))
"$cli" --quiet cgsim --port "$port" >/dev/null &
/usr/bin/python3 -m http.server --bind 127.0.0.1 --directory "$here/examples" $((port + 1)) >/dev/null 2>&1 &
sleep 1
# The bundled example, pointed at this run's feed and simulator.
sed -e "s|http://127.0.0.1:8080/scores.xml|http://127.0.0.1:$((port + 1))/scores.xml|" \
    -e "s|<integer>2001</integer>|<integer>$port</integer>|" \
    "$here/examples/scores.graflink" > "$home/Scores.graflink"
sed -e "s|http://127.0.0.1:8080/election.xml|http://127.0.0.1:$((port + 1))/election.xml|" \
    "$here/examples/election.cgds" > "$home/Election.cgds"
cp -r "$here/examples/parties" "$here/examples/scores-filter.js" "$home/"
"$cli" --quiet new "$home/Weather.graflink" --source "http://127.0.0.1:9/none.xml" >/dev/null

xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  set -euo pipefail
  shot() { w=$(xdotool search --sync --onlyvisible --name "$1" | head -1); xdotool windowraise "$w"; sleep 0.7; import -window "$w" "$3/$2.png"; }
  "$1" "$2/Scores.graflink" "$2/Weather.graflink" "$2/Election.cgds" &
  sleep 6
  shot "^Graflink$" application-window "$3"
  shot "^Scores — Graflink" document-window "$3"
  scores=$(xdotool search --onlyvisible --name "^Scores — Graflink" | head -1)
  xdotool windowraise "$scores" windowfocus "$scores" || true
  xdotool key --clearmodifiers alt+p
  sleep 3
  shot "^Paths of Scores$" paths-window "$3"
  app=$(xdotool search --onlyvisible --name "^Graflink$" | head -1)
  xdotool windowraise "$app" windowfocus "$app" || true
  xdotool key --clearmodifiers ctrl+comma
  sleep 1
  shot "^Preferences — Graflink$" preferences "$3"
  xdotool windowraise "$app" windowfocus "$app" || true
  xdotool key --clearmodifiers alt+h
  sleep 0.5
  xdotool key --clearmodifiers a
  sleep 1.5
  shot "^About Graflink$" about-panel "$3"
  xdotool key --clearmodifiers Escape
  xdotool windowraise "$app" windowfocus "$app" || true
  xdotool key --clearmodifiers alt+h
  sleep 0.5
  xdotool key --clearmodifiers s
  sleep 1.5
  shot "^Contact Support$" contact-support "$3"
  # Out of the way: the next pictures show one window each.
  xdotool windowunmap "$(xdotool search --onlyvisible --name "^Contact Support$" | head -1)"
  sleep 0.5
  shot "^Election — Graflink" data-source-editor "$3"
  election=$(xdotool search --onlyvisible --name "^Election — Graflink" | head -1)
  xdotool windowraise "$election" windowfocus "$election" || true
  xdotool key --clearmodifiers alt+s
  sleep 1.5
  shot "^Data Source Settings" data-source-settings "$3"
  xdotool key --clearmodifiers Escape
  sleep 0.5
  xdotool windowraise "$election" windowfocus "$election" || true
  xdotool key --clearmodifiers ctrl+shift+f
  xdotool type --delay 60 "Senate"
  sleep 1
  shot "^Election — Graflink" data-source-filter "$3"
  xdotool key --clearmodifiers Escape
  # Into the table, then its last column: the colours and the logos.
  xdotool mousemove --window "$election" 330 150 click 1
  xdotool key --clearmodifiers End
  sleep 1
  shot "^Election — Graflink" data-source-format "$3"
  xdotool key --clearmodifiers alt+d
  sleep 0.3
  xdotool key --clearmodifiers c e
  sleep 1
  shot "^Format of Column" data-source-column-format "$3"
  kill -TERM %1
  wait
' screenshots "$program" "$home" "$out"
echo "screenshots: $(ls "$out")"
