#!/usr/bin/python3
"""What an operator would write instead of `graflink-cli refresh` for an XML feed: fetch the feed,
parse it with lxml, evaluate each path (compiled once) and print the first node's string value.

Usage: refresh_xml.py URL PATHS.txt   (one XPath a line)
Prints one JSON array: the value of each path in order, null where a path selects nothing.
"""
import json
import sys
import urllib.request

from lxml import etree


def main():
    url, paths_file = sys.argv[1], sys.argv[2]
    with open(paths_file, encoding="utf-8") as f:
        paths = [etree.XPath(line.rstrip("\n")) for line in f if line.strip()]
    with urllib.request.urlopen(url) as response:
        root = etree.fromstring(response.read())
    values = []
    for path in paths:
        nodes = path(root)
        if not nodes:
            values.append(None)
        elif isinstance(nodes[0], str):
            values.append(str(nodes[0]))
        else:
            values.append("".join(nodes[0].itertext()))
    json.dump(values, sys.stdout)


if __name__ == "__main__":
    main()
