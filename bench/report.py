#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Prints the benchmark table from the results directory bench/run.sh fills."""
import json
import os
import statistics
import sys

LINE_RATE = 1920.0  # bytes a second on a 19200-baud line, 8N1


def load(path):
    with open(path) as f:
        return json.load(f)["benchmarks"]


def runs(benchmarks, prefix):
    return [b for b in benchmarks if b["name"].startswith(prefix) and b.get("run_type") == "iteration"]


def aggregate(benchmarks, prefix, kind):
    for b in benchmarks:
        if b["name"].startswith(prefix) and b.get("aggregate_name") == kind:
            return b
    return None


def spread(values):
    return f"{min(values):.4g}..{max(values):.4g}"


def main(folder):
    rows = []

    def row(number, what, value, unit, spread_text, yardstick, ratio, goal, ok):
        rows.append((number, what, f"{value:.4g} {unit}", spread_text, yardstick, f"{ratio:.3g}x", goal, "met" if ok else "MISSED"))

    window = load(os.path.join(folder, "window.json"))
    passes = runs(window, "ProgrammingPass")
    p = passes[0]
    median, p99 = p["byte_gap_median_ms"], p["byte_gap_p99_ms"]
    row(1, "byte pacing, median gap", median, "ms", f"min {p['byte_gap_min_ms']:.4g}", "20 ms floor", median / 20, "<= 1.02x", median / 20 <= 1.02)
    row(1, "byte pacing, 99th percentile gap", p99, "ms", f"{int(p['byte_gaps'])} gaps", "20 ms floor", p99 / 20, "<= 1.10x", p99 / 20 <= 1.10)
    pass_ms = p["real_time"]
    row(2, "programming pass", pass_ms, "ms", "mean of 5", "1240 ms floor", pass_ms / 1240, "<= 1.02x", pass_ms / 1240 <= 1.02)

    decoding = load(os.path.join(folder, "decoding.json"))
    rates = [b["bytes_per_second"] for b in runs(decoding, "ReceiveDecoding/64")]
    rate = statistics.median(rates)
    row(3, "receive decoding (64-byte reads)", rate / 1e6, "MB/s", spread([r / 1e6 for r in rates]), "1920 B/s line", rate / LINE_RATE, ">= 1000x", rate / LINE_RATE >= 1000)

    for lines in (0, 20000, 100000):
        rates = [b["bytes_per_second"] for b in runs(window, f"ReceivePathIntoWindow/pane_lines:{lines}/")]
        rate = statistics.median(rates)
        row(4, f"receive path into the window, {lines} lines shown", rate / 1e3, "kB/s", spread([r / 1e3 for r in rates]), "1920 B/s line", rate / LINE_RATE, ">= 50x", rate / LINE_RATE >= 50)

    claim = aggregate(window, "ClaimReaction", "median")
    values = [b["real_time"] for b in window if b["name"].startswith("ClaimReaction") and b.get("run_type") == "iteration"]
    row(5, "slot data in -> first claim byte out, median", claim["real_time"], "ms", spread(values) if values else "50 runs", "-", claim["real_time"] / 2, "<= 2 ms", claim["real_time"] <= 2)

    busy = {minutes: runs(window, f"BusyBus/minutes:{minutes}/")[0] for minutes in (10, 60)}
    ten, hour = busy[10]["peak_rss_mib"], busy[60]["peak_rss_mib"]
    row(8, "peak memory after 10 minutes of a busy bus", ten, "MiB", f"{int(busy[10]['pane_lines'])} lines shown", "-", 1, "bounded", True)
    row(8, "peak memory after an hour of a busy bus", hour, "MiB", f"{int(busy[60]['pane_lines'])} lines shown", f"10 minutes {ten:.4g} MiB", hour / ten, "<= 1.2x", hour / ten <= 1.2)

    catalog = load(os.path.join(folder, "catalog.json"))
    for hit in (1, 0):
        libc = aggregate(catalog, f"LibcDgettext/hit:{hit}", "median")["real_time"]
        for name, goal in (("Lookup", 1.0), ("TranslateInDomain", 2.0)):
            ours = aggregate(catalog, f"{name}/hit:{hit}", "median")["real_time"]
            times = [b["real_time"] for b in runs(catalog, f"{name}/hit:{hit}")]
            what = f"catalog {name}, {'hits' if hit else 'misses'}"
            row(6, what, ours, "ns", spread(times), f"dgettext {libc:.4g} ns", ours / libc, f"<= {goal:g}x", ours / libc <= goal)

    def startup(name):
        with open(os.path.join(folder, name)) as f:
            return [json.loads(line) for line in f if line.strip()]
    ours = startup("startup-sentrax.jsonl")
    for key, label, unit in (("shown_ms", "start-up to the window shown", "ms"), ("peak_rss_kib", "peak memory", "KiB")):
        o = statistics.median(r[key] for r in ours)
        for yardstick, name in (("startup-bare.jsonl", "bare Qt window"), ("startup-bare-text.jsonl", "... with one label")):
            bare = startup(yardstick)
            b = statistics.median(r[key] for r in bare)
            row(7, f"{label}, median of {len(ours)}", o, unit, spread([r[key] for r in ours]), f"{name} {b:.4g} {unit}", o / b, "<= 1.2x", o / b <= 1.2)

    def instructions(name):
        with open(os.path.join(folder, f"callgrind-{name}.out")) as f:
            for line in f:
                if line.startswith("totals:") or line.startswith("summary:"):
                    return int(line.split()[1])
        return 0
    ours = instructions("Sentrax")
    for name, label in (("bare", "bare Qt window"), ("bare-text", "... with one label")):
        theirs = instructions(name)
        row(7, "start-up and close, instructions", ours / 1e6, "M", "exact", f"{label} {theirs / 1e6:.4g} M", ours / theirs, "<= 1.2x", ours / theirs <= 1.2)

    headers = ("#", "what", "figure", "spread", "yardstick", "ratio", "goal", "")
    widths = [max(len(str(r[i])) for r in rows + [headers]) for i in range(len(headers))]
    line = lambda r: "  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip()
    print(line(headers))
    print(line(tuple("-" * w for w in widths)))
    for r in rows:
        print(line(r))


if __name__ == "__main__":
    main(sys.argv[1])
