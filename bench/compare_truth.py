#!/usr/bin/env python3
"""Measures the analysis against the herd generator's truth.

    bench/compare_truth.py TAMSLREP.CSV manifest.csv [--herds]

Joins the summary rows (by SHNO) with the generator's manifest. A seasonal or split herd is
compared with the mating season whose mating (from 60 days before its true start to its end)
holds the herd's MSD, else the one starting nearest to it (within 60 days); a year-round herd
with the 12-month calving window that is the analysed period (CalvingStart to CalvingStop).
For each figure the difference analysis minus truth is taken in percentage points (MSD in
days), grouped by analysis basis, analysed calving pattern and what the farm recorded. Figures
the analysis left at 0 ("not available") are counted apart, not compared. --herds lists every
herd's figures.
"""
import collections
import csv
import datetime
import signal
import statistics
import sys

# Summary columns (1-based).
COL_SHNO, COL_PATTERN = 3, 6
COL_START, COL_STOP, COL_ANALTYPE = 9, 10, 15
COL_CR, COL_MSD, COL_SR3WK, COL_ICR6WK, COL_NICR, COL_ICR100D = 22, 28, 33, 37, 39, 58

BASES = {"1": "mating records", "2": "early pregnancy tests", "3": "pregnancy tests",
         "4": "recalvings"}
PATTERNS = {"1": "seasonal", "2": "split", "3": "yearround"}
MATCH_DAYS = 60


def short_date(text):
    """A "dd/MM/yy" summary date; None for "  /  /  "."""
    text = text.strip()
    if not text.replace("/", "").strip():
        return None
    d, m, y = (int(p) for p in text.split("/"))
    return datetime.date(2000 + y if y < 50 else 1900 + y, m, d)


def long_date(text):
    if not text:
        return None
    d, m, y = (int(p) for p in text.split("/"))
    return datetime.date(y, m, d)


def number(text):
    return float(text) if text not in ("", "-1") else None


def load(summary_path, manifest_path):
    with open(summary_path, newline="", encoding="latin-1") as f:
        rows = list(csv.reader(f))[1:]
    groups = collections.defaultdict(list)
    with open(manifest_path, newline="", encoding="latin-1") as f:
        for g in csv.DictReader(f):
            # Seasons before the written history: no analysis can see them.
            if g.get("recorded", "1") == "0":
                continue
            groups[g["herd_number"]].append(g)
    return rows, groups


def match_group(row, groups):
    """The manifest line the analysed figures belong to, or None."""
    pattern = row[COL_PATTERN - 1]
    if pattern == "3":
        start, stop = short_date(row[COL_START - 1]), short_date(row[COL_STOP - 1])
        for g in groups:
            if long_date(g["group_from"]) == start and long_date(g["group_to"]) == stop:
                return g
        return None
    msd = short_date(row[COL_MSD - 1])
    if msd is None:
        return None
    seasons = [g for g in groups if g["msd"]]
    # The season whose mating (from two months before its start) holds the analysed MSD, else
    # the one that starts nearest to it.
    holding = [g for g in seasons
               if long_date(g["msd"]) - datetime.timedelta(days=MATCH_DAYS) <= msd
               <= long_date(g["end_of_mating"])]
    candidates = holding or seasons
    if not candidates:
        return None
    best = min(candidates, key=lambda g: abs((long_date(g["msd"]) - msd).days))
    return best if holding or abs((long_date(best["msd"]) - msd).days) <= MATCH_DAYS else None


# (name, summary column, manifest column, patterns it applies to)
FIGURES = [
    ("ICR6wk", COL_ICR6WK, "icr6wk", ("seasonal", "split")),
    ("ICR100d", COL_ICR100D, "icr100d", ("yearround",)),
    ("NICR", COL_NICR, "nicr", ("seasonal", "split")),
    ("SR3wk", COL_SR3WK, "sr3wk", ("seasonal", "split")),
    ("CR", COL_CR, "cr", ("seasonal", "split")),
]


