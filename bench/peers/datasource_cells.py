#!/usr/bin/python3
"""Peer of the data-source benchmark: the same feed, rows and cells with lxml.

Usage: datasource_cells.py FEED COLUMNS.json REPETITIONS
COLUMNS.json: {"rows": "/feed/race", "columns": [{"relative": "Name"} | {"format": [["text", "x"], ["column", 0]]}]}
Prints one JSON object: median seconds of the refresh (parse + row selection) and of computing
every cell, the number of cells, a checksum of their text, and the peak RSS in bytes.
"""
import json
import resource
import statistics
import sys
import time

from lxml import etree


def string_value(nodes):
    if not nodes:
        return ""
    node = nodes[0]
    if isinstance(node, str):
        return str(node)
    return "".join(node.itertext())


def main():
    feed, spec_path, repetitions = sys.argv[1], sys.argv[2], int(sys.argv[3])
    with open(spec_path, encoding="utf-8") as f:
        layout = json.load(f)
    compiled = [etree.XPath(c["relative"]) if "relative" in c else None for c in layout["columns"]]
    refresh_times, cell_times = [], []
    checksum, count = 0, 0
    for _ in range(repetitions):
        start = time.perf_counter()
        tree = etree.parse(feed)
        rows = tree.xpath(layout["rows"])
        refreshed = time.perf_counter()
        checksum, count = 0, 0
        for row in rows:
            raw = [string_value(xp(row)) if xp is not None else None for xp in compiled]
            for index, column in enumerate(layout["columns"]):
                if "format" in column:
                    value = "".join(part if kind == "text" else raw[part] for kind, part in column["format"])
                else:
                    value = raw[index]
                checksum += len(value)
                count += 1
        done = time.perf_counter()
        refresh_times.append(refreshed - start)
        cell_times.append(done - refreshed)
        del tree, rows
    print(json.dumps({
        "refresh": statistics.median(refresh_times),
        "cells": statistics.median(cell_times),
        "cellCount": count,
        "checksum": checksum,
        "peakRSS": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024,
    }))


if __name__ == "__main__":
    main()
