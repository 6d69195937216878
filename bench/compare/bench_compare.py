#!/usr/bin/python3
"""Whole-process comparisons: graflink-cli against the short Python scripts an operator would
write instead (bench/peers/), over the generated election feed served on loopback HTTP.

Usage: bench_compare.py GRAFLINK_CLI [--runs N] [--jobs NAME,...] [--keep DIR] [--graflink-env KEY=VALUE]...

For every job: checks that both sides print the same values, times both with hyperfine in one
run (medians of N runs after a warm-up), measures each side's peak resident memory (median of
three runs) and prints one table. `make bench-compare` runs it.
"""
import argparse
import http.server
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading

import election_feed

PEERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "peers")
PYTHON = "/usr/bin/python3"  # Debian's interpreter: python3-lxml is installed for it


class FeedServer:
    """Serves the feeds from memory on 127.0.0.1 and counts the GETs of each path."""

    def __init__(self, feeds):
        self.feeds = feeds  # path -> (content type, bytes)
        self.gets = {path: 0 for path in feeds}
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                entry = server.feeds.get(self.path)
                if entry is None:
                    self.send_error(404)
                    return
                server.gets[self.path] += 1
                self.send_response(200)
                self.send_header("Content-Type", entry[0])
                self.send_header("Content-Length", str(len(entry[1])))
                self.end_headers()
                self.wfile.write(entry[1])

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.httpd.server_address[1], path)


def run(command, env, check=True):
    result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if check and result.returncode != 0:
        sys.exit("bench-compare: %s failed (%d): %s" % (" ".join(command), result.returncode, result.stderr.strip()))
    return result.stdout


# Measures one run's peak resident memory from a small process of its own: Linux carries a
# process's peak across fork and exec, so a child of this process (which holds the feeds) would
# start from this process's size.
MEASURE = """
import os, subprocess, sys
process = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
_, status, usage = os.wait4(process.pid, 0)
print(usage.ru_maxrss * 1024 if os.waitstatus_to_exitcode(status) == 0 else -1)
"""


def peak_memory(command, env, runs=3):
    """Median peak resident set size in bytes of `command` over `runs` runs."""
    peaks = []
    for _ in range(runs):
        peak = int(run([PYTHON, "-c", MEASURE] + command, env))
        if peak < 0:
            sys.exit("bench-compare: %s failed" % " ".join(command))
        peaks.append(peak)
    return statistics.median(peaks)


def hyperfine(commands, runs, env, directory):
    export = os.path.join(directory, "hyperfine.json")
    run(["hyperfine", "--shell=none", "--warmup", "1", "--runs", str(runs), "--style", "none",
         "--export-json", export] + [" ".join(c) for c in commands], env)
    with open(export) as f:
        return [r["median"] for r in json.load(f)["results"]]


class Workspace:
    """The feeds, documents and data sources of the jobs, in one temporary folder."""

    def __init__(self, cli, directory, graflink_env):
        self.cli = cli
        self.graflink_env = graflink_env
        self.dir = directory
        self.env = dict(os.environ, XDG_CONFIG_HOME=self.path("config"), XDG_STATE_HOME=self.path("state"),
                        QT_QPA_PLATFORM="offscreen")
        xml, payload = election_feed.xml_feed(), election_feed.json_feed()
        self.sizes = {"xml": len(xml), "json": len(payload)}
        self.server = FeedServer({"/election.xml": ("application/xml", xml),
                                  "/election.json": ("application/json", payload)})
        paths = election_feed.variable_paths()
        self.write("xpaths.txt", "".join(x + "\n" for x, _ in paths))
        self.write("keypaths.txt", "".join(k + "\n" for _, k in paths))
        self.make_document("xml.graflink", "/election.xml", [x for x, _ in paths])
        self.make_document("json.graflink", "/election.json", [k for _, k in paths])
        self.make_data_source()
        self.make_playlist_source()

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, text):
        with open(self.path(name), "w", encoding="utf-8") as f:
            f.write(text)
        return self.path(name)

    def graflink(self, *arguments):
        return [self.cli] + list(arguments)

    def timed_graflink(self, *arguments):
        """graflink-cli under the --graflink-env settings, through env(1)."""
        return (["env"] + self.graflink_env if self.graflink_env else []) + self.graflink(*arguments)

    def make_document(self, name, feed, paths):
        arguments = ["new", self.path(name), "--source", self.server.url(feed), "--force"]
        for i, p in enumerate(paths):
            variable = {"XPath": p, "CGProjectName": "Results", "CGProjectFieldName": "Field %d" % i, "valueType": 0}
            arguments += ["--var", json.dumps(variable)]
        run(self.graflink(*arguments), self.env)

    def make_data_source(self):
        rows = "/ElectionResults/Race[*]"
        document = self.path("races.cgds")
        run(self.graflink("datasource", "new", document), self.env)
        arguments = ["datasource", "set", document, "--url", self.server.url("/election.xml"), "--xpath", rows]
        for title, relative in election_feed.data_source_columns():
            arguments += ["--add-column", "%s=%s/%s" % (title, rows, relative)]
        run(self.graflink(*arguments), self.env)
        self.write("columns.json", json.dumps(election_feed.data_source_columns()))

    def make_playlist_source(self):
        with open(self.path("playlist.xml"), "wb") as f:
            f.write(election_feed.playlist_feed())
        rows = "/Election/Race[*]"
        document = self.path("playlist.cgds")
        run(self.graflink("datasource", "new", document), self.env)
        arguments = ["datasource", "set", document, "--url", self.path("playlist.xml"), "--xpath", rows]
        columns = []
        for relative in election_feed.playlist_columns():
            arguments += ["--add-column", "%s=%s/%s" % (relative, rows, relative)]
            columns.append({"title": relative, "relative": relative})
        run(self.graflink(*arguments), self.env)
        self.write("playlist-columns.json", json.dumps({"rows": "/Election/Race", "columns": columns}))


