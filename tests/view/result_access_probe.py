#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A screen reader's view of the window's result table, through the accessibility bus.

    result_access_probe.py PID

Finds the application of process PID, prints its table named "Search results" as JSON
lines: {"table": role, "headers": [...], "rows": n, "row0": [cells]}. Then prints
"listening", then "ready" once the window's renaming of itself to "probe-start..." reaches it,
and takes in every event from then until an object is named "probe-end" (or 30 s have
passed), and prints what it heard: {"events": {type: count}, "label_events": {...},
"table_events": {...}}, the last two for the label that says what was found and the table.
"""
import json
import sys

import pyatspi
from gi.repository import GLib

pid = int(sys.argv[1])


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def find(node, wanted, depth=0):
    if node is None or depth > 12:
        return None
    if wanted(node):
        return node
    for child in node:
        found = find(child, wanted, depth + 1)
        if found is not None:
            return found
    return None


app = application()
table = find(app, lambda n: n.getRole() == pyatspi.ROLE_TABLE and n.name == 'Search results')
# The label that says what was found: " n Found" since the search before.
label = find(app, lambda n: n.getRole() == pyatspi.ROLE_LABEL and n.name.endswith('Found'))
if table is None or label is None:
    print(json.dumps({'table': None}), flush=True)
    sys.exit(1)
grid = table.queryTable()
headers = [grid.getColumnHeader(c).name if grid.getColumnHeader(c) is not None else None
           for c in range(grid.nColumns)]
row0 = [grid.getAccessibleAt(0, c).name for c in range(grid.nColumns)] if grid.nRows > 0 else []
print(json.dumps({'table': table.getRoleName(), 'headers': headers, 'rows': grid.nRows, 'row0': row0}), flush=True)

events = {}
table_events = {}
label_events = {}
ready = []


def on_event(event):
    events[event.type] = events.get(event.type, 0) + 1
    try:
        source = event.source
        if event.type.startswith('object:property-change:accessible-name') and source.name == 'probe-end':
            pyatspi.Registry.stop()
            return
        if event.type.startswith('object:property-change:accessible-name') and source.name.startswith('probe-start'):
            if ready:
                return
            # The window's events reach this listener now: what follows is counted.
            ready.append(True)
            events.clear()
            table_events.clear()
            label_events.clear()
            print('ready', flush=True)
            return
        if source == label:
            label_events[event.type] = label_events.get(event.type, 0) + 1
        if source == table or (source.parent is not None and source.parent == table):
            table_events[event.type] = table_events.get(event.type, 0) + 1
    except Exception:  # an object gone meanwhile
        pass


def too_long():
    pyatspi.Registry.stop()
    return False


pyatspi.Registry.registerEventListener(on_event, 'object', 'focus')
GLib.timeout_add_seconds(30, too_long)
print('listening', flush=True)
pyatspi.Registry.start()
print(json.dumps({'events': events, 'label_events': label_events, 'table_events': table_events}), flush=True)
