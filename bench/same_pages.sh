#!/usr/bin/env bash
# Reads back two folders of report PDFs (the same reports written by two builds) and checks
# that a reader sees the same pages, for PDFs whose bytes differ:
#   - pdffonts: the same fonts, embedded and subset alike;
#   - pdftotext -layout: the same text;
#   - pdftotext -bbox-layout: the same words in the same order, every box edge within TOLERANCE
#     points (default 0.01);
#   - pdftoppm -r 100: each page's picture, counting the pixels that differ and by how much.
#
#   bench/same_pages.sh OLD_FOLDER NEW_FOLDER [TOLERANCE]
#
# Prints one line per file that differs and a summary; exits non-zero when fonts, text or words
# differ or a box moved beyond the tolerance (pictures are only counted).
set -euo pipefail
old=$1
new=$2
tolerance=${3:-0.01}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$old" "$new" "$tolerance" "$work" <<'EOF'
import os, re, subprocess, sys

old, new, tolerance, work = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]

def run(*args):
    return subprocess.run(args, check=True, capture_output=True).stdout

word = re.compile(rb'<word xMin="([^"]+)" yMin="([^"]+)" xMax="([^"]+)" yMax="([^"]+)">([^<]*)</word>')

def words(pdf):
    return [(m.group(5), [float(m.group(k)) for k in range(1, 5)]) for m in word.finditer(run("pdftotext", "-bbox-layout", pdf, "-"))]

def pixels(a, b):
    """Bytes that differ between two pictures of the same size, and the largest difference."""
    out = subprocess.run(["cmp", "-l", a, b], capture_output=True).stdout.split(b"\n")
    count, largest = 0, 0
    for line in out:
        parts = line.split()
        if len(parts) == 3:
            count += 1
            largest = max(largest, abs(int(parts[1], 8) - int(parts[2], 8)))
    return count, largest

names = sorted(n for n in os.listdir(old) if n.endswith(".pdf"))
failed = False
totals = {"files": 0, "pages": 0, "words": 0, "moved": 0.0, "pages_differing": 0, "bytes_differing": 0, "largest": 0,
          "old_size": 0, "new_size": 0}
for name in names:
    a, b = os.path.join(old, name), os.path.join(new, name)
    if not os.path.exists(b):
        print(f"{name}: missing in {new}"); failed = True; continue
    totals["files"] += 1
    totals["old_size"] += os.path.getsize(a)
    totals["new_size"] += os.path.getsize(b)
    problems = []
    if run("pdffonts", a) != run("pdffonts", b):
        problems.append("fonts differ")
    if run("pdftotext", "-layout", a, "-") != run("pdftotext", "-layout", b, "-"):
        problems.append("text (-layout) differs")
    wa, wb = words(a), words(b)
    totals["words"] += len(wa)
    if [w for w, _ in wa] != [w for w, _ in wb]:
        problems.append("words differ")
    else:
        moved = max((abs(x - y) for (_, ba), (_, bb) in zip(wa, wb) for x, y in zip(ba, bb)), default=0.0)
        totals["moved"] = max(totals["moved"], moved)
        if moved > tolerance:
            problems.append(f"a box moved {moved:.4f} pt")
    pages = int(re.search(rb"Pages:\s+(\d+)", run("pdfinfo", a)).group(1))
    for page in range(1, pages + 1):
        totals["pages"] += 1
        stems = [os.path.join(work, tag) for tag in ("a", "b")]
        for pdf, stem in zip((a, b), stems):
            run("pdftoppm", "-r", "100", "-f", str(page), "-l", str(page), "-singlefile", pdf, stem)
        count, largest = pixels(stems[0] + ".ppm", stems[1] + ".ppm")
        if count:
            totals["pages_differing"] += 1
            totals["bytes_differing"] += count
            totals["largest"] = max(totals["largest"], largest)
            print(f"{name} page {page}: {count} colour bytes differ, by {largest} levels at most")
    if problems:
        failed = True
        print(f"{name}: " + "; ".join(problems))
print(f"{totals['files']} files, {totals['pages']} pages, {totals['words']} words: largest box move "
      f"{totals['moved']:.6f} pt; pictures: {totals['pages_differing']} pages differ, {totals['bytes_differing']} colour "
      f"bytes in all, by {totals['largest']} levels at most; size {totals['old_size']} -> {totals['new_size']} bytes")
sys.exit(1 if failed else 0)
EOF
