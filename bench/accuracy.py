#!/usr/bin/env python3
"""Writes the accuracy page and its charts from a batch run and the generator's manifest.

    bench/accuracy.py TAMSLREP.CSV TRENDS.CSV manifest.csv DOCS_DIR HERDS SEED DATE TODAY

Normally run by bench/accuracy.sh, which makes the batch (with TRENDS, so that TRENDS.CSV holds
each herd's earlier seasons). Writes DOCS_DIR/ACCURACY.md and DOCS_DIR/accuracy/*.png. Herds are matched to their true mating group as compare_truth.py does;
a figure the analysis left at 0 ("not available") is counted as not given, not compared. The
output depends on nothing but the two input files and the arguments: no dates, no paths, PNGs
without a software stamp.
"""
import collections
import csv
import datetime
import math
import os
import statistics
import sys

import matplotlib

matplotlib.use("Agg")
matplotlib.rcParams.update({
    "svg.hashsalt": "ovista-accuracy",
    "font.family": "DejaVu Sans",
    "font.size": 9,
})
import matplotlib.dates as mdates  # noqa: E402
import matplotlib.pyplot as plt  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare_truth as ct  # noqa: E402

SYSTEMS = ["seasonal", "split", "yearround"]
SYSTEM_NAMES = {"seasonal": "seasonal", "split": "split", "yearround": "year-round"}
RECORDS = ["earlypd", "scans", "mating", "latepd", "calvings"]
RECORD_NAMES = {
    "earlypd": "services and early scans",
    "scans": "early scans, no services",
    "mating": "services only",
    "latepd": "one late test a season",
    "calvings": "calvings only",
}
LEVELS = ["2", "1", "3", "4"]  # most detailed first
LEVEL_NAMES = {
    "1": "Intermediate (mating records)",
    "2": "Detailed (early pregnancy tests)",
    "3": "Intermediate (pregnancy tests)",
    "4": "Basic (calvings)",
}
LEVEL_COLOURS = {"1": "#e08000", "2": "#1f5fbf", "3": "#2a9d3a", "4": "#c8102e"}
SYSTEM_MARKERS = {"seasonal": "o", "split": "^", "yearround": "s"}

# (key, title, unit, summary column, manifest column, systems it is compared for)
FIGURES = [
    ("icr6wk", "6-week in-calf rate", "%", ct.COL_ICR6WK, "icr6wk", ("seasonal", "split")),
    ("icr100d", "100-day in-calf rate", "%", ct.COL_ICR100D, "icr100d", ("yearround",)),
    ("sr3wk", "3-week submission rate", "%", ct.COL_SR3WK, "sr3wk", ("seasonal", "split")),
    ("cr", "conception rate", "%", ct.COL_CR, "cr", ("seasonal", "split")),
    ("msd", "mating start date", "days", ct.COL_MSD, "msd", ("seasonal", "split")),
]


class Point:
    """One herd's estimate of one figure against the truth."""

    def __init__(self, herd, system, records, level, got, truth):
        self.herd, self.system, self.records, self.level = herd, system, records, level
        self.got, self.truth = got, truth
        self.diff = (got - truth).days if isinstance(got, datetime.date) else got - truth


def collect(rows, manifest):
    """Levels by herd, compared points and not-given counts by figure."""
    herds = []  # (herd number, true system, records, messy, AnalType, analysed pattern)
    points = collections.defaultdict(list)
    missing = collections.defaultdict(collections.Counter)
    unmatched = []
    for row in rows:
        number = row[ct.COL_SHNO - 1]
        groups = manifest.get(number)
        if not groups:
            continue
        system, records = groups[0]["pattern"], groups[0]["quality"]
        level, pattern = row[ct.COL_ANALTYPE - 1], ct.PATTERNS.get(row[ct.COL_PATTERN - 1], "?")
        herds.append((number, system, records, groups[0]["messy"] == "1", level, pattern))
        if level not in LEVEL_NAMES:
            continue
        group = ct.match_group(row, groups)
        if group is None:
            unmatched.append((number, system, pattern, level))
            continue
        for key, _, _, col, truth_col, systems in FIGURES:
            if system not in systems or pattern not in ct.PATTERNS.values() or not group[truth_col]:
                continue
            if key == "msd":
                got = ct.short_date(row[col - 1])
                if got is None:
                    missing[key][(system, level, records)] += 1
                    continue
                truth = ct.long_date(group[truth_col])
                point = Point(number, system, records, level, got, truth)
            else:
                got = int(row[col - 1])
                if got == 0:
                    missing[key][(system, level, records)] += 1
                    continue
                point = Point(number, system, records, level, got, float(group[truth_col]))
            points[key].append(point)
    return herds, points, missing, unmatched


