#!/usr/bin/env python3
"""Writes lectern-16.svg: the stopwatch drawn pixel by pixel, since at 16 pixels a scaled drawing blurs."""
import math

cx, cy = 7.5, 9.5
grid = {}
for y in range(16):
    for x in range(16):
        d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
        if d <= 4.7:
            grid[(x, y)] = "#ffffff"
        elif d <= 5.6:
            grid[(x, y)] = "#3c3c3c"
        elif d <= 6.4:
            grid[(x, y)] = "#000000"
for k in range(12):  # the twelve red marks
    a = math.radians(30 * k)
    grid[(int(cx + 4.0 * math.sin(a)), int(cy - 4.0 * math.cos(a)))] = "#e00000"
for p in [(6, 1), (7, 1), (8, 1), (6, 0), (7, 0), (8, 0), (7, 2)]:  # crown
    grid[p] = "#505050" if p[1] == 1 else "#000000"
for p in [(2, 3), (3, 4), (12, 4), (13, 3)]:  # side buttons
    grid[p] = "#505050"
for p in [(6, 8), (5, 7), (8, 8), (9, 7)]:  # black hands
    grid[p] = "#000000"
for p in [(7, 10), (7, 11), (7, 12)]:  # red second hand
    grid[p] = "#e00000"
grid[(7, 9)] = "#000000"

rects = "\n".join(f'  <rect x="{x}" y="{y}" width="1" height="1" fill="{c}"/>' for (x, y), c in sorted(grid.items()))
with open("lectern-16.svg", "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n'
            "<!-- Lectern's icon at 16 pixels, written by pixel_icon_16.py. -->\n"
            '<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16" '
            'shape-rendering="crispEdges">\n' + rects + "\n</svg>\n")
