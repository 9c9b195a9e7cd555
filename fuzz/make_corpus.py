#!/usr/bin/env python3
"""Writes the seed corpora of fuzz/corpus/ from the bundled toys and the test data."""
import glob
import hashlib
import os
import re

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def put(folder, data, name=None):
    if isinstance(data, str):
        data = data.encode()
    name = name or hashlib.sha1(data).hexdigest()[:16]
    os.makedirs(f"{root}/fuzz/corpus/{folder}", exist_ok=True)
    with open(f"{root}/fuzz/corpus/{folder}/{name}", "wb") as out:
        out.write(data)


def read(path):
    with open(path, "rb") as source:
        return source.read()


# definition: each toy's field, its own item files and the primitives, split by lines "%%"
primitives = [read(f) for f in sorted(glob.glob(root + "/items/primitive/*.wti"))]
for field in sorted(glob.glob(root + "/items/*/*.wtf")):
    folder = os.path.dirname(field)
    own = [read(f) for f in sorted(glob.glob(folder + "/*.wti"))]
    put("definition", b"\n%%\n".join([read(field)] + own + primitives), os.path.basename(folder))
for field in sorted(glob.glob(root + "/tests/data/text/*.wtf")):
    put("definition", b"\n%%\n".join([read(field)] + primitives), os.path.basename(field).replace(".", "_"))

# calculator: every parameter and constant text of the toys, twenty lines a seed, and hard cases
texts = set()
for path in glob.glob(root + "/items/*/*.wt*"):
    source = read(path).decode("utf-8", "replace")
    texts.update(t.strip() for t in re.findall(r"<(?:Parameter|Const)[^>]*>([^<]*)<", source))
texts = sorted(t for t in texts if t)
for i in range(0, len(texts), 20):
    put("calculator", "\n".join(texts[i:i + 20]), "toys%02d" % (i // 20))
for expression in ["2*PI", "sin(0.5)+cos(x)^2", "a=3\na*a", "1/0", "10^400", "-(-(-1))", "sqrt(-1)",
                   "0x6E", "1e-5*(2+3)", "atan2(1,2)", "abs(-2)%3"]:
    put("calculator", expression)


# settings: the program's own file and the hard cases of the format
def utf16(text):
    return b"\xff\xfe" + text.encode("utf-16-le")


put("settings", utf16("[Settings]\r\nItem0=items\\ball\\ball.wtf\r\nScreenSize=1\r\nToolboxSheetX=720\r\n"
                      "ToolboxSheetY=50\r\nWindowX=70\r\nWindowY=40\r\nZoom=10\r\n"), "program")
put("settings", utf16("Loose=1\r\n; comment\r\n\r\n  \t \r\n[First] trailing text\r\n  Spaced \t=\t value with "
                      "spaces \r\nZoom=12 ;note\r\nBare\r\nCut=ab\"cd\r\nOpen=\"xy;z\r\n[]\r\nEmpty=\r\n[Last]\r\n"
                      "NoLineEnd=end"), "rules")
put("settings", utf16("[Settings]\r\nItem0=\"\"\"=;\"\r\n\"k=\"\"[\"=\" a;b\"\"\"\r\n[S]\rXA=1\r\nB=2\nC=3\r\n"), "quotes")
put("settings", utf16("[\u65e5\u672c]\r\n\uff01=\U0001F600\r\n"), "wide")

# kanji: the Japanese test files under a few pairs of encodings (first byte: from | to << 2)
for path in sorted(glob.glob(root + "/tests/data/text/*")):
    for selector in (0x0C, 0x0D, 0x0E, 0x03):
        put("kanji", bytes([selector]) + read(path), os.path.basename(path).replace(".", "_") + "_%02x" % selector)
put("kanji", bytes([0x0C]) + "日本語のテキスト～".encode("cp932"), "sjis_wave")

# texture: bundled images under the names a toy may give them (first byte: the index of the
# name in the target); mesh: the bundled meshes
for path in sorted(glob.glob(root + "/data/*.png"))[:12]:
    put("texture", bytes([0]) + read(path), os.path.basename(path).replace(".", "_"))
put("texture", bytes([7]) + read(root + "/data/land.png"), "land_unnamed")
for path in sorted(glob.glob(root + "/data/*.x")):
    put("mesh", read(path), os.path.basename(path).replace(".", "_"))