def p90(values):
    """90th percentile by nearest rank: the smallest value at least 90 % of them reach."""
    ordered = sorted(values)
    return ordered[max(0, math.ceil(0.9 * len(ordered)) - 1)]


def stats(points):
    d = [p.diff for p in points]
    worst = max(points, key=lambda p: (abs(p.diff), p.diff))
    return (len(d), statistics.fmean(d), statistics.fmean(abs(x) for x in d),
            p90([abs(x) for x in d]), worst.diff)


def select(points, system=None, level=None, records=None):
    return [p for p in points if (system is None or p.system in system)
            and (level is None or p.level == level) and (records is None or p.records in records)]


def fmt(value, digits=1, sign=False):
    text = f"{value:+.{digits}f}" if sign else f"{value:.{digits}f}"
    return text.replace("-", "−")


def figure_table(key, unit, systems, points, missing):
    digits = 1
    lines = [
        f"| calving system | level of analysis | records | herds compared | not given "
        f"| mean difference | mean absolute difference | 90th percentile | largest |",
        "|---|---|---|--:|--:|--:|--:|--:|--:|",
    ]
    for system in systems:
        for level in LEVELS:
            kinds = [r for r in RECORDS
                     if select(points, {system}, level, {r}) or missing[(system, level, r)]]
            if not kinds:
                continue
            rows = [(None, kinds)] + ([(r, [r]) for r in kinds] if len(kinds) > 1 else [])
            for label, rs in rows:
                chosen = select(points, {system}, level, set(rs))
                gone = sum(missing[(system, level, r)] for r in rs)
                records = "all" if label is None and len(kinds) > 1 else RECORD_NAMES[rs[0]]
                if label is not None:
                    records = "· " + records
                cells = [SYSTEM_NAMES[system], LEVEL_NAMES[level], records, str(len(chosen)),
                         str(gone)]
                if chosen:
                    n, mean, mad, q90, worst = stats(chosen)
                    whole = 0 if key == "msd" else 1
                    cells += [fmt(mean, digits, True), fmt(mad, digits), fmt(q90, whole),
                              fmt(worst, whole, True)]
                else:
                    cells += ["–"] * 4
                lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines)


