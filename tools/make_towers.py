#!/usr/bin/env python3
"""Generates the towers benchmark scene, bench/towers/items/towers/towers<N>.wtf for
N = 500, 1000, 2000 and 4000 (and towers2000_halves.wtf, the 2000 named by halves): N balls (radius 0.1 m, density 1000 kg/m3, each a loaded
item of one sphere, Bench.tower_ball) in 10 x 10 towers 0.25 m apart in x and z, layers
0.25 m apart from 0.2 m up, dropped onto the land. The same scene as bench/peers/TowersPeer.cpp.

Standard library only; the output is deterministic.

    python3 tools/make_towers.py [output folder]    (default: bench/towers/items/towers)
"""

import os
import sys

HEADER = """<?xml version="1.0" encoding="UTF-8"?>
<Field format="110" date="2026-12-08">
\t<Information xml:lang="en" name="Towers {n}" author="Kivaro" comment="{n} balls in 10 x 10 towers, the benchmark scene."/>
\t<Information xml:lang="ja" name="タワー {n}" author="Kivaro" comment="10 x 10 本の塔に積んだ {n} 個の球です。ベンチマーク用の場面です。"/>
\t<!-- added items are lowered by the viewer's height, 0.5 m when the program starts -->
\t<Const name="viewer_height" type="float">0.5</Const>
\t<Const name="pitch" type="float">0.25</Const>
"""

# one line an item, with its position alone (the ball starts at rest, unturned): the largest
# scene stays well inside the XML reader's node limit
ITEM = ('\t<Item name="b{index:04d}" type="Bench.tower_ball"><Parameter name="position" type="vector">'
        '{column}*pitch,viewer_height+0.2+{layer}*pitch,{row}*pitch</Parameter></Item>\n')


def field(n, halves=False):
    text = HEADER.format(n=n)
    for index in range(n):
        # column and row offsets from the centre, in pitches: -4.5 to 4.5
        column = index % 10 - 4.5
        row = (index // 10) % 10 - 4.5
        layer = index // 100
        item = ITEM.format(index=index, column=column, row=row, layer=layer)
        if halves:
            # the same scene with the member order (by name) no longer the order in which the
            # items are made: the towers of the left half first, then those of the right
            item = item.replace('name="b', 'name="a' if column < 0 else 'name="b', 1)
        text += item
    return text + "</Field>\n"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "bench", "towers", "items", "towers")
    os.makedirs(folder, exist_ok=True)
    for n in (500, 1000, 2000, 4000):
        with open(os.path.join(folder, "towers%d.wtf" % n), "w", encoding="utf-8", newline="\n") as out:
            out.write(field(n))
    with open(os.path.join(folder, "towers2000_halves.wtf"), "w", encoding="utf-8", newline="\n") as out:
        out.write(field(2000, halves=True))


if __name__ == "__main__":
    main()
