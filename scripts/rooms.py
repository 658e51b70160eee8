#!/usr/bin/env python3
"""rooms.py [ROOT]: the rooms of tools/. A program's room (a folder of tools/ with a main in it)
includes from its own room, the shared rooms (the other folders of tools/) and the floors below,
never from another program's room; a shared room never includes from a program's room; and every
source file of tools/ is in a room. Prints every break of that; exit 1 if there is any."""
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
print('\n'.join(bad) if bad else f'rooms of tools/: programs {", ".join(sorted(programs))}; shared '
      f'{", ".join(sorted(set(sources) - programs))}; no room includes a program\'s room')
sys.exit(1 if bad else 0)