def chart(path, key, title, unit, points):
    """Estimate against truth, one point per herd, coloured by level of analysis."""
    ordered = sorted(points, key=lambda p: (LEVELS.index(p.level), p.system, p.herd))
    panels = 2 if key == "msd" else 1
    fig, axes = plt.subplots(1, panels, figsize=(6.4 * panels, 6.0), dpi=100, squeeze=False)
    ax = axes[0][0]
    systems = [s for s in SYSTEMS if any(p.system == s for p in ordered)]
    for level in LEVELS:
        for system in systems:
            chosen = [p for p in ordered if p.level == level and p.system == system]
            if not chosen:
                continue
            x = [p.truth for p in chosen]
            y = [p.got for p in chosen]
            label = LEVEL_NAMES[level] + (f", {SYSTEM_NAMES[system]}" if len(systems) > 1 else "")
            ax.scatter(x, y, s=10, alpha=0.55, linewidths=0, color=LEVEL_COLOURS[level],
                       marker=SYSTEM_MARKERS[system], label=f"{label} ({len(chosen)})")
            if panels == 2:
                axes[0][1].scatter(x, [p.diff for p in chosen], s=10, alpha=0.55, linewidths=0,
                                   color=LEVEL_COLOURS[level], marker=SYSTEM_MARKERS[system])
    if key == "msd":
        low = min(min(p.truth for p in ordered), min(p.got for p in ordered))
        high = max(max(p.truth for p in ordered), max(p.got for p in ordered))
        ax.plot([low, high], [low, high], color="0.3", linewidth=0.8, linestyle="--",
                label="estimate = truth")
        for a in (ax, axes[0][1]):
            a.xaxis.set_major_formatter(mdates.DateFormatter("%b %Y"))
        ax.yaxis.set_major_formatter(mdates.DateFormatter("%b %Y"))
        ax.set_ylabel("mating start date found by the analysis")
        right = axes[0][1]
        right.axhline(0, color="0.3", linewidth=0.8, linestyle="--")
        right.set_xlabel("true mating start date")
        right.set_ylabel("analysis minus truth, days")
        right.set_title("difference from the truth")
        right.grid(True, color="0.9", linewidth=0.5)
        fig.autofmt_xdate()
    else:
        ax.plot([0, 100], [0, 100], color="0.3", linewidth=0.8, linestyle="--",
                label="estimate = truth")
        ax.set_xlim(0, 100)
        ax.set_ylim(0, 100)
        ax.set_aspect("equal")
        ax.set_ylabel(f"{title} found by the analysis, %")
    ax.set_xlabel(f"true {title}" + (", %" if unit == "%" else ""))
    ax.set_title(f"{title[0].upper()}{title[1:]}: analysis against truth, {len(ordered)} herds")
    ax.grid(True, color="0.9", linewidth=0.5)
    ax.legend(loc="upper left", fontsize=7, frameon=True, markerscale=1.5)
    fig.tight_layout()
    fig.savefig(path, format="png", metadata={"Software": None})
    plt.close(fig)


def level_tables(herds):
    levels = LEVELS + ["0"]
    head = "| calving system | records | herds | " + " | ".join(
        LEVEL_NAMES[lv] for lv in LEVELS) + " | no analysis |"
    lines = [head, "|---|---|--:|" + "--:|" * len(levels)]
    for system in SYSTEMS:
        total = collections.Counter()
        for records in RECORDS:
            chosen = [h for h in herds if h[1] == system and h[2] == records]
            if not chosen:
                continue
            counts = collections.Counter(h[4] if h[4] in LEVEL_NAMES else "0" for h in chosen)
            total.update(counts)
            lines.append(f"| {SYSTEM_NAMES[system]} | {RECORD_NAMES[records]} | {len(chosen)} | "
                         + " | ".join(str(counts[lv]) for lv in levels) + " |")
        lines.append(f"| **{SYSTEM_NAMES[system]}** | **all** | **{sum(total.values())}** | "
                     + " | ".join(f"**{total[lv]}**" for lv in levels) + " |")
    found = ["| true calving system | herds | found seasonal | found split | found year-round |",
             "|---|--:|--:|--:|--:|"]
    for system in SYSTEMS:
        chosen = [h for h in herds if h[1] == system]
        counts = collections.Counter(h[5] for h in chosen)
        found.append(f"| {SYSTEM_NAMES[system]} | {len(chosen)} | "
                     + " | ".join(str(counts[s]) for s in SYSTEMS) + " |")
    return "\n".join(lines), "\n".join(found)



# Season against season: the page-3 figures, as page 1 gives them.
# (key, name, summary column, manifest column, systems, given(row) beyond a value other than 0)
COL_CRNO, COL_CALV6WK, COL_SR80D, COL_NICR200D, COL_ERROR = 23, 46, 54, 60, 4
COL_ACT = 6
TESTED = ("2", "3")
TREND_FIGURES = [
    ("icr6wk", "6-week in-calf rate", ct.COL_ICR6WK, "icr6wk", ("seasonal", "split"), lambda r: True),
    ("nicr", "Not-in-calf rate", ct.COL_NICR, "nicr", ("seasonal", "split"),
     lambda r: r[ct.COL_ANALTYPE - 1] in TESTED),
    ("sr3wk", "3-week submission rate", ct.COL_SR3WK, "sr3wk", ("seasonal", "split"), lambda r: True),
    ("cr", "Conception rate", ct.COL_CR, "cr", ("seasonal", "split"),
     lambda r: r[ct.COL_ANALTYPE - 1] == "2" and int(r[COL_CRNO - 1]) > 50),
    ("calv6wk", "Herd calved by week 6", COL_CALV6WK, "calv6wk", ("seasonal", "split"), lambda r: True),
    ("icr100d", "100-day in-calf rate", ct.COL_ICR100D, "icr100d", ("yearround",), lambda r: True),
    ("nicr200d", "200-day not-in-calf rate", COL_NICR200D, "nicr200d", ("yearround",),
     lambda r: r[ct.COL_ANALTYPE - 1] in TESTED),
    ("sr80d", "80-day submission rate", COL_SR80D, "sr80d", ("yearround",), lambda r: True),
    ("cr_yr", "Conception rate (year-round)", ct.COL_CR, "cr", ("yearround",),
     lambda r: r[ct.COL_ANALTYPE - 1] == "2" and int(r[COL_CRNO - 1]) > 50),
]
MIXED = "mixed"
CHANGE_LEVELS = LEVELS + [MIXED]
CHANGE_LEVEL_NAMES = dict(LEVEL_NAMES, mixed="seasons of different levels")
MIN_PAIRS = 20  # fewer pairs give no margin of their own


