#!/usr/bin/env python3
"""Reads the results of bench/run and prints every figure beside its baseline and target.

Each benchmark is repeated; a figure is the median of its repetitions, and a ratio divides two
medians taken in the same run. Only the parts named by --parts are read (default: all), and a
figure whose results are missing is left out. Exits 2 when a benchmark reported an error, 1 when
a target is missed (unless --advisory), else 0.
"""
import argparse
import json
import pathlib
import statistics
import sys

FULL = 1048560
BENCHMARK_PARTS = ("receive", "tables", "window", "settings", "exporter")
PARTS = BENCHMARK_PARTS + ("limit", "fleet")
SIZES = (FULL // 4, FULL // 2, FULL)


def load(path, errors):
    """run name -> list of real times in ms, one per repetition; errors get "name: message"."""
    times = {}
    for b in json.loads(path.read_text())["benchmarks"]:
        if b.get("error_occurred"):
            error = f"{b.get('run_name', b.get('name', '?'))}: {b.get('error_message', 'error')}"
            if error not in errors:  # once for all its repetitions
                errors.append(error)
            continue
        if b.get("run_type") != "iteration":
            continue
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        name = b["run_name"].split("/iterations:")[0]
        times.setdefault(name, []).append(b["real_time"] * scale)
    return times


class Report:
    """Prints figures under section titles; a section without figures is not printed."""

    def __init__(self):
        self.missed = []
        self.pending = None

    def section(self, title):
        self.pending = title

    def line(self, label, value, unit="", target=None, ok=None, note=""):
        if self.pending:
            print(f"\n{self.pending}")
            self.pending = None
        verdict = "" if ok is None else ("ok" if ok else "MISSED")
        if ok is False:
            self.missed.append(label)
        text = f"  {label:<58} {value:>10.2f} {unit:<4}"
        if target:
            text += f" target {target:<10} {verdict}"
        if note:
            text += f"  ({note})"
        print(text)


def parse_parts(text):
    parts = [p for p in text.split(",") if p]
    unknown = [p for p in parts if p not in PARTS]
    if unknown:
        raise argparse.ArgumentTypeError(f"unknown part(s) {', '.join(unknown)}; parts: {', '.join(PARTS)}")
    return parts


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("results", nargs="?", default="build-bench/bench-results", type=pathlib.Path)
    parser.add_argument("--parts", type=parse_parts, default=list(PARTS), help="comma-separated, of: " + ", ".join(PARTS))
    parser.add_argument("--advisory", action="store_true", help="a missed target does not fail")
    args = parser.parse_args()
    out = args.results
    errors = []
    t = {}
    for name in BENCHMARK_PARTS:
        path = out / f"{name}.json"
        if name in args.parts and path.exists():
            t.update(load(path, errors))
    med = {k: statistics.median(v) for k, v in t.items()}
    r = Report()

    def ratio(label, a, b, limit=None, note=""):
        """limit None: the ratio is shown for information, without a target."""
        if a in med and b in med:
            value = med[a] / med[b]
            note = note or f"{med[a]:.1f} ms / {med[b]:.1f} ms"
            if limit is None:
                r.line(label, value, "x", note=note)
            else:
                r.line(label, value, "x", f"<= {limit}x", value <= limit, note)

    def under(label, a, limit_ms):
        if a in med:
            r.line(label, med[a], "ms", f"< {limit_ms} ms", med[a] < limit_ms, f"worst {max(t[a]):.1f} ms")

    def doubling(label, base, limit):
        names = [f"{base}/{n}" for n in SIZES]
        if all(n in med for n in names):
            steps = [med[names[i + 1]] / med[names[i]] for i in range(2)]
            r.line(label, max(steps), "x", f"<= {limit}x", max(steps) <= limit,
                   " -> ".join(f"{med[n]:.1f}" for n in names) + " ms")

    r.section("Receive path: 55,573,685-byte channel list over loopback, StackBuffer + DecodeNext")
    ratio("simulator's pieces: StackBuffer / preallocated recv", "BM_RecvIntoStackBuffer/0",
          "BM_RecvIntoPreallocated/0", 2)
    ratio("64 KiB pieces: StackBuffer / preallocated recv", "BM_RecvIntoStackBuffer/65536",
          "BM_RecvIntoPreallocated/65536", 2)
    names = [f"BM_AppendPieces/{n}" for n in SIZES]
    if all(n in med for n in names):
        per_byte = [med[n] * 1e6 / (5 + 53 * s) for n, s in zip(names, SIZES)]
        growth = per_byte[2] / per_byte[0]
        r.line("append in 64 KiB pieces, ns per byte at 1x / at 1/4", growth, "x", "<= 1.5x", growth <= 1.5,
               ", ".join(f"{p:.2f}" for p in per_byte) + " ns/B at 1/4, 1/2, 1x")
        for n, s in zip(SIZES, per_byte):
            copy = med.get(f"BM_CopyPieces/{n}")
            if copy:
                r.line(f"  append / memcpy into a preallocated block, {n} records",
                       med[f"BM_AppendPieces/{n}"] / copy, "x")

    r.section("Full list to rows: 1,048,560 channels and 100,000 clients")
    under("decode + ReplaceChanels + ReplaceClients + RebuildViews", "BM_FullListToRows", 1500)
    ratio("  the same / building a std::map of the channel records", "BM_FullListToRows", "BM_MapOfRecords", 4)
    ratio("second identical lists (all rows kept) / std::map", "BM_SecondIdenticalList", "BM_MapOfRecords", 2)

    r.section("Statistics pass: 1,048,560 records, rows updated in place")
    ratio("ChanelStatisticsPass / looking every handle up in a std::map", "BM_ChanelStatisticsPass/rates:1",
          "BM_LookUpEveryHandle", 3)
    ratio("  the pass with rates / the same pass without them", "BM_ChanelStatisticsPass/rates:1",
          "BM_ChanelStatisticsPass/rates:0", 1.15)
    ratio("  looking every handle up in ChanelData / in a std::map", "BM_LookUpInChanelData",
          "BM_LookUpEveryHandle")

    r.section("Mass removal and sorting (1/4, 1/2, 1x of 1,048,560 rows)")
    under("statistics naming half the rows: the other half removed", "BM_RemoveHalfTheRows/1048560", 1500)
    doubling("  time growth per doubling (linear: 2.0)", "BM_RemoveHalfTheRows", 2.5)
    under("sort by a number column (time on line)", "BM_SortByNumber/1048560", 1500)
    doubling("  time growth per doubling (n log n: 2.1)", "BM_SortByNumber", 2.5)
    under("sort by a text column (device ID)", "BM_SortByText/1048560", 1500)
    doubling("  time growth per doubling (n log n: 2.1)", "BM_SortByText", 2.5)

    r.section("Window (offscreen): statistics refresh with 100,000 rows, bytes in to repainted view")
    under("channel statistics, channel tab shown", "BM_WindowChanelStatistics", 50)
    ratio("  the same / a repaint with nothing changed", "BM_WindowChanelStatistics", "BM_WindowRepaint")
    under("client statistics, client tab shown", "BM_WindowClientStatistics", 50)

    r.section("Traffic chart (offscreen), a full day of samples: one refresh (a sample, redrawn and painted)")
    ranges = ((2, "24 h"), (1, "1 h"), (0, "5 min"))
    for range_arg, range_name in ranges:
        for rows, lines in ((0, "6 lines"), (8, "8 followed rows, 22 lines")):
            for new_point, what in ((1, "a new point"), (0, "the open point updated")):
                name = f"BM_ChartRefresh/range:{range_arg}/rows:{rows}/new_point:{new_point}"
                under(f"{range_name}, {lines}: {what}", name, 5)

    r.section("Exporter: a refresh of 1,048,560 channels and 100,000 clients, snapshot included")
    ratio("channel statistics + snapshot / the console's statistics pass", "BM_ExporterChanelRefresh",
          "BM_ConsoleChanelPass", 1.5)
    ratio("channel and client statistics + snapshot / the console's", "BM_ExporterRefresh", "BM_ConsoleRefresh", 1.5)
    under("one scrape of 50 servers (collect and serialize)", "BM_ScrapeFiftyServers", 50)

    fleet = out / "fleet.json"
    if "fleet" in args.parts and fleet.exists():
        f = json.loads(fleet.read_text())
        r.section(f"Exporter fleet: {f['servers']} telv-sim of 20,000 channels and 2,000 clients, 5 s refresh, "
                  f"{f['seconds']:.0f} s measured")
        r.line("servers up", f["servers_up"], "", f"= {f['servers']}", f["servers_up"] == f["servers"])
        r.line("CPU of the exporter, % of one core", f["cpu_percent"], "%", "<= 25 %", f["cpu_percent"] <= 25)
        r.line("resident memory (largest sample)", f["rss_mb"], "MB", "<= 300 MB", f["rss_mb"] <= 300,
               f"peak {f['peak_rss_mb']:.0f} MB")
        r.line("/metrics served, 95th percentile", f["metrics_p95_ms"], "ms", "<= 50 ms", f["metrics_p95_ms"] <= 50,
               f"median {f['metrics_p50_ms']:.1f} ms over {f['scrapes']} scrapes, {f['failed_scrapes']} failed")


    r.section("Settings file of 150,000 history entries (about 10 MB), event-loop time")
    under("start-up: the window made and painted", "BM_StartUpWithLongHistory", 200)
    under("  of which reading the settings", "BM_ReadLongHistory", 200)
    under("connect: the longest stall from the click to the rows", "BM_ConnectWithLongHistory", 200)

    limit = out / "limit.json"
    if "limit" in args.parts and limit.exists():
        m = json.loads(limit.read_text())
        r.section(f"The window at the limit: {m['chanel_rows']:,} channel rows, {m['client_rows']:,} client rows "
                  "from telv-sim over loopback, as the operator feels it (event-loop latency probe)")

        def goal(label, key, unit, limit_value, scale=1.0, note=""):
            value = m[key] * scale
            r.line(label, value, unit, f"<= {limit_value} {unit}", value <= limit_value, note)

        goal("refresh every 1 s: longest event-loop stall", "refresh_max_stall_ms", "ms", 100)
        goal("  99th percentile of the stalls", "refresh_p99_stall_ms", "ms", 50)
        goal("  share of the time the event loop is busy", "refresh_busy_share", "%", 10, 100)
        goal("header click, sort by time on line: stall", "sort_time_stall_ms", "ms", 150)
        goal("  new order shown", "sort_time_shown_ms", "ms", 400)
        goal("header click, sort by device ID: stall", "sort_id_stall_ms", "ms", 150)
        goal("  new order shown", "sort_id_shown_ms", "ms", 400)
        goal("one character typed in the filter: stall", "filter_stall_ms", "ms", 100)
        goal("  result shown", "filter_shown_ms", "ms", 300)
        goal("connect click to first rows painted", "seconds_to_first_rows", "ms", 400, 1000)
        goal("select all channels", "select_all_stall_ms", "ms", 100)
        goal("resident memory after the lists and refreshes", "resident_mb", "MB", 400,
             note=f"peak {m['peak_resident_mb']:.0f} MB, empty window {m['empty_window_mb']:.0f} MB")
        r.line("  resident / the records' own bytes", m["resident_mb"] / m["record_bytes_mb"], "x",
               note=f"{m['record_bytes_mb']:.1f} MB of records")
        r.line("  seconds from connecting to both tables complete", m["seconds_to_rows"], "s")
        if "settle_max_stall_ms" in m:
            r.line("the lists asked for while the first was on its way: longest stall", m["settle_max_stall_ms"], "ms",
                   note=f"busy {100 * m['settle_busy_share']:.0f} % of the first seconds after the rows showed")

    print()
    missing = [p for p in args.parts if not (out / f"{p}.json").exists()]
    if missing:
        print("No results of: " + ", ".join(missing))
    for e in errors:
        print(f"ERROR: {e}")
    if r.missed:
        print("MISSED: " + "; ".join(r.missed) + (" (advisory: not a failure)" if args.advisory else ""))
    elif not missing:
        print("All targets met.")
    if errors:
        return 2
    return 1 if r.missed and not args.advisory else 0


if __name__ == "__main__":
    sys.exit(main())
