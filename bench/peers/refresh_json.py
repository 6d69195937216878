#!/usr/bin/python3
"""What an operator would write instead of `graflink-cli refresh` for a JSON feed: fetch the feed,
json.loads it and walk each slash-separated key path (dictionary keys, array indexes).

Usage: refresh_json.py URL PATHS.txt   (one key path a line)
Prints one JSON array: the value each path leads to, null where it leads nowhere.
"""
import json
import sys
import urllib.request


def lookup(value, components):
    for component in components:
        if isinstance(value, dict):
            value = value.get(component)
        elif isinstance(value, list):
            index = int(component)
            value = value[index] if 0 <= index < len(value) else None
        else:
            return None
        if value is None:
            return None
    return value


def main():
    url, paths_file = sys.argv[1], sys.argv[2]
    with open(paths_file, encoding="utf-8") as f:
        paths = [line.rstrip("\n").split("/") for line in f if line.strip()]
    with urllib.request.urlopen(url) as response:
        feed = json.loads(response.read())
    json.dump([lookup(feed, components) for components in paths], sys.stdout)


if __name__ == "__main__":
    main()