def printable(row):
    """A report page is drawn for the row (Error 0, or a seasonal herd not stopped with 1-4)."""
    error = row[COL_ERROR - 1]
    return error == "0" or (row[ct.COL_PATTERN - 1] == "1" and error not in ("1", "2", "3", "4"))


def season_window(row):
    """The calving window the report shows for the row's season, as (first, last) dates."""
    msd = ct.short_date(row[ct.COL_MSD - 1])
    pattern = row[COL_ACT - 1]
    if msd is None or pattern == "3":
        return ct.short_date(row[ct.COL_START - 1]), ct.short_date(row[ct.COL_STOP - 1])
    day = datetime.timedelta(days=1)
    if pattern == "2":
        return msd - 120 * day, msd
    return msd - 130 * day, msd + 59 * day


def same_season(a, b):
    (a1, a2), (b1, b2) = season_window(a), season_window(b)
    if None in (a1, a2, b1, b2):
        return False
    shared = (min(a2, b2) - max(a1, b1)).days + 1
    shorter = min((a2 - a1).days, (b2 - b1).days) + 1
    return shared > 0 and 2 * shared > shorter


class Change:
    """One figure of two consecutive seasons of a herd's trend page against the truth."""

    def __init__(self, key, level, system, measured, true):
        self.key, self.level, self.system = key, level, system
        self.measured, self.true = measured, true
        self.diff = measured - true


def collect_changes(rows, trend_rows, manifest):
    """Changes by figure: the seasons of each herd as its trend page shows them (the report's,
    then the earlier ones that give a page and are not the same season again), and for each
    two neighbouring seasons of one calving system, each figure given in both."""
    earlier = collections.defaultdict(list)
    for row in trend_rows:
        earlier[row[ct.COL_SHNO - 1]].append(row)
    changes = collections.defaultdict(list)
    counts = collections.Counter()
    for row in rows:
        number = row[ct.COL_SHNO - 1]
        groups = manifest.get(number)
        if not groups or not printable(row):
            continue
        seasons = [row]
        for older in earlier.get(number, []):
            if len(seasons) == 5:
                break
            if printable(older) and not any(same_season(older, s) for s in seasons):
                seasons.append(older)
        counts["pages"] += 1
        counts["page_seasons"] += len(seasons)
        system = groups[0]["pattern"]
        for later, before in zip(seasons, seasons[1:]):
            if later[COL_ACT - 1] != before[COL_ACT - 1]:
                counts["pairs_new_line"] += 1
                continue
            g_later, g_before = ct.match_group(later, groups), ct.match_group(before, groups)
            if g_later is None or g_before is None or g_later is g_before:
                counts["pairs_unmatched"] += 1
                continue
            counts["pairs"] += 1
            a, b = later[ct.COL_ANALTYPE - 1], before[ct.COL_ANALTYPE - 1]
            level = a if a == b else MIXED
            pattern = ct.PATTERNS.get(later[COL_ACT - 1])
            for key, _, col, truth_col, systems, given in TREND_FIGURES:
                if pattern not in systems or system not in systems:
                    continue
                values = [int(r[col - 1]) if given(r) else 0 for r in (later, before)]
                truths = [ct.number(g[truth_col]) for g in (g_later, g_before)]
                if 0 in values or None in truths or -1.0 in truths:
                    continue
                changes[key].append(Change(key, level, system, values[0] - values[1],
                                           truths[0] - truths[1]))
    return changes, {"pages": counts["pages"], "page_seasons": counts["page_seasons"],
                     "pairs": counts["pairs"], "pairs_unmatched": counts["pairs_unmatched"],
                     "pairs_new_line": counts["pairs_new_line"]}


