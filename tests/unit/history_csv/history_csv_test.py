#!/usr/bin/env python3
"""The listener history file as a spreadsheet opens it.

usage: history_csv_test.py csv|calc HISTORY_GEN WORK_DIR

csv:  Python's csv module (';', Windows-1252) reads the header, a time, an offset, a
      known station and a count or nothing in every row, as many rows as history_gen
      says it wrote, the hour that repeats when summer time ends, rows in time order;
      and in month files with songs, titles with ';', quotes or a leading '=' whole.
calc: LibreOffice Calc, where installed (exit 77 otherwise), reads the time column as
      dates and the counts as numbers.
"""
import collections
import csv
import datetime
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SKIP = 77
STATIONS = ["Radio Eins", "Sender \u00c4rger", "Klassik \u20ac", "S\u00fcdwelle"]
HEADER = ["Zeit", "UTC-Versatz", "Station", "H\u00f6rer", "K\u00fcnstler", "Titel"]
OFFSET = re.compile(r"^([+-])(\d\d):(\d\d)$")

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def generate(gen, path, *args):
    out = subprocess.run([gen, path, "--stations", ",".join(STATIONS), *args],
                         check=True, capture_output=True, text=True, timeout=120).stdout
    return {k: int(v) for k, v in (pair.split("=") for pair in out.split())}


def read_with_csv(gen, work):
    path = os.path.join(work, "hoerer_verlauf.csv")
    # Ten days across the end of summer time, every five minutes.
    totals = generate(gen, path, "--days", "10", "--interval-minutes", "5", "--end", "2026-10-30 12:00:00",
                      "--offset", "+01:00", "--summer-time")
    with open(path, "rb") as f:
        raw = f.read()
    check(raw.endswith(b"\r\n") and raw.count(b"\n") == raw.count(b"\r\n"), "every line ends with CR LF")
    check("S\u00fcdwelle".encode("cp1252") in raw, "the station names are in Windows-1252")

    with open(path, newline="", encoding="cp1252") as f:
        rows = list(csv.reader(f, delimiter=";"))
    check(rows[0] == HEADER, f"header {rows[0]!r}")
    data = rows[1:]
    check(len(data) == totals["rows"], f"{len(data)} rows, history_gen wrote {totals['rows']}")

    empty = 0
    polls = set()
    offsets_of_time = collections.defaultdict(set)
    last_utc = {}
    for n, row in enumerate(data, start=2):
        if len(row) != len(HEADER):
            check(False, f"line {n}: {len(row)} fields")
            continue
        when, offset, station, count, artist, title = row
        check(artist == "" and title == "", f"line {n}: a song {artist!r} {title!r}, history_gen wrote none")
        try:
            local = datetime.datetime.strptime(when, "%Y-%m-%d %H:%M:%S")
        except ValueError:
            check(False, f"line {n}: time {when!r}")
            continue
        m = OFFSET.match(offset)
        if not m:
            check(False, f"line {n}: offset {offset!r}")
            continue
        minutes = (int(m.group(2)) * 60 + int(m.group(3))) * (-1 if m.group(1) == "-" else 1)
        check(station in STATIONS, f"line {n}: station {station!r}")
        if count == "":
            empty += 1
        else:
            check(count.isdigit() and str(int(count)) == count, f"line {n}: count {count!r}")
        utc = local - datetime.timedelta(minutes=minutes)
        check(station not in last_utc or last_utc[station] < utc, f"line {n}: {station} out of time order")
        last_utc[station] = utc
        polls.add((when, offset))
        offsets_of_time[when].add(offset)
    check(empty == totals["no_answer"], f"{empty} rows without a count, history_gen wrote {totals['no_answer']}")
    check(empty > 0, "some station did not answer")
    check(len(polls) == totals["polls"], f"{len(polls)} polls, history_gen wrote {totals['polls']}")
    check(totals["off_polls"] > 0, "the program was off for a while")
    twice = [t for t, offs in offsets_of_time.items() if offs == {"+02:00", "+01:00"}]
    repeated_rows = sum(1 for r in data if r[0] in twice)
    check(all(t.startswith("2026-10-25 02:") for t in twice), f"times that come twice: {twice[:3]}")
    check(repeated_rows == totals["repeated_hour_rows"] and repeated_rows == 2 * 12 * len(STATIONS),
          f"{repeated_rows} rows in the repeated hour, history_gen wrote {totals['repeated_hour_rows']}")
    read_songs_with_csv(gen, work)


