#!/usr/bin/env python3
"""Load test: many documents at a 1 s period, each with its own slow loopback feed, all
publishing to the CG server simulator, run by one `graflink-cli run` process.

Usage: run_load.py GRAFLINK_CLI [--documents N] [--latency SECONDS] [--duration SECONDS]

Prints refreshes per second (from the program's one line per refresh), how many refreshes each
document made against how many were due, updates the simulator accepted, and the program's
resident memory over time. Exit status 1 when a document fell behind its period by more than a
tenth or memory kept growing in the second half of the run.
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
    return parser.parse_args()


class Feeds:
    """One HTTP server per document on 127.0.0.1, each answering after `latency` seconds."""

    def __init__(self, count, latency):
        self.count = count
        self.latency = latency
        self.ports = []
        self.requests = [0] * count
        self.ready = threading.Event()
        self.loop = None

    def start(self):
        threading.Thread(target=self._run, daemon=True).start()
        self.ready.wait()

    def _run(self):
        self.loop = asyncio.new_event_loop()
        asyncio.set_event_loop(self.loop)
        self.loop.run_until_complete(self._serve())
        self.ready.set()
        self.loop.run_forever()

    async def _serve(self):
        for index in range(self.count):
            server = await asyncio.start_server(
                lambda r, w, i=index: self._answer(i, r, w), "127.0.0.1", 0, backlog=64)
            self.ports.append(server.sockets[0].getsockname()[1])

    async def _answer(self, index, reader, writer):
        try:
            while True:
                line = await reader.readline()
                if not line or line in (b"\r\n", b"\n"):
                    break
            self.requests[index] += 1
            await asyncio.sleep(self.latency)
            body = b"<m><home>feed %d</home><n>%d</n></m>" % (index, self.requests[index])
            writer.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n"
                         b"Connection: close\r\n\r\n" % len(body) + body)
            await writer.drain()
        except (ConnectionError, asyncio.IncompleteReadError):
            pass
        finally:
            writer.close()


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

    simulator = subprocess.Popen([args.cli, "cgsim", "--port", "0"], env=environment,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    match = re.search(r"listening on http://127\.0\.0\.1:(\d+)", simulator.stderr.readline())
    if not match:
        sys.exit("the simulator did not start")
    cg_port = int(match.group(1))
    accepted = [0]

    def count_updates():
        for _ in simulator.stdout:
            accepted[0] += 1
    threading.Thread(target=count_updates, daemon=True).start()

    feeds = Feeds(args.documents, args.latency)
    feeds.start()

    variable = '{"XPath":"m/home","CGProjectName":"Scoreboard","CGProjectFieldName":"Home","valueType":0}'

    def make(index):
        path = os.path.join(home, f"doc{index:03d}.graflink")
        subprocess.run([args.cli, "new", path, "--source", f"http://127.0.0.1:{feeds.ports[index]}/feed.xml",
                        "--server", f"127.0.0.1:{cg_port}", "--publish", "--auto-refresh", "1",
                        "--var", variable], env=environment, check=True, capture_output=True)
        return path
    with ThreadPoolExecutor(4) as pool:
        documents = list(pool.map(make, range(args.documents)))

    run = subprocess.Popen([args.cli, "run", *documents], env=environment, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    refreshes = {}
    times = []

    def count_refreshes():
        for line in run.stdout:
            fields = line.rstrip("\n").split("\t")
            if len(fields) >= 3 and fields[2].startswith("refreshed"):
                refreshes[fields[1]] = refreshes.get(fields[1], 0) + 1
                times.append(time.monotonic())
    threading.Thread(target=count_refreshes, daemon=True).start()

    started = time.monotonic()
    memory = []
    while time.monotonic() - started < args.duration:
        time.sleep(1.0)
        memory.append((time.monotonic() - started, resident_kib(run.pid)))
    run.terminate()
    run.wait(timeout=30)
    simulator.terminate()
    simulator.wait(timeout=10)

    # The first timed refresh comes one period after start; the warm-up includes opening.
    warm_up = 3.0
    window = [t for t in times if t - started >= warm_up]
    rate = len(window) / (args.duration - warm_up) if args.duration > warm_up else 0.0
    counts = [refreshes.get(os.path.splitext(os.path.basename(d))[0], 0) for d in documents]
    due = args.duration - 1.0
    print(f"documents: {args.documents}, feed latency {args.latency} s, period 1 s, {args.duration:.0f} s run")
    print(f"refreshes per second (after {warm_up:.0f} s): {rate:.1f} (due: {args.documents:.1f})")
    print(f"refreshes per document: min {min(counts)}, median {statistics.median(counts):.0f}, "
          f"max {max(counts)} (due about {due:.0f})")
    print(f"updates the CG server accepted: {accepted[0]}")
    print(f"feed requests: {sum(feeds.requests)}")
    marks = [m for m in memory if int(m[0]) % 5 == 0] or memory
    print("resident memory: " + ", ".join(f"{t:.0f} s {kib / 1024:.0f} MiB" for t, kib in marks))

    half = [kib for t, kib in memory if t >= args.duration / 2]
    growing = len(half) > 2 and half[-1] > half[0] * 1.2
    behind = min(counts) < 0.9 * due
    if behind:
        print("FAIL: a document fell behind its period")
    if growing:
        print("FAIL: memory grew during the second half of the run")
    return 1 if behind or growing else 0


if __name__ == "__main__":
    sys.exit(main())