def margin(chosen):
    """The smallest change told apart: the 90th percentile of |measured - true change|,
    rounded up to a whole point; None with fewer than MIN_PAIRS changes."""
    if len(chosen) < MIN_PAIRS:
        return None
    return max(1, math.ceil(p90([abs(c.diff) for c in chosen]) - 1e-9))


def change_table(changes):
    lines = ["| figure | level of analysis | season pairs | mean true change | mean difference "
             "| mean absolute difference | 90th percentile | largest |",
             "|---|---|--:|--:|--:|--:|--:|--:|"]
    for key, name, *_ in TREND_FIGURES:
        for level in CHANGE_LEVELS:
            chosen = [c for c in changes[key] if c.level == level]
            if not chosen:
                continue
            worst = max(chosen, key=lambda c: (abs(c.diff), c.diff))
            lines.append(
                f"| {name} | {CHANGE_LEVEL_NAMES[level]} | {len(chosen)} | "
                f"{fmt(statistics.fmean(abs(c.true) for c in chosen))} | "
                f"{fmt(statistics.fmean(c.diff for c in chosen), 1, True)} | "
                f"{fmt(statistics.fmean(abs(c.diff) for c in chosen))} | "
                f"{fmt(p90([abs(c.diff) for c in chosen]))} | {fmt(worst.diff, 1, True)} |")
    return "\n".join(lines)


def margin_table(changes):
    """Margins in whole points by figure and level; the trend page holds the same table."""
    lines = ["| figure | " + " | ".join(CHANGE_LEVEL_NAMES[lv] for lv in
                                      ["1", "2", "3", "4", MIXED]) + " |",
             "|---|" + "--:|" * 5]
    for key, name, *_ in TREND_FIGURES:
        if key == "cr_yr":
            continue  # one conception-rate row: the page has one
        chosen = changes[key] + (changes["cr_yr"] if key == "cr" else [])
        cells = []
        for level in ["1", "2", "3", "4", MIXED]:
            m = margin([c for c in chosen if c.level == level])
            cells.append("–" if m is None else str(m))
        lines.append(f"| {name} | " + " | ".join(cells) + " |")
    return "\n".join(lines)


def trend_chart(path, changes):
    """Measured change against true change of the two in-calf rates, by level of analysis."""
    keys = [("icr6wk", "6-week in-calf rate"), ("icr100d", "100-day in-calf rate")]
    fig, axes = plt.subplots(1, 2, figsize=(12.8, 6.0), dpi=100, squeeze=False)
    for ax, (key, title) in zip(axes[0], keys):
        chosen = changes[key]
        for level in CHANGE_LEVELS:
            pts = [c for c in chosen if c.level == level]
            if not pts:
                continue
            ax.scatter([c.true for c in pts], [c.measured for c in pts], s=10, alpha=0.55,
                       linewidths=0, color=LEVEL_COLOURS.get(level, "0.5"),
                       label=f"{CHANGE_LEVEL_NAMES[level]} ({len(pts)})")
        ax.plot([-40, 40], [-40, 40], color="0.3", linewidth=0.8, linestyle="--",
                label="measured = true change")
        ax.set_xlim(-40, 40)
        ax.set_ylim(-40, 40)
        ax.set_aspect("equal")
        ax.set_xlabel("true change from the season before, points")
        ax.set_ylabel("measured change, points")
        ax.set_title(f"{title}: change season against season, {len(chosen)} pairs")
        ax.grid(True, color="0.9", linewidth=0.5)
        ax.legend(loc="upper left", fontsize=7, frameon=True, markerscale=1.5)
    fig.tight_layout()
    fig.savefig(path, format="png", metadata={"Software": None})
    plt.close(fig)


