#!/usr/bin/python3
"""Peer of the playlist-export benchmark: the same playlist from the same feed with lxml.

Usage: playlist_export.py FEED OUT COLUMNS.json REPETITIONS
COLUMNS.json: {"rows": "/Election/Race", "columns": [{"title": "...", "relative": "Candidate[1]/Winner"}]}
Builds the playlist (one item per race, the registered defaults), writes it pretty-printed through a
temporary file renamed over OUT, and prints one JSON object: the median seconds of build + write
(the feed is parsed once, outside the timing, as the data source holds it already) and the size of
the written file.
"""
import json
import math
import os
import statistics
import sys
import tempfile
import time

from lxml import etree

XSI = "http://www.w3.org/2001/XMLSchema-instance"
LOCATION = "https://www.norvanemedia.com/XSDs/VistacastVideoSchema40.xsd"
XML_SPACE = "{http://www.w3.org/XML/1998/namespace}space"
PROJECTS = ["Race_1_candidate"] + ["Race_%d_candidates" % k for k in range(2, 7)]
D = 7.0


def text(row, path):
    found = row.xpath(path)
    return "".join(found[0].itertext()) if found else ""


def add(parent, name, value=None):
    element = etree.SubElement(parent, name)
    if value is not None:
        element.text = value
    return element


def item(root, row, columns):
    race = {name: text(row, name) for name in ("RaceNumber", "Name1", "PrecinctsPercentage")}
    candidates = []
    while text(row, "Candidate[%d]/Name" % (len(candidates) + 1)):
        i = len(candidates) + 1
        candidates.append([text(row, "Candidate[%d]/%s" % (i, f))
                           for f in ("FirstName", "LastName", "Votes", "PercentageOfVotesCast", "Winner")])
    n = len(candidates)
    element = add(root, "playlistItem")
    add(element, "uniqueID", race["RaceNumber"])
    add(element, "mediaFilePath", "").set(XML_SPACE, "preserve")
    add(element, "displayName", race["Name1"])
    add(element, "isOffline", "false")
    add(element, "isStillImage", "true")
    if n:
        parameters = [race["Name1"].upper(), race["PrecinctsPercentage"].upper()]
        for first, last, votes, percentage, winner in candidates:
            parameters += [first.upper(), last.upper(), votes, percentage, winner.upper()]
        action = add(add(element, "actions"), "action")
        for key, value in (("name", "03_Race_Start"), ("time", "%.6f" % 0.0), ("positionType", "fromStart"),
                           ("parameter", "##".join(parameters)), (XML_SPACE, "preserve")):
            action.set(key, value)
    duration = "%0.3f" % ((D + D * math.floor((n - 1) / 2) + 2.0) if n else 2.0)
    add(element, "durationInSeconds", duration)
    add(element, "fileDurationInSeconds", duration)
    projects = add(element, "itemCGProjects")
    for k, name in enumerate(PROJECTS, start=1):
        project = add(projects, "itemCGProject")
        add(project, "projectName", name)
        add(project, "shouldRun", "true" if k == n else "false")
        if k == n:
            values = add(project, "itemValues")
            for title, relative in columns:
                value = add(values, "itemValue")
                add(value, "itemName", title)
                cell = text(row, relative)
                add(value, "itemStringValue", cell)
                if "/Winner" in "/" + relative:
                    add(value, "itemHiddenValue", "false" if cell.lower() == "w" else "true")


def export(rows, columns, out):
    root = etree.Element("playlistDocument", nsmap={"xsi": XSI})
    root.set("{%s}noNamespaceSchemaLocation" % XSI, LOCATION)
    for row in rows:
        item(root, row, columns)
    data = etree.tostring(root, xml_declaration=True, encoding="UTF-8", pretty_print=True)
    fd, temporary = tempfile.mkstemp(dir=os.path.dirname(out))
    with os.fdopen(fd, "wb") as f:
        f.write(data)
    os.replace(temporary, out)


def main():
    feed, out, spec_path, repetitions = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    with open(spec_path, encoding="utf-8") as f:
        layout = json.load(f)
    columns = [(c["title"], c["relative"]) for c in layout["columns"]]
    rows = etree.parse(feed).xpath(layout["rows"])
    times = []
    for _ in range(repetitions):
        start = time.perf_counter()
        export(rows, columns, out)
        times.append(time.perf_counter() - start)
    print(json.dumps({"export": statistics.median(times), "bytes": os.path.getsize(out)}))


if __name__ == "__main__":
    main()
