#!/usr/bin/env python3
"""rooms.py [ROOT]: the rooms of tools/. A program's room (a folder of tools/ with a main in it)
includes from its own room, the shared rooms (the other folders of tools/) and the floors below,
never from another program's room; a shared room never includes from a program's room; and every
source file of tools/ is in a room. A program's room may have inner rooms (SUBROOMS): each includes
only the inner rooms it is allowed to, and a file at the room's top that an inner room includes
includes no inner room itself, so that no ring closes through the top. Prints every break of that;
exit 1 if there is any."""
import os, re, sys

root = sys.argv[1] if len(sys.argv) > 1 else '.'
tools = os.path.join(root, 'tools')
sources = {}  # room -> {file: text}
bad = []
for d, _, fs in os.walk(tools):
    for f in fs:
        if not f.endswith(('.h', '.cpp')): continue
        path = os.path.relpath(os.path.join(d, f), root)
        parts = path.split(os.sep)
        if len(parts) < 3:
            bad.append(f'in no room: {path}')
            continue
        sources.setdefault(parts[1], {})[path] = open(os.path.join(d, f), errors='replace').read()
programs = {room for room, files in sources.items()
            if any(re.search(r'^int main\s*\(', text, re.M) for text in files.values())}
for room, files in sorted(sources.items()):
    for path, text in sorted(files.items()):
        for inc in re.findall(r'#include\s+"tools/([^/"]+)/[^"]*"', text):
            if inc == room or inc not in programs: continue
            kind = 'program' if room in programs else 'shared room'
            bad.append(f'{kind} {room} includes program {inc}: {path}')

# The inner rooms of a program's room, and which inner rooms each may include.
SUBROOMS = {'make': {'photos': set(), 'music': set(), 'places': set(), 'show': {'photos', 'music', 'places'}}}
for room, inner in SUBROOMS.items():
    files = sources.get(room, {})
    def inner_room(path):
        parts = path.split(os.sep)
        return parts[2] if len(parts) > 3 else None
    def includes(text):
        return re.findall(r'#include\s+"(tools/' + room + r'/[^"]*)"', text)
    for path, text in sorted(files.items()):
        here = inner_room(path)
        if here is not None and here not in inner:
            bad.append(f'{path}: in no inner room of {room} ({", ".join(sorted(inner))})')
            continue
        if here is None: continue
        for inc in includes(text):
            there = inner_room(inc)
            if there is None:
                ring = [i for i in includes(files.get(inc, '')) if inner_room(i) is not None]
                if ring: bad.append(f'{path} includes {inc}, which includes inner room {ring[0]}')
            elif there != here and there not in inner[here]:
                bad.append(f'{room}/{here} includes {room}/{there}: {path}')

print('\n'.join(bad) if bad else f'rooms of tools/: programs {", ".join(sorted(programs))}; shared '
      f'{", ".join(sorted(set(sources) - programs))}; no room includes a program\'s room')
sys.exit(1 if bad else 0)
