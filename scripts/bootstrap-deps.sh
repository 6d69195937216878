#!/usr/bin/env bash
# Installs every Debian package Graflink needs to build, test and benchmark.
# Idempotent: quiet when everything is present; runs `apt-get update` only
# when something must be installed.
set -euo pipefail

packages=(
  # toolchain; clang-format checks the committed .clang-format in `make test`
  g++ cmake ninja-build ccache pkg-config make clang-format
  # Qt 6: core, widgets, network, web sockets, HTTP server, QML engine, D-Bus, tests
  qt6-base-dev qt6-base-dev-tools qt6-websockets-dev qt6-httpserver-dev qt6-declarative-dev
  libgl-dev
  # feed parsing, HTTP, formats
  libcurl4-openssl-dev zlib1g-dev libxml2-dev nlohmann-json3-dev libsimdjson-dev libplist-dev libicu-dev
  # the programs' allocator (docs/performance.md)
  libmimalloc-dev
  # keychain, support archive
  libsecret-1-dev libarchive-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # the lxml peers of the benchmarks (run with /usr/bin/python3); whole-process timing
  python3-lxml hyperfine
  # the Prometheus text-format parser the health endpoint's test reads /metrics with
  python3-prometheus-client
  # the control page's browser tests: headless Chromium driven through Selenium; python3-websockets
  # opens the load test's pages and the fast checks' sockets
  chromium chromium-driver python3-selenium python3-websockets
  # fuzzing (libFuzzer ships with clang's runtime)
  clang libclang-rt-14-dev
  # a private D-Bus session for notification and keychain tests
  dbus dbus-x11 gnome-keyring
  # screenshots of the desktop program on a virtual X screen (scripts/screenshots.sh)
  xvfb xauth xdotool imagemagick
  # the Debian package (make package): dependencies of the binaries, the desktop entry's and
  # AppStream file's validators, the icon's PNG from its SVG
  dpkg-dev desktop-file-utils appstream librsvg2-bin
  # the manual pages, made from the programs' --help at build time
  help2man
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap-deps: installing ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "bootstrap-deps: need root (or sudo) to install: ${missing[*]}" >&2; exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
