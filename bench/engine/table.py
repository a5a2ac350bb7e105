#!/usr/bin/env python3
"""Prints the benchmark table from the JSON lines of run.sh (one line per measured run).

  table.py RESULTS.jsonl

Repeated runs of the same (label, tool, threads) are reduced to the run with the median wall
time. Ratios compare wall time per document within the same run of run.sh.
"""

import json
import statistics
import sys


def load(path):
    groups = {}
    for line in open(path, encoding="utf-8"):
        line = line.strip()
        if not line.startswith("{"):
            continue
        r = json.loads(line)
        groups.setdefault((r["label"], r["tool"], r["threads"]), []).append(r)
    out = {}
    for key, runs in groups.items():
        runs.sort(key=lambda r: r["wall_s"])
        med = runs[(len(runs) - 1) // 2]
        med["reps"] = len(runs)
        med["walls"] = [r["wall_s"] for r in runs]
        out[key] = med
    return out


def mb(b):
    return b / 1e6


def main():
    res = load(sys.argv[1])
    order = ["gen1000", "gen1000-tmpfs", "corpus", "corpus-tmpfs", "big-text", "big-xml", "big-media"]
    labels = sorted({k[0] for k in res}, key=lambda l: (order.index(l) if l in order else 99, l))
    print("%-14s %-12s %3s %5s %6s %9s %9s %8s %8s %7s %9s %6s %s" % (
        "set", "tool", "thr", "docs", "MB", "wall s", "ms/doc", "docs/s", "MB/s", "cpu/wall", "peakRSS MB", "repl", "err"))
    for label in labels:
        for key in sorted((k for k in res if k[0] == label), key=lambda k: (["engine", "baseline", "python-docx"].index(k[1]) if k[1] in ["engine", "baseline", "python-docx"] else 9, k[2])):
            r = res[key]
            wall = r["wall_s"]
            print("%-14s %-12s %3d %5d %6.1f %9.3f %9.3f %8.1f %8.2f %7.2f %9.1f %6d %d%s" % (
                label, r["tool"], r["threads"], r["docs"], mb(r["bytes"]), wall, 1000 * wall / max(1, r["docs"]),
                r["docs"] / wall if wall else 0, mb(r["bytes"]) / wall if wall else 0, r["cpu_s"] / wall if wall else 0,
                r["peak_rss_kb"] / 1024, r["replacements"], r["errors"],
                "" if r["reps"] == 1 else "   (median of %d: %s)" % (r["reps"], " ".join("%.3f" % w for w in r["walls"]))))
    print()
    print("Targets")

    def get(label, tool, threads=1):
        return res.get((label, tool, threads))

    def verdict(ok):
        return "PASS" if ok else "FAIL"

    for label in labels:
        e, b, p = get(label, "engine"), get(label, "baseline"), get(label, "python-docx")
        if e and p:
            ratio = (p["wall_s"] / p["docs"]) / (e["wall_s"] / e["docs"])
            cratio = (p["cpu_s"] / p["docs"]) / (e["cpu_s"] / e["docs"]) if e["cpu_s"] else 0
            print("  %-14s engine vs python-docx per document: %.1fx faster in wall time, %.1fx in CPU time (target >= 20x)  %s" % (
                label, ratio, cratio, verdict(ratio >= 20)))
        if e and b:
            ratio = e["wall_s"] / b["wall_s"]
            print("  %-14s engine / bare baseline wall time:  %.2fx (target <= 1.5x)  %s" % (label, ratio, verdict(ratio <= 1.5)))
            cratio = e["cpu_s"] / b["cpu_s"] if b["cpu_s"] else 0
            print("  %-14s engine / bare baseline CPU time:   %.2fx" % (label, cratio))
    for label in ("gen1000", "gen1000-tmpfs"):
        w1, w2 = get(label, "engine", 1), get(label, "engine", 2)
        if w2:
            ratio = w2["cpu_s"] / w2["wall_s"]
            speedup = (w1["wall_s"] / w2["wall_s"]) if w1 else 0
            print("  two workers (%s): CPU/wall %.2f, speed-up over one worker %.2fx (both cores used: CPU/wall > 1.6)  %s" % (
                label, ratio, speedup, verdict(ratio > 1.6)))
    e1 = get("gen1000", "engine", 1)
    if e1:
        at, end = e1["rss_kb_at"], e1["rss_kb_end"]
        grow = (end - at) / at if at else 0
        print("  memory over 1,000 documents: RSS %.1f MB at document %d, %.1f MB at document %d (%+.1f%%); peak %.1f MB at %d, %.1f MB at the end  %s" % (
            at / 1024, e1["rss_at"], end / 1024, e1["docs"], 100 * grow, e1["maxrss_kb_at"] / 1024, e1["rss_at"],
            e1["peak_rss_kb"] / 1024, verdict(grow < 0.10)))  # flat: no more than 10 % growth
    for label in ("big-text", "big-xml", "big-media"):
        e = get(label, "engine")
        if e:
            print("  %-10s %.1f MB document replaced and saved in %.3f s (target < 2 s)  %s" % (
                label, mb(e["bytes"]), e["wall_s"], verdict(e["wall_s"] < 2.0)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