def refresh_values(output):
    return [entry.get("value") for entry in json.loads(output)]


def jobs(w):
    """name -> (graflink command, peer command, how to compare the outputs, note)."""
    xml_url, json_url = w.server.url("/election.xml"), w.server.url("/election.json")
    return {
        "refresh-xml": (
            w.timed_graflink("refresh", w.path("xml.graflink"), "--no-publish", "--json"),
            [PYTHON, os.path.join(PEERS, "refresh_xml.py"), xml_url, w.path("xpaths.txt")],
            lambda ours, theirs: refresh_values(ours) == json.loads(theirs),
            "`refresh --no-publish --json`, XML, 1,000 absolute XPaths | lxml: urllib + fromstring + compiled XPath"),
        "refresh-json": (
            w.timed_graflink("refresh", w.path("json.graflink"), "--no-publish", "--json"),
            [PYTHON, os.path.join(PEERS, "refresh_json.py"), json_url, w.path("keypaths.txt")],
            lambda ours, theirs: refresh_values(ours) == json.loads(theirs),
            "`refresh --no-publish --json`, JSON, 1,000 key paths | urllib + json.loads + dictionary walk"),
        "datasource-show": (
            w.timed_graflink("datasource", "show", w.path("races.cgds"), "--json"),
            [PYTHON, os.path.join(PEERS, "datasource_rows.py"), xml_url, "/ElectionResults/Race", w.path("columns.json")],
            lambda ours, theirs: json.loads(ours) == json.loads(theirs),
            "`datasource show --json`, 17 columns x 5,000 rows | lxml, one compiled XPath per column"),
        "playlist-export": (
            w.timed_graflink("datasource", "export", w.path("playlist.cgds"), w.path("ours.xpls")),
            [PYTHON, os.path.join(PEERS, "playlist_export.py"), w.path("playlist.xml"), w.path("peer.xpls"),
             w.path("playlist-columns.json"), "1"],
            lambda ours, theirs: same_playlists(w.path("ours.xpls"), w.path("peer.xpls")),
            "`datasource export`, 5,000 items from a feed file | lxml: parse, build, pretty-print, rename"),
    }


def same_playlists(ours, theirs):
    """The same XML once canonicalised: the two serialisers differ in quotes and empty elements."""
    from lxml import etree
    return etree.tostring(etree.parse(ours), method="c14n") == etree.tostring(etree.parse(theirs), method="c14n")


def mib(value):
    return "%.0f MiB" % (value / 1048576)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("cli")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--jobs", default="refresh-xml,refresh-json,datasource-show,playlist-export")
    parser.add_argument("--keep", help="folder to keep the feeds, documents and outputs in")
    parser.add_argument("--graflink-env", action="append", default=[], metavar="KEY=VALUE",
                        help="environment of graflink-cli's timed runs only (allocator experiments: LD_PRELOAD, GLIBC_TUNABLES)")
    options = parser.parse_args()
    if not shutil.which("hyperfine"):
        sys.exit("bench-compare: hyperfine is missing (scripts/bootstrap-deps.sh installs it)")
    cli = os.path.abspath(options.cli)
    directory = options.keep or tempfile.mkdtemp(prefix="graflink-bench-compare-")
    os.makedirs(directory, exist_ok=True)
    try:
        w = Workspace(cli, directory, options.graflink_env)
        all_jobs = jobs(w)
        print("feeds: %.1f MB XML, %.1f MB JSON (5,000 races x 6 candidates); load average before: %.2f"
              % (w.sizes["xml"] / 1e6, w.sizes["json"] / 1e6, os.getloadavg()[0]))
        rows = []
        failed = False
        for name in options.jobs.split(","):
            ours, theirs, same, note = all_jobs[name]
            before = dict(w.server.gets)
            ours_output = run(ours, w.env)
            fetches = sum(w.server.gets.values()) - sum(before.values())
            theirs_output = run(theirs, w.env)
            agree = same(ours_output, theirs_output)
            failed |= not agree
            times = hyperfine([ours, theirs], options.runs, w.env, directory)
            memory = [peak_memory(ours, w.env), peak_memory(theirs, w.env)]
            rows.append((name, note, times, memory, agree, fetches if name.startswith(("refresh", "datasource-show")) else None))
        print()
        print("| Job | Graflink | Peer | Time ratio (peer / Graflink) | Memory (Graflink / peer) | Same values | Feed GETs |")
        print("|---|---|---|---|---|---|---|")
        for name, note, times, memory, agree, fetches in rows:
            print("| %s | %.3f s, %s | %.3f s, %s | %.2fx | %.2f | %s | %s |" % (
                name, times[0], mib(memory[0]), times[1], mib(memory[1]), times[1] / times[0], memory[0] / memory[1],
                "yes" if agree else "NO", "-" if fetches is None else fetches))
        print()
        for name, note, *_ in rows:
            print("%s: %s" % (name, note))
        print("medians of %d runs (hyperfine, after one warm-up); peak memory: median of 3 runs; load average after: %.2f"
              % (options.runs, os.getloadavg()[0]))
        if failed:
            sys.exit("bench-compare: the two sides printed different values")
    finally:
        if not options.keep:
            shutil.rmtree(directory, ignore_errors=True)


if __name__ == "__main__":
    main()