def read_songs_with_csv(gen, work):
    """The program's month files with songs: a title holding ';' or quotes reads back
    whole in one cell, one that would start a formula shows with a leading quote."""
    folder = os.path.join(work, "months")
    os.makedirs(folder)
    totals = generate(gen, folder, "--days", "40", "--interval-minutes", "3", "--end", "2026-12-09 12:00:00",
                      "--songs", "--months")
    names = sorted(os.listdir(folder))
    check(len(names) == 3 * len(STATIONS), f"month files {names}")  # October to December
    kinds = collections.Counter()
    rows = 0
    for name in names:
        with open(os.path.join(folder, name), newline="", encoding="cp1252") as f:
            data = list(csv.reader(f, delimiter=";"))
        check(data[0] == HEADER, f"{name}: header {data[0]!r}")
        month = name[-11:-4]
        for n, row in enumerate(data[1:], start=2):
            rows += 1
            if len(row) != len(HEADER):
                check(False, f"{name} line {n}: {len(row)} fields")
                continue
            check(row[0].startswith(month), f"{name} line {n}: time {row[0]!r} of another month")
            check(re.fullmatch(r"Interpret \d+", row[4]) is not None, f"{name} line {n}: artist {row[4]!r}")
            title = row[5]
            if re.fullmatch(r"Ja; nein \(\d+\)", title):
                kinds["semicolon"] += 1
            elif re.fullmatch(r'"Hit" Nr\. \d+', title):
                kinds["quotes"] += 1
            elif re.fullmatch(r"'=Gleich \d+", title):
                kinds["formula"] += 1
            else:
                check(re.fullmatch(r"Lied Nr\. \d+", title) is not None, f"{name} line {n}: title {title!r}")
    check(rows == totals["rows"], f"{rows} rows in the month files, history_gen wrote {totals['rows']}")
    check(all(kinds[k] > 0 for k in ("semicolon", "quotes", "formula")), f"titles of each kind: {dict(kinds)}")


def read_with_calc(gen, work):
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice:
        print("LibreOffice is not installed: skipped")
        return SKIP
    path = os.path.join(work, "hoerer_verlauf.csv")
    totals = generate(gen, path, "--days", "1", "--interval-minutes", "30", "--end", "2026-12-09 12:00:00")
    with tempfile.TemporaryDirectory() as profile:
        # ';', '"', Windows-1252 (1), from line 1, German, quoted fields not as text,
        # dates and times detected.
        subprocess.run([soffice, "--headless", "-env:UserInstallation=file://" + profile,
                        "--infilter=CSV:59,34,1,1,,1031,false,true", "--convert-to", "fods", "--outdir", work, path],
                       check=True, capture_output=True, timeout=180)
    doc = ET.parse(os.path.join(work, "hoerer_verlauf.fods"))
    office = "urn:oasis:names:tc:opendocument:xmlns:office:1.0"
    table = "urn:oasis:names:tc:opendocument:xmlns:table:1.0"
    text = "urn:oasis:names:tc:opendocument:xmlns:text:1.0"
    rows = []
    for tr in doc.iter(f"{{{table}}}table-row"):
        cells = []
        for tc in tr.findall(f"{{{table}}}table-cell"):
            shown = "".join("".join(p.itertext()) for p in tc.findall(f"{{{text}}}p"))
            repeat = int(tc.get(f"{{{table}}}number-columns-repeated", "1"))
            cells += [(tc.get(f"{{{office}}}value-type"), shown)] * min(repeat, 8)
        if not any(shown for _, shown in cells):
            break  # the rows after the data
        rows += [cells] * int(tr.get(f"{{{table}}}number-rows-repeated", "1"))
    check([shown for _, shown in rows[0][:6]] == HEADER, f"header {rows[0][:6]!r}")
    data = rows[1:]
    check(len(data) == totals["rows"], f"{len(data)} rows in Calc, history_gen wrote {totals['rows']}")
    for n, cells in enumerate(data, start=2):
        check(cells[0][0] == "date", f"row {n}: the time is {cells[0]!r}, no date")
        check(cells[2][1] in STATIONS, f"row {n}: station {cells[2][1]!r}")
        check(cells[3][0] in ("float", None), f"row {n}: the count is {cells[3]!r}")
    return 0


def main(argv):
    if len(argv) != 4 or argv[1] not in ("csv", "calc"):
        print(__doc__, file=sys.stderr)
        return 2
    reader, gen, work = argv[1:]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    result = read_with_csv(gen, work) if reader == "csv" else read_with_calc(gen, work)
    if result == SKIP:
        return SKIP
    if failures:
        print(f"{len(failures)} checks failed")
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
