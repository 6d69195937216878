#!/usr/bin/python3
"""What an operator would write instead of `graflink-cli datasource show --json`: fetch the feed,
parse it with lxml, select the rows and read every column through its own compiled XPath.

Usage: datasource_rows.py URL ROWS_XPATH COLUMNS.json   (COLUMNS.json: [[title, relative XPath], ...])
Prints one JSON array with an object per row, column title -> the first node's string value.
"""
import json
import sys
import urllib.request

from lxml import etree


def main():
    url, rows_path, columns_file = sys.argv[1], sys.argv[2], sys.argv[3]
    with open(columns_file, encoding="utf-8") as f:
        columns = [(title, etree.XPath(relative)) for title, relative in json.load(f)]
    with urllib.request.urlopen(url) as response:
        root = etree.fromstring(response.read())
    rows = []
    for row in root.xpath(rows_path):
        cells = {}
        for title, path in columns:
            nodes = path(row)
            cells[title] = "".join(nodes[0].itertext()) if nodes else ""
        rows.append(cells)
    json.dump(rows, sys.stdout, ensure_ascii=False, indent=2)


if __name__ == "__main__":
    main()
