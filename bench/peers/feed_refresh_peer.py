#!/usr/bin/python3
"""Peer for the feed refresh benchmark: parse a feed and evaluate the same paths with lxml/json.

Usage: feed_refresh_peer.py FEED.xml FEED.json PATHS.txt REPETITIONS
Prints one JSON object: lists of seconds per repetition for each phase.
"""
import json
import sys
import time

from lxml import etree


def main():
    xml_path, json_path, paths_path, repetitions = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    with open(paths_path) as f:
        lines = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    xpaths = [line[0] for line in lines]
    keypaths = [line[1].split("/") for line in lines]
    xml_bytes = open(xml_path, "rb").read()
    json_bytes = open(json_path, "rb").read()
    compiled = [etree.XPath(p) for p in xpaths]
    result = {"xml_parse": [], "xml_evaluate": [], "json_parse": [], "json_evaluate": []}
    for _ in range(repetitions):
        start = time.perf_counter()
        document = etree.fromstring(xml_bytes)
        result["xml_parse"].append(time.perf_counter() - start)
        tree = document.getroottree()
        start = time.perf_counter()
        values = []
        for xpath in compiled:
            nodes = xpath(tree)
            if nodes:
                node = nodes[0]
                values.append(node if isinstance(node, str) else "".join(node.itertext()))
        result["xml_evaluate"].append(time.perf_counter() - start)

        start = time.perf_counter()
        feed = json.loads(json_bytes)
        result["json_parse"].append(time.perf_counter() - start)
        start = time.perf_counter()
        values = []
        for components in keypaths:
            value = feed
            for component in components:
                if isinstance(value, dict):
                    value = value.get(component)
                elif isinstance(value, list):
                    index = int(component)
                    value = value[index] if 0 <= index < len(value) else None
                else:
                    value = None
                if value is None:
                    break
            values.append(value)
        result["json_evaluate"].append(time.perf_counter() - start)
    print(json.dumps(result))


if __name__ == "__main__":
    main()
