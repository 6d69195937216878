#!/usr/bin/env python3
"""Load test: many documents at a 1 s period, each with its own slow loopback feed and three
fields, all publishing to the CG server simulator, run by one `graflink-cli run` process.

Usage: run_load.py GRAFLINK_CLI [--documents N] [--latency SECONDS] [--duration SECONDS]
                   [--period SECONDS] [--fields 0-3] [--pages N]

Prints refreshes per second (from the program's one line per refresh), how many refreshes each
document made against how many were due, updates the simulator accepted, the program's CPU time
per refresh (from /proc/PID/stat, after the warm-up), how often its threads woke up, and its
resident memory over time. With --pages N, N control pages are open all along: a process of its
own holds N authenticated web sockets to the control page's /live and reads every message (their
count and size are printed). The feeds are served by a process of their own, whose CPU use and
answer delay are printed too, so that one can tell the feeds were not the limit. Exit status 1
when a document fell behind its period by more than a tenth or memory kept growing in the second
half of the run.
"""
import argparse
import asyncio
import os
import re
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from concurrent.futures import ThreadPoolExecutor


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("cli")
    parser.add_argument("--documents", type=int, default=200)
    parser.add_argument("--latency", type=float, default=0.5)
    parser.add_argument("--duration", type=float, default=30.0)
    parser.add_argument("--period", type=float, default=1.0)
    parser.add_argument("--fields", type=int, default=3, choices=range(0, 4),
                        help="fields published per refresh (0: the documents only fetch)")
    parser.add_argument("--pages", type=int, default=0,
                        help="control pages with live updates open during the run (web sockets)")
    return parser.parse_args()


TOKEN = "load-test-token"


def serve_pages(count, port):
    """Opens `count` web sockets to the control page's /live, each proving the token with its
    first message, and reads whatever comes until standard input closes; then prints how many
    pages got in, and the messages and bytes they received in all."""
    import websockets

    received = [0, 0]
    joined = [0]

    async def page():
        origin = f"http://127.0.0.1:{port}"
        async with websockets.connect(f"ws://127.0.0.1:{port}/live", origin=origin, max_size=None,
                                      close_timeout=0.5) as socket:
            await socket.send('{"token":"%s"}' % TOKEN)
            joined[0] += 1
            async for message in socket:
                received[0] += 1
                received[1] += len(message)

    async def run():
        tasks = [asyncio.create_task(page()) for _ in range(count)]
        await asyncio.get_running_loop().run_in_executor(None, sys.stdin.read)
        for task in tasks:
            task.cancel()
        print(f"{joined[0]} {received[0]} {received[1]}", flush=True)
    asyncio.run(run())


class Feeds:
    """One HTTP server per document on 127.0.0.1, each answering after `latency` seconds. Runs in
    a process of its own (serve_feeds), so that its CPU time is its own."""

    def __init__(self, count, latency):
        self.count = count
        self.latency = latency
        self.ports = []
        self.requests = [0] * count
        self.late = 0
        self.loop = None

    async def run(self):
        asyncio.get_running_loop().set_exception_handler(lambda loop, context: None)
        await self._serve()
        print(" ".join(str(port) for port in self.ports), flush=True)
        lags = []
        watch = asyncio.create_task(self._watch_lag(lags))
        # Standard input closing ends the server; it then reports what it did.
        await asyncio.get_running_loop().run_in_executor(None, sys.stdin.read)
        watch.cancel()
        lags.sort()
        worst = lags[-1] if lags else 0.0
        p99 = lags[int(len(lags) * 0.99)] if lags else 0.0
        print(f"{sum(self.requests)} {self.late} {p99 * 1000:.0f} {worst * 1000:.0f}", flush=True)

    async def _watch_lag(self, lags):
        """How late a 10 ms timer of the server's event loop fires: the delay every request
        waiting in the loop sees on top of the latency asked for."""
        while True:
            asked = time.monotonic()
            await asyncio.sleep(0.01)
            lags.append(time.monotonic() - asked - 0.01)

    async def _serve(self):
        for index in range(self.count):
            server = await asyncio.start_server(
                lambda r, w, i=index: self._answer(i, r, w), "127.0.0.1", 0, backlog=64)
            self.ports.append(server.sockets[0].getsockname()[1])

    async def _answer(self, index, reader, writer):
        # Connections are kept for the next request, as feed servers and their CDNs do.
        try:
            while True:
                while True:
                    line = await reader.readline()
                    if not line:
                        return
                    if line in (b"\r\n", b"\n"):
                        break
                self.requests[index] += 1
                asked = time.monotonic()
                await asyncio.sleep(self.latency)
                # An answer more than 50 ms later than asked for means the server was the limit.
                if time.monotonic() - asked > self.latency + 0.05:
                    self.late += 1
                body = b"<m><home>feed %d</home><away>guests %d</away><n>%d</n></m>" % (
                    index, index, self.requests[index])
                writer.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n\r\n"
                             % len(body) + body)
                await writer.drain()
        except (ConnectionError, asyncio.IncompleteReadError):
            pass
        finally:
            writer.close()


