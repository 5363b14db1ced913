"""Writes the manifest without comments and without the blanks between its
elements: the program carries it in front of every archive. The execution
level keeps blanks behind it, room for extractor-pack --admin to write
"requireAdministrator" over "asInvoker" in place.

usage: compact_manifest.py IN OUT
"""
import re
import sys

with open(sys.argv[1], encoding="utf-8") as f:
    text = f.read()
text = re.sub(r"<!--.*?-->", "", text, flags=re.S)
text = re.sub(r">\s+<", "><", text).strip()
text = re.sub(r"\s+", " ", text)
LEVEL = 'level="asInvoker"'
ROOM = len("requireAdministrator") - len("asInvoker")
assert text.count(LEVEL + "/>") == 1, "the manifest needs one asInvoker level"
text = text.replace(LEVEL + "/>", LEVEL + " " * ROOM + "/>")
with open(sys.argv[2], "w", encoding="utf-8", newline="") as f:
    f.write(text)
