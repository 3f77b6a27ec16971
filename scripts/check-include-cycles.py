#!/usr/bin/env python3
"""No two units may include each other, directly or around a circle.

A unit is a .cpp with its header (same path, other extension). The check
reads every project include ("folder/file.h") of the tracked C++ files and
reports each group of units that reach one another. Exit status 1 when there
is one.
"""
import os
import re
import subprocess
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def units_and_edges(files):
    edges = {}
    for path in files:
        unit = os.path.splitext(path)[0]
        edges.setdefault(unit, set())
        with open(path, encoding='utf-8', errors='replace') as stream:
            for included in INCLUDE.findall(stream.read()):
                target = os.path.splitext(included)[0]
                if target != unit:
                    edges[unit].add(target)
    return {unit: {t for t in targets if t in edges} for unit, targets in edges.items()}


def strongly_connected(edges):
    """Groups of units that reach one another (Tarjan's method, iteratively)."""
    index, low, on_stack, stack, groups, counter = {}, {}, set(), [], [], [0]
    for root in sorted(edges):
        if root in index:
            continue
        work = [(root, iter(sorted(edges[root])))]
        index[root] = low[root] = counter[0]
        counter[0] += 1
        stack.append(root)
        on_stack.add(root)
        while work:
            unit, children = work[-1]
            child = next(children, None)
            if child is not None:
                if child not in index:
                    index[child] = low[child] = counter[0]
                    counter[0] += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(edges[child]))))
                elif child in on_stack:
                    low[unit] = min(low[unit], index[child])
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[unit])
            if low[unit] == index[unit]:
                group = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    group.append(member)
                    if member == unit:
                        break
                if len(group) > 1:
                    groups.append(sorted(group))
    return groups


def main():
    os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
    files = subprocess.run(['git', 'ls-files', '*.cpp', '*.h'], capture_output=True, text=True,
                           check=True).stdout.split()
    groups = strongly_connected(units_and_edges(files))
    for group in groups:
        print('units that include one another: ' + ' -> '.join(group), file=sys.stderr)
    if groups:
        return 1
    print('no units include one another (%d files)' % len(files))
    return 0


if __name__ == '__main__':
    sys.exit(main())