def main(argv):
    if len(argv) != 9:
        print(__doc__, file=sys.stderr)
        return 2
    summary, trends_path, manifest_path, docs, herd_count, seed, date, today = argv[1:]
    rows, manifest = ct.load(summary, manifest_path)
    with open(trends_path, newline="", encoding="latin-1") as f:
        trend_rows = list(csv.reader(f))[1:]
    herds, points, missing, unmatched = collect(rows, manifest)
    os.makedirs(os.path.join(docs, "accuracy"), exist_ok=True)
    for key, title, unit, _, _, _ in FIGURES:
        chart(os.path.join(docs, "accuracy", f"{key}.png"), key, title, unit, points[key])
    changes, change_counts = collect_changes(rows, trend_rows, manifest)
    trend_chart(os.path.join(docs, "accuracy", "trends.png"), changes)

    def mad(key, systems, level, records=None):
        chosen = select(points[key], set(systems), level, records and set(records))
        return fmt(statistics.fmean(abs(p.diff) for p in chosen)) if chosen else "–"

    def mean(key, systems, level, records=None):
        """The bias in words: "4.6 points low", "10.1 days early"."""
        chosen = select(points[key], set(systems), level, records and set(records))
        if not chosen:
            return "–"
        value = statistics.fmean(p.diff for p in chosen)
        if key == "msd":
            return f"{fmt(abs(value))} days " + ("early" if value < 0 else "late")
        return f"{fmt(abs(value))} points " + ("low" if value < 0 else "high")

    seasonal = ("seasonal", "split")
    levels, found = level_tables(herds)
    messy = sum(1 for h in herds if h[3])
    page = PAGE.format(
        herds=herd_count, seed=seed, date=date, today=today, rows=len(rows), messy=messy,
        levels=levels, found=found,
        unmatched=len(unmatched),
        d_icr=mad("icr6wk", seasonal, "2", ["earlypd"]),
        d_sr=mad("sr3wk", seasonal, "2", ["earlypd"]),
        d_cr=mad("cr", seasonal, "2", ["earlypd"]),
        d_msd=mad("msd", seasonal, "2", ["earlypd"]),
        s_icr=mean("icr6wk", ("seasonal",), "2", ["scans"]),
        s_msd=mad("msd", ("seasonal",), "2", ["scans"]),
        m_icr=mad("icr6wk", seasonal, "1"), m_icr_mean=mean("icr6wk", seasonal, "1"),
        m_sr=mad("sr3wk", seasonal, "1"), m_msd=mad("msd", seasonal, "1"),
        m_yr=mean("icr100d", ("yearround",), "1"),
        p_msd=mad("msd", ("split",), "3"), p_yr=mean("icr100d", ("yearround",), "3"),
        b_icr=mean("icr6wk", ("seasonal",), "4"), b_icr_split=mean("icr6wk", ("split",), "4"),
        b_icr_mad=mad("icr6wk", seasonal, "4"), b_msd=mean("msd", seasonal, "4"),
        b_yr=mean("icr100d", ("yearround",), "4"), b_yr_mad=mad("icr100d", ("yearround",), "4"),
        y_scans=mean("icr100d", ("yearround",), "2"),
        b_missing=sum(v for (s, lv, r), v in missing["icr6wk"].items() if lv == "4"),
        b_total=sum(1 for h in herds if h[4] == "4" and h[1] in seasonal),
        tables={key: figure_table(key, unit, systems, points[key], missing[key])
                for key, _, unit, _, _, systems in FIGURES},
        change_table=change_table(changes), margin_table=margin_table(changes),
        trend_rows=len(trend_rows), min_pairs=MIN_PAIRS, **change_counts,
    )
    with open(os.path.join(docs, "ACCURACY.md"), "w", encoding="utf-8", newline="\n") as f:
        f.write(page)
    return 0