def compare(rows, manifest):
    """Differences by (figure, basis, pattern, records): lists of (difference, herd, got,
    truth, cows in the true group)."""
    diffs = collections.defaultdict(list)
    unavailable = collections.Counter()
    unmatched = []
    listing = []
    for row in rows:
        herd = row[COL_SHNO - 1]
        basis, pattern = row[COL_ANALTYPE - 1], PATTERNS.get(row[COL_PATTERN - 1], "?")
        groups = manifest.get(herd)
        if not groups or basis not in BASES:
            continue
        true_pattern, quality = groups[0]["pattern"], groups[0]["quality"]
        group = match_group(row, groups)
        if group is None:
            unmatched.append((herd, true_pattern, pattern, basis, row[COL_MSD - 1]))
            continue
        line = [herd, groups[0]["file"], true_pattern, groups[0]["quality"], pattern, basis,
                group["season"]]
        if group["msd"] and row[COL_MSD - 1].strip(" /"):
            days = (short_date(row[COL_MSD - 1]) - long_date(group["msd"])).days
            diffs[("MSD", basis, pattern, quality)].append(
                (days, herd, row[COL_MSD - 1], group["msd"], group["group_cows"]))
            line.append(f"MSD {days:+d}d")
        for name, col, key, applies in FIGURES:
            truth = number(group[key])
            if truth is None or pattern not in applies:
                continue
            got = int(row[col - 1])
            if got == 0:
                unavailable[(name, basis, pattern, quality)] += 1
                line.append(f"{name} -/{truth:.1f}")
                continue
            diffs[(name, basis, pattern, quality)].append(
                (got - truth, herd, got, truth, group["group_cows"]))
            line.append(f"{name} {got}/{truth:.1f}")
        listing.append(line)
    return diffs, unavailable, unmatched, listing


QUALITIES = ["earlypd", "scans", "mating", "latepd", "calvings"]


def summarise(values):
    """n, mean difference, mean absolute difference and the worst herd of a list."""
    d = [v[0] for v in values]
    worst = max(values, key=lambda v: abs(v[0]))
    return len(d), statistics.fmean(d), statistics.fmean(abs(x) for x in d), worst


def print_table(diffs, unavailable, bases):
    order = [f[0] for f in FIGURES] + ["MSD"]
    keys = sorted({k for k in list(diffs) + list(unavailable) if k[1] in bases},
                  key=lambda k: (k[1], order.index(k[0]), list(PATTERNS.values()).index(k[2]),
                                 QUALITIES.index(k[3]) if k[3] in QUALITIES else 99))
    print(f"  {'figure':8} {'pattern':10} {'records':9} {'n':>4} {'mean d':>7} {'mean |d|':>8} "
          f"{'max |d|':>7}  {'worst herd: got / truth':42} {'n/a':>4}")
    basis = None
    for key in keys:
        name, b, pattern, quality = key
        if b != basis and len(bases) > 1:
            print(f"  -- AnalType {b} ({BASES[b]})")
        basis = b
        values = diffs.get(key, [])
        missing = unavailable.get(key, 0)
        if not values:
            print(f"  {name:8} {pattern:10} {quality:9} {0:4} {'':7} {'':8} {'':7}  {'':42} {missing:4}")
            continue
        n, mean, mean_abs, worst = summarise(values)
        unit = "d" if name == "MSD" else " "
        herd = f"{worst[1]} ({worst[4]} cows): {worst[2]} / {worst[3]}"
        print(f"  {name:8} {pattern:10} {quality:9} {n:4} {mean:+6.1f}{unit} {mean_abs:7.1f}{unit} "
              f"{abs(worst[0]):6.1f}{unit}  {herd:42} {missing:4}")
    print()


def report(diffs, unavailable, unmatched, listing, show_herds):
    print("Herds analysed on early pregnancy tests (AnalType 2): analysis minus truth "
          "(percentage points; MSD in days)")
    print_table(diffs, unavailable, {"2"})
    print("Other bases, for information")
    print_table(diffs, unavailable, {"1", "3", "4"})
    if unmatched:
        print(f"Herds without a matching mating group ({len(unmatched)}): "
              "SHNO, true/analysed pattern, AnalType, MSD")
        for u in unmatched[:20]:
            print(f"  {u[0]} {u[1]}/{u[2]} {u[3]} {u[4]!r}")
        print()
    if show_herds:
        print("Herds: SHNO file pattern records analysed-pattern AnalType season figures (got/truth)")
        for line in listing:
            print("  " + "  ".join(line))


def main(argv):
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # quiet when piped into head
    args = [a for a in argv[1:] if not a.startswith("--")]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    rows, manifest = load(*args)
    report(*compare(rows, manifest), show_herds="--herds" in argv)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
