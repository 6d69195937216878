#!/usr/bin/env bash
# The shipped examples as the README runs them, started from another working directory: the feeds on
# loopback HTTP, the CG server simulator, the scores document refreshed once (its filter is found
# beside it) and the election data source exported to a playlist whose items all have an ID and a
# name. The copies only get this run's ports. Usage: shipped-examples.sh GRAFLINK_CLI EXAMPLES_DIR
set -euo pipefail
cli=$1 examples=$2
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" LC_ALL=C.UTF-8
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
feed_port=$(free_port) cg_port=$(free_port)
cp -r "$examples" "$work/examples"
sed -i -e "s|127.0.0.1:8080/|127.0.0.1:$feed_port/|" -e "s|<integer>2001</integer>|<integer>$cg_port</integer>|" \
    "$work/examples/scores.graflink" "$work/examples/election.cgds"
python3 -m http.server --bind 127.0.0.1 --directory "$work/examples" "$feed_port" >/dev/null 2>&1 &
"$cli" --quiet cgsim --port "$cg_port" >/dev/null &
for _ in $(seq 50); do
  python3 -c "import socket,sys; [socket.create_connection(('127.0.0.1', p), 1) for p in sys.argv[1:]]" \
      "$feed_port" "$cg_port" 2>/dev/null && break
  sleep 0.2
done
cd /

scores=$("$cli" refresh "$work/examples/scores.graflink")
grep -q "HARBOUR CITY" <<<"$scores" || { echo "the filter did not run:"; echo "$scores"; exit 1; }

"$cli" datasource export "$work/examples/election.cgds" "$work/election.xpls" >"$work/out" 2>"$work/err"
cat "$work/out" "$work/err"
grep -q "^exported 40 playlist items to $work/election.xpls$" "$work/out"
! grep -q warning "$work/err"
blank=$(xmllint --xpath 'count(//playlistItem[normalize-space(uniqueID)="" or normalize-space(displayName)=""])' \
    "$work/election.xpls")
[ "$blank" = 0 ] || { echo "$blank playlist items without ID or name"; exit 1; }

# A feed without the elements the playlist needs is exported, with a warning that says so.
sed '/<RaceNumber>/d' "$work/examples/election.xml" >"$work/examples/bare.xml"
sed 's|/election.xml|/bare.xml|' "$work/examples/election.cgds" >"$work/examples/bare.cgds"
"$cli" datasource export "$work/examples/bare.cgds" "$work/bare.xpls" >/dev/null 2>"$work/err"
grep -q "warning: Of 40 playlist items, 40 no ID (the row's RaceNumber element): rows 1, 2, 3, 4, 5 and 35 more." \
    "$work/err" || { cat "$work/err"; exit 1; }
echo "the shipped examples work"
