#!/usr/bin/env python3
"""Reads Google Benchmark JSON files and prints one table of ratios ours / baseline.

A benchmark named "<comparison>/<side>" belongs to a comparison; the side "ours" is
compared with every other side of the same comparison, by median CPU time over the
repetitions (the plain run when there are none). Ratio < 1: ours is faster.
"""
import datetime
import json
import os
import platform
import statistics
import sys

LABELS = {
    "json_parse/song": "JSON parse, current-song answer",
    "json_parse/1MiB": "JSON parse, 1 MiB document",
    "json_parse/10MiB": "JSON parse, 10 MiB document",
    "json_serialize/song": "JSON serialize, current-song answer",
    "json_serialize/1MiB": "JSON serialize, 1 MiB document",
    "json_serialize/10MiB": "JSON serialize, 10 MiB document",
    "cipher_key_schedule": "Cipher key schedule",
    "cipher_scramble/1MiB": "Cipher scramble 1 MiB (CBC)",
    "cipher_unscramble/1MiB": "Cipher unscramble 1 MiB (CBC)",
    "ini_read_text/1MB": "INI read 1 MB text (200 x 100 pairs)",
    "ini_read_file/1MB": "INI read 1 MB file (200 x 100 pairs)",
    "ini_lookup/pairs:1000": "INI 100,000 lookups, 1,000 pairs",
    "ini_lookup/pairs:100000": "INI 100,000 lookups, 100,000 pairs",
    "ini_lookup/pairs:1000000": "INI 100,000 lookups, 1,000,000 pairs",
}
ANCHORS = {
    "nlohmann": "nlohmann::json",
    "rapidjson": "RapidJSON DOM",
    "rapidjson_exact": "RapidJSON DOM, full precision",
    "openssl": "OpenSSL Blowfish",
    "inih": "inih + unordered_map",
}
# Same benchmark at two sizes: the ratio shows how it grows with the document.
SCALING = [("ini_lookup/pairs:1000/ours", "ini_lookup/pairs:100000/ours", "INI lookups, 100x the pairs", 100),
           ("ini_lookup/pairs:1000/ours", "ini_lookup/pairs:1000000/ours", "INI lookups, 1000x the pairs", 1000)]
# Same document, two operations: deleting every pair should cost at most twice setting them.
PAIRED = [("ini_set_all/pairs:100000/ours", "ini_delete_all/pairs:100000/ours",
           "INI delete every pair of 100,000 one by one, against setting them", 2.0)]
HISTORY = {
    "history_append_poll": "appending one poll of 6 stations",
    "history_read": "one station's rows (a year's file)",
    "history_prune": "pruning a year's file",
}
UNIT_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def cpu_model():
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def load(paths, value=lambda b: b["cpu_time"] * UNIT_NS[b.get("time_unit", "ns")]):
    """name -> CPU time in ns (steadier than wall time on a shared machine), or another
    value of each run: the median of each file's repetitions, then the median over the
    files (one file per whole run)."""
    per_file = {}
    for path in paths:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
        runs = {}
        for b in data.get("benchmarks", []):
            if b.get("error_occurred"):
                continue
            if b.get("run_type") == "aggregate":
                continue
            name = b.get("run_name", b["name"])
            v = value(b)
            if v is not None:
                runs.setdefault(name, []).append(v)
        for name, times in runs.items():
            per_file.setdefault(name, []).append(statistics.median(times))
    return {name: statistics.median(medians) for name, medians in per_file.items()}


def fmt_time(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.2f} us"
    return f"{ns:.0f} ns"


def main(argv):
    if len(argv) < 2:
        print("usage: ratios.py result.json...", file=sys.stderr)
        return 2
    times = load(argv[1:])
    rows = []
    for name in sorted(times):
        comparison, _, side = name.rpartition("/")
        if side == "ours" or not comparison:
            continue
        ours = times.get(comparison + "/ours")
        if ours is None:
            continue
        rows.append((LABELS.get(comparison, comparison), fmt_time(ours), ANCHORS.get(side, side),
                     fmt_time(times[name]), f"{ours / times[name]:.2f}"))
    order = list(LABELS.values())
    rows.sort(key=lambda r: (order.index(r[0]) if r[0] in order else len(order), r[2]))

    now = datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z")
    print(f"Machine: {cpu_model()}, {os.cpu_count()} cores; {now}; median CPU time")
    print()
    header = ("comparison", "ours", "compared with (baseline)", "its time", "ours/its")
    table = [header] + rows
    widths = [max(len(r[i]) for r in table) for i in range(len(header))]
    print("| " + " | ".join(h.ljust(w) for h, w in zip(header, widths)) + " |")
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for r in rows:
        cells = [r[0].ljust(widths[0]), r[1].rjust(widths[1]), r[2].ljust(widths[2]),
                 r[3].rjust(widths[3]), r[4].rjust(widths[4])]
        print("| " + " | ".join(cells) + " |")

    extra = []
    for small, large, label, linear in SCALING:
        if small in times and large in times:
            extra.append(f"{label}: time x {times[large] / times[small]:.2f} (linear growth would be x {linear})")
    for base, other, label, limit in PAIRED:
        if base in times and other in times:
            extra.append(f"{label}: {fmt_time(times[other])} vs {fmt_time(times[base])}, "
                         f"x {times[other] / times[base]:.2f} (at most x {limit:g} wanted)")
    polls = sorted(n for n in times if n.startswith("pipeline_poll/"))
    for name in polls:
        extra.append(f"Desktop poll, {name.split('/', 1)[1]}: {times[name] / 1e3:.1f} us per poll")
    # The history file has no baseline: plain wall-clock times (its writes wait for the
    # disk), and what a read adds to the peak memory.
    history = sorted(n for n in times if n.startswith("history_"))
    if history:
        wall = load(argv[1:], lambda b: b["real_time"] * UNIT_NS[b.get("time_unit", "ns")])
        peak = load(argv[1:], lambda b: b.get("peak_growth_MiB"))
        for name in history:
            kind, _, detail = name.removesuffix("/real_time").partition("/")
            line = f"History file, {HISTORY.get(kind, kind)}, {detail}: {fmt_time(wall[name])}"
            if name in peak:
                line += f", peak memory +{peak[name]:.1f} MiB"
            extra.append(line)
    if extra:
        print()
        for line in extra:
            print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
