"""Writes the manifest without comments and without the blanks between its
elements: the program carries it in front of every archive.

usage: compact_manifest.py IN OUT
"""
import re
import sys

with open(sys.argv[1], encoding="utf-8") as f:
    text = f.read()
text = re.sub(r"<!--.*?-->", "", text, flags=re.S)
text = re.sub(r">\s+<", "><", text).strip()
text = re.sub(r"\s+", " ", text)
with open(sys.argv[2], "w", encoding="utf-8", newline="") as f:
    f.write(text)
