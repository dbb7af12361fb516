#!/usr/bin/env python3
"""Fails when a block of 6 or more identical lines stands in two product files.

Product files: the C and C++ sources and headers under desktop/, inivault/ and
filesafe/. Lines are compared without their indentation and trailing blanks, so a
copy moved into another scope still counts. Left out before comparing, so they
neither make a block nor break one: blank lines, lines of only braces, brackets,
parentheses and semicolons ("}", "});"), lines that hold only a comment, and
#include lines (two files may well need the same headers).
Usage: scripts/check-duplicates.py [--min N] [repository folder]
"""
import argparse
import os
import re
import sys

FOLDERS = ("desktop", "inivault", "filesafe")
SUFFIXES = (".cpp", ".h", ".c")
PUNCTUATION_ONLY = re.compile(r"^[{}()\[\];,]*$")


def meaningful_lines(path):
    """(line number, text) for each line that counts, comments of one line removed."""
    out = []
    in_block_comment = False
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, raw in enumerate(f, 1):
            line = raw.strip()
            if in_block_comment:
                if "*/" in line:
                    in_block_comment = False
                    line = line.split("*/", 1)[1].strip()
                else:
                    continue
            if line.startswith("/*") and "*/" not in line:
                in_block_comment = True
                continue
            if line.startswith("//") or (line.startswith("/*") and line.endswith("*/")):
                continue
            if not line or PUNCTUATION_ONLY.match(line) or line.startswith("#include"):
                continue
            out.append((number, line))
    return out


def product_files(root):
    for folder in FOLDERS:
        for base, dirs, files in os.walk(os.path.join(root, folder)):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(SUFFIXES):
                    yield os.path.join(base, name)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--min", type=int, default=6, help="shortest block that counts (6)")
    parser.add_argument("root", nargs="?", default=os.path.join(os.path.dirname(__file__), ".."))
    args = parser.parse_args()
    n = args.min
    root = os.path.abspath(args.root)

    lines = {}
    first_seen = {}  # window of n lines -> (file, index) where it first stood
    pairs = {}  # (file a, file b) -> list of (index in a, index in b)
    for path in product_files(root):
        rel = os.path.relpath(path, root)
        lines[rel] = meaningful_lines(path)
        texts = [text for _, text in lines[rel]]
        for i in range(len(texts) - n + 1):
            window = tuple(texts[i : i + n])
            seen = first_seen.get(window)
            if seen is None:
                first_seen[window] = (rel, i)
            elif seen[0] != rel:
                pairs.setdefault((seen[0], rel), []).append((seen[1], i))

    found = 0
    for (a, b), starts in sorted(pairs.items()):
        # Overlapping windows at the same offset make one block.
        starts.sort(key=lambda s: (s[1] - s[0], s[0]))
        blocks = []
        for ia, ib in starts:
            last = blocks[-1] if blocks else None
            if last and ib - ia == last[1] - last[0] and ia <= last[2] + 1:
                last[2] = ia
            else:
                blocks.append([ia, ib, ia])
        for ia, ib, last in blocks:
            length = last - ia + n
            la, lb = lines[a], lines[b]
            print(f"{a}:{la[ia][0]}-{la[ia + length - 1][0]} and {b}:{lb[ib][0]}-{lb[ib + length - 1][0]}: "
                  f"{length} identical lines")
            found += 1
    if found:
        print(f"check-duplicates: {found} block(s) of {n} or more identical lines in two product files",
              file=sys.stderr)
        return 1
    print(f"check-duplicates: no block of {n} or more identical lines stands in two product files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