def serve_feeds(count, latency):
    asyncio.run(Feeds(count, latency).run())


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def context_switches(pid):
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as status:
                for line in status:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        total += int(line.split()[1])
        except FileNotFoundError:
            pass
    return total


def refresh_durations(port):
    """How long refreshes took, from start to values applied: the status endpoint's histogram
    summed over every document, as (upper bound, count) pairs."""
    if port is None:
        return []
    import urllib.request
    request = urllib.request.Request(f"http://127.0.0.1:{port}/metrics",
                                     headers={"Authorization": f"Bearer {TOKEN}"})
    text = urllib.request.urlopen(request, timeout=30).read().decode()
    buckets = {}
    for line in text.splitlines():
        match = re.match(r'graflink_refresh_duration_seconds_bucket\{.*le="([^"]+)"\} (\d+)', line)
        if match:
            buckets[match.group(1)] = buckets.get(match.group(1), 0) + int(match.group(2))
    return sorted(((float(bound), count) for bound, count in buckets.items()), key=lambda b: b[0])


def intact(path):
    """Whether a document is still a whole property list holding its variables."""
    try:
        with open(path, "rb") as file:
            text = file.read()
    except OSError:
        return False
    return text.startswith(b"<?xml") and text.rstrip().endswith(b"</plist>") and b"<key>variables</key>" in text


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    args = parse_arguments()
    environment = dict(os.environ)
    home = tempfile.mkdtemp(prefix="graflink-load-")
    environment["XDG_CONFIG_HOME"] = os.path.join(home, "config")
    environment["XDG_STATE_HOME"] = os.path.join(home, "state")
    # Both with and without pages the status server has a token, so that the runs compare.
    environment["GRAFLINK_LOAD_TOKEN"] = TOKEN

    simulator = subprocess.Popen([args.cli, "cgsim", "--port", "0"], env=environment,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    match = None
    for _ in range(10):  # the technical log may announce its folder first
        match = re.search(r"listening on http://127\.0\.0\.1:(\d+)", simulator.stderr.readline())
        if match:
            break
    threading.Thread(target=simulator.stderr.read, daemon=True).start()
    if not match:
        sys.exit("the simulator did not start")
    cg_port = int(match.group(1))
    accepted = [0]

    def count_updates():
        for _ in simulator.stdout:
            accepted[0] += 1
    threading.Thread(target=count_updates, daemon=True).start()

    feeds = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--serve-feeds",
                              str(args.documents), str(args.latency)],
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    feed_ports = [int(port) for port in feeds.stdout.readline().split()]

    # Three fields per document, one of them changing at every refresh.
    variables = []
    for path, field in (("m/home", "Home"), ("m/away", "Away"), ("m/n", "Clock"))[:args.fields]:
        variables += ["--var", '{"XPath":"%s","CGProjectName":"Scoreboard","CGProjectFieldName":"%s",'
                               '"valueType":0}' % (path, field)]

    def make(index):
        path = os.path.join(home, f"doc{index:03d}.graflink")
        subprocess.run([args.cli, "new", path, "--source", f"http://127.0.0.1:{feed_ports[index]}/feed.xml",
                        "--server", f"127.0.0.1:{cg_port}", "--publish", "--auto-refresh", f"{args.period:g}",
                        *variables], env=environment, check=True, capture_output=True)
        return path
    with ThreadPoolExecutor(4) as pool:
        documents = list(pool.map(make, range(args.documents)))

    run = subprocess.Popen([args.cli, "run", "--status-port", "0", "--status-token-env", "GRAFLINK_LOAD_TOKEN",
                            *documents], env=environment,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    status_port = [None]
    refreshes = {}
    failures = [0]
    first = {}
    times = []

    def count_refreshes():
        for line in run.stdout:
            fields = line.rstrip("\n").split("\t")
            if len(fields) >= 3 and fields[2].startswith("refreshed"):
                now = time.monotonic()
                refreshes[fields[1]] = refreshes.get(fields[1], 0) + 1
                first.setdefault(fields[1], now)
                times.append(now)
            elif line.startswith("status on http://"):
                status_port[0] = int(re.search(r":(\d+)/status", line).group(1))
            elif len(fields) >= 3 and fields[2].startswith("no feed"):
                failures[0] += 1
    threading.Thread(target=count_refreshes, daemon=True).start()

    pages = None
    if args.pages:
        while status_port[0] is None and run.poll() is None:
            time.sleep(0.05)
        pages = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--serve-pages", str(args.pages),
                                  str(status_port[0])], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    started = time.monotonic()
    # The first timed refresh comes one period after start; the warm-up includes opening.
    warm_up = 3.0
    memory = []
    marks = {}
    while time.monotonic() - started < args.duration:
        time.sleep(1.0)
        now = time.monotonic()
        memory.append((now - started, resident_kib(run.pid)))
        if "cpu" not in marks and now - started >= warm_up:
            marks["cpu"] = (now, cpu_seconds(run.pid), cpu_seconds(feeds.pid), len(times),
                            context_switches(run.pid))
    ended = (time.monotonic(), cpu_seconds(run.pid), cpu_seconds(feeds.pid), len(times),
             context_switches(run.pid))
    durations = refresh_durations(status_port[0])
    page_figures = None
    if pages:
        pages.stdin.close()
        page_figures = [int(x) for x in pages.stdout.readline().split()]
        pages.terminate()  # no need to wait for the sockets' closing handshakes
        pages.wait(timeout=10)
    run.terminate()
    stop_asked = time.monotonic()
    run_status = run.wait(timeout=30)
    stop_seconds = time.monotonic() - stop_asked
    simulator.terminate()
    simulator.wait(timeout=10)
    feeds.stdin.close()
    feed_requests, feed_late, feed_lag_p99, feed_lag_worst = (int(x) for x in feeds.stdout.readline().split())
    feeds.wait(timeout=10)

    window = [t for t in times if t - started >= warm_up]
    rate = len(window) / (args.duration - warm_up) if args.duration > warm_up else 0.0
    names = [os.path.splitext(os.path.basename(d))[0] for d in documents]
    counts = [refreshes.get(name, 0) for name in names]
    # Each document's own period is counted from its first refresh: opening a thousand documents
    # takes a few seconds, and the last ones opened start later.
    stopped = ended[0]
    kept = [(refreshes.get(name, 0) - 1) / max(1e-9, (stopped - first[name]) / args.period)
            for name in names if name in first and stopped - first[name] >= 5 * args.period]
    due = (args.duration - args.period) / args.period
    print(f"documents: {args.documents}, feed latency {args.latency} s, period {args.period:g} s, "
          f"{args.duration:.0f} s run")
    print(f"refreshes per second (after {warm_up:.0f} s): {rate:.1f} (due: {args.documents / args.period:.1f})")
    print(f"refreshes per document: min {min(counts)}, median {statistics.median(counts):.0f}, "
          f"max {max(counts)} (due about {due:.0f})")
    if kept:
        print(f"periods kept per document since its first refresh: min {min(kept) * 100:.0f} %, "
              f"median {statistics.median(kept) * 100:.0f} %")
    print(f"refreshes that brought no feed: {failures[0]}")
    if durations and durations[-1][1]:
        total = durations[-1][1]
        print("refresh durations (share within): " + ", ".join(
            f"{bound:g} s {count / total * 100:.1f} %" for bound, count in durations if bound <= 5))
    print(f"updates the CG server accepted: {accepted[0]}")
    print(f"feed requests: {feed_requests}")
    if "cpu" in marks:
        begin = marks["cpu"]
        seconds = ended[0] - begin[0]
        counted = ended[3] - begin[3]
        cpu = ended[1] - begin[1]
        per_refresh = f"{cpu / counted * 1e6:.0f} µs" if counted else "(no refreshes to divide by)"
        print(f"graflink-cli CPU: {cpu / seconds * 100:.1f} % of one core, {per_refresh} per refresh "
              f"({counted} refreshes in {seconds:.1f} s)")
        print(f"graflink-cli wake-ups (context switches of all threads): "
              f"{(ended[4] - begin[4]) / seconds:.0f} per second")
        print(f"feed server CPU: {(ended[2] - begin[2]) / seconds * 100:.1f} % of one core; "
              f"answers later than asked by over 50 ms: {feed_late} of {feed_requests}; its event loop "
              f"ran late by {feed_lag_p99} ms (99th percentile), {feed_lag_worst} ms at worst")
    if page_figures:
        joined, messages, size = page_figures
        print(f"control pages: {joined} of {args.pages} got in; {messages / max(1, joined) / args.duration:.1f} "
              f"messages per page per second, {size / max(1, joined) / args.duration / 1024:.0f} KiB per page "
              f"per second")
    print(f"graflink-cli exit status after SIGTERM: {run_status}, in {stop_seconds:.2f} s")
    marks = [m for m in memory if int(m[0]) % 5 == 0] or memory
    print("resident memory: " + ", ".join(f"{t:.0f} s {kib / 1024:.0f} MiB" for t, kib in marks))

    half = [kib for t, kib in memory if t >= args.duration / 2]
    growing = len(half) > 2 and half[-1] > half[0] * 1.2
    behind = not kept or min(kept) < 0.9 or len(kept) < len(documents)
    if behind:
        print("FAIL: a document fell behind its period")
    if growing:
        print("FAIL: memory grew during the second half of the run")
    damaged = [d for d in documents if not intact(d)]
    print(f"documents intact after the stop: {len(documents) - len(damaged)} of {len(documents)}")
    if run_status != 0:
        print("FAIL: graflink-cli did not stop cleanly on SIGTERM")
    if damaged:
        print("FAIL: documents damaged: " + ", ".join(damaged[:5]))
    return 1 if behind or growing or run_status != 0 or damaged else 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--serve-feeds":
        serve_feeds(int(sys.argv[2]), float(sys.argv[3]))
        sys.exit(0)
    if len(sys.argv) == 4 and sys.argv[1] == "--serve-pages":
        serve_pages(int(sys.argv[2]), int(sys.argv[3]))
        sys.exit(0)
    sys.exit(main())