PAGE = """\
# How far the figures can be trusted

A report is only as good as the records behind it. This page measures, on {herds} herds made by
our herd generator, how far each figure of the analysis lies from the herd's true figure, for
each calving system and each level of analysis. The generator knows the truth: it simulates
every heat, service, conception and loss, writes only what the farm would have recorded, and
keeps the true figures in its manifest (their definitions are in
[examples/README.md](../examples/README.md)). The page and its charts are made by
`bench/accuracy.sh`; see [Refreshing this page](#refreshing-this-page).

## What a farmer can read from each level of report

The program chooses the level of analysis from the records the herd has and prints it at the
top of the report ("Level of analysis: Detailed."); the summary file gives it as `AnalType`.

- **Detailed** (from early pregnancy tests, with services): the whole picture of the last mating
  season, close to the truth. The 6-week in-calf rate, the 3-week submission rate and the
  conception rate come out {d_icr}, {d_sr} and {d_cr} points from the truth on average, the
  mating start date {d_msd} days. These figures can be compared with targets and
  with other herds, and a change of a few points from one year to the next means something.
  With early scans but no services recorded the level is the same, but conception dates are
  only known to the week: the 6-week in-calf rate comes out {s_icr} on average and the
  submission and conception rates are not given.
- **Intermediate** from mating records (services only): the submission rate and the mating
  start date are as good as in a Detailed report ({m_sr} points, {m_msd} days on average), but
  the in-calf rate is inferred from returns to service, {m_icr} points off on average
  ({m_icr_mean} on balance), and the conception rate is not given. Good for seeing how well
  cows were got up for mating; treat the in-calf rate as a rough guide and look for large
  changes only.
- **Intermediate** from pregnancy tests (one test a season after mating, no services): how
  many cows got in calf in the season, but not how early. In split herds the 6-week in-calf
  rate is not given and the mating start date is found {p_msd} days off on average; in
  year-round herds the 100-day in-calf rate comes out {p_yr}.
- **Basic** (from calvings and recalvings): the calving pattern and a rough in-calf rate; with
  calvings only, of the mating season before last (a season's conceptions show only when the
  cows calve again). The 6-week in-calf rate comes out {b_icr} on average in seasonal
  herds and {b_icr_split} in split herds ({b_icr_mad} points off either way), and is often
  not given; submission and conception rates never are. Enough to tell a herd with a
  fertility problem from one without, not to follow progress from year to year.

## The batch

    build/tools/herdgen --out HERDS --herds {herds} --seed {seed} --date {date} \\
      --pattern seasonal,split,yearround,... --quality earlypd×3,scans×3,mating×3,latepd×3,calvings×3,... \\
      --style clean,clean,clean,messy,...
    OVISTA_TODAY={today} build/ovista NODIALOGS TRENDS XFERFOLDER=OUT QMRBATCHFILE=HERDS/batch.txt

Herd *i* (from 0) has the calving system *i* mod 3 and the records (*i* div 3) mod 5 of the
lists above, so every combination has the same number of herds; every fourth file is written
in the messy style (CR LF, mixed date styles, blank and repeated heading rows: {messy} herds).
Herd sizes are drawn from 55 to 1,000 cows, histories of four or five years; the analysis
date of every herd is {date}. The summary file has {rows} rows.

## Which level each herd got

{levels}

Seasonal herds with one late test a season are mostly analysed on their recalvings; year-round
herds with services are analysed on their mating records even when they also have early scans.

The calving system found by the analysis (`ActCalvingPattern`):

{found}

## How close the figures are

Each figure is the analysis minus the truth, in percentage points (the mating start date in
days): the mean difference (the bias), the mean absolute difference, the 90th percentile of
the absolute difference (nine herds in ten are at least this close) and the largest
difference, with its sign. "Not given" counts herds whose report leaves the figure out. A
seasonal or split herd is compared with the true mating season that holds the mating start
date it was analysed for; a year-round herd with the true 12-month calving window it was
analysed for ({unmatched} herds had no such season or window and are left out). Rows marked ·
split a level by the records the herd had.

### 6-week in-calf rate (seasonal and split herds)

![6-week in-calf rate, analysis against truth](accuracy/icr6wk.png)

{tables[icr6wk]}

### 100-day in-calf rate (year-round herds)

![100-day in-calf rate, analysis against truth](accuracy/icr100d.png)

{tables[icr100d]}

### 3-week submission rate (seasonal and split herds)

![3-week submission rate, analysis against truth](accuracy/sr3wk.png)

{tables[sr3wk]}

### Conception rate (seasonal and split herds)

![Conception rate, analysis against truth](accuracy/cr.png)

{tables[cr]}

### Mating start date (seasonal and split herds)

![Mating start date, analysis against truth](accuracy/msd.png)

{tables[msd]}

## Season against season: how well a change is measured

With `TRENDS` every herd is analysed again as of the same day one to four years earlier, and
page 3 of its report shows the seasons side by side with a sentence for each headline figure:
"Up 7 points since last season", or "About the same as last season" when the change is smaller
than the method can tell apart. How small is that? The batch above was run with `TRENDS`
({trend_rows} rows of earlier seasons in `TRENDS.CSV`). For each herd the seasons are taken as
its trend page shows them ({page_seasons} seasons on {pages} pages: an earlier season that gave
no report, or that is the same calving season again, is left out), and for every two
neighbouring seasons of one calving system ({pairs} pairs matched to the generator's seasons;
{pairs_unmatched} pairs had a season without a true one, {pairs_new_line} pairs changed
calving system) each figure given in both is compared: the measured change (this season minus
the one before) against the true change of the same two seasons. The difference is in
percentage points; a figure's own bias at a level cancels when both seasons have that level,
so a change is measured better than the figure itself.

![Measured against true change of the in-calf rates](accuracy/trends.png)

{change_table}

### Margins of the trend page

A change of a figure is "about the same" on page 3 when it is smaller than the margin below:
the 90th percentile of the difference between measured and true change (nine changes in ten
are measured at least this well), rounded up to a whole point, for the level of analysis of the
two seasons. Two seasons of different levels take the margin measured for such pairs, or the
larger of their two levels' margins when that is larger; a level with fewer than {min_pairs}
pairs (–) takes the largest margin of its figure. The conception rate's row pools seasonal,
split and year-round herds. The program holds the same table (`interpret/trends.cpp`; a test
compares the two).

{margin_table}

## Known biases of the method

These come from what the records can show, not from faults in the program; they will be there
on real farms too.

- **Estimates from recalvings are low.** A cow counts as in calf early only if she calves again
  early; cows that conceive and are then culled, sold or lose the calf pull the rate down.
  It comes out {b_icr} in seasonal herds, {b_icr_split} in split herds and (the
  100-day rate) {b_yr} in year-round herds. The mating start date found from
  calvings comes out {b_msd} on average. A herd where too few cows recalved gets no 6-week in-calf rate at all
  ({b_missing} of the {b_total} Basic seasonal and split herds here).
- **Year-round herds on early scans only are low.** A cow without a scan counts as not in calf
  for all 200 days, also when she calved in the last months before the analysis date and
  cannot have been scanned yet: the 100-day in-calf rate comes out {y_scans}.
- **Year-round herds on mating records are low.** The 100-day in-calf rate is estimated
  from the first service with a fixed model that gives a cow served by day 100 and not again
  by day 130 about an 80 % chance of being in calf, where nearly all such cows are: it comes
  out {m_yr}. On one late test a season it comes out {p_yr}.
- **Seasonal herds on early scans only** have conception dates counted back in whole weeks from
  one scan, on a 7-day grid. The mating start date lands on a grid point, often the one
  before the true start ({s_msd} days off on average), and day 42 then stops one day short of
  the seventh grid point: the 6-week in-calf rate comes out {s_icr}.
- **In-calf rates from mating records count a cow not served again as in calf**, so a return
  that was not seen or not recorded (a missed heat, a mating by a bull) looks like a
  conception: the 6-week in-calf rate comes out {m_icr_mean} on balance, and spread widely.
- **Small herds and small split blocks** give the largest single differences: in a block of 20
  cows one cow is 5 points, and a mating start found a few days late moves the 6-week window.

## Refreshing this page

    bench/accuracy.sh

builds `ovista` and `herdgen` in `build/` (or in `$OVISTA_BUILD`) when needed, makes the
batch above in a scratch folder, runs it, rewrites this page and `docs/accuracy/*.png`, and
removes the scratch folder. It draws the charts with the Debian package `python3-matplotlib`
and installs it when it is missing. The generator, the fixed report date and fixed chart
settings make the result the same to the byte on every run; refresh the page after any change
to the analysis or the generator and commit what changed.
"""

if __name__ == "__main__":
    sys.exit(main(sys.argv))
