#!/usr/bin/env bash
# Other programs' catalogues, whole processes with a warm cache, on a synthetic XML item
# report of 2,000 discs of 3,000 nodes (6,000,000 nodes, bench/make_report_xml.py):
#   import-catalog into an empty library, against xmllint --stream --noout reading the same
#     file (aim: at most twice its time), and the import's peak memory beside that of a
#     report a tenth as long (aim: the same: bounded by the largest disc, not the file);
#   export-csv of the library the import made, against export-box --text of it (aim: no
#     slower).
# The program gets a home of its own, so the user's settings are never touched.
# Usage: bench/import_bench.sh [BUILD_DIR]   (default: build; DISCS and NODES override the size)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
discs=${DISCS:-2000}
nodes=${NODES:-3000}
cli=$(realpath "$build/cli/vellumark-cli")
scratch=${TMPDIR:-/tmp}/vellumark-import-bench
for tool in hyperfine xmllint python3; do
    command -v $tool >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

rm -rf "$scratch"
mkdir -p "$scratch/home"
export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/data XDG_CONFIG_HOME=$scratch/home/config
report=$scratch/report.xml
small=$scratch/small.xml
python3 bench/make_report_xml.py "$discs" "$nodes" >"$report"
python3 bench/make_report_xml.py $((discs / 10)) "$nodes" >"$small"
echo "report: $discs discs of $nodes nodes, $(du -h --apparent-size "$report" | cut -f1)"

# Every import and output goes into a folder of its own, and nothing is deleted until the
# end. ext4 without a journal looks past every inode freed in the last half minute for each
# file it makes: into a folder emptied just before, an import of 2,000 discs takes a third
# more time, and an output of 2,000 files twice as much, which no user meets.
# Each run also starts with a gigabyte of page cache written and freed: on a virtual machine
# whose host takes back the guest's free memory, the first write to each page of memory costs
# 10 µs (330 MB of output, 0.85 s of the kernel's copying, against 0.07 s into memory used
# before), which would rank the commands by the bytes they write, not by their work.
runs=$scratch/runs
mkdir -p "$runs"
echo 0 >"$runs/count"
next="echo \$((\$(cat $runs/count) + 1)) >$runs/count; mkdir -p $runs/\$(cat $runs/count); sync"
next+="; head -c 1G /dev/zero >$scratch/used; rm $scratch/used"
this="$runs/\$(cat $runs/count)"
hyperfine --warmup 1 --runs 3 --prepare "$next" \
    --command-name "import-catalog ($((discs * nodes)) nodes)" \
    "$cli --library $this import-catalog $report --box '' >/dev/null" \
    --command-name "xmllint --stream --noout" "xmllint --stream --noout $report"

peak() # REPORT LIBRARY
{
    mkdir -p "$2"
    /usr/bin/time -f %M "$cli" --library "$2" import-catalog "$1" --box '' 2>&1 >/dev/null | tail -1
}
lib=$scratch/lib
echo "peak memory of the import: $(peak "$small" "$scratch/small-lib") KiB for $((discs / 10))" \
    "discs, $(peak "$report" "$lib") KiB for $discs discs"
echo "library: $(find "$lib" -iname '*.cdr' | wc -l) CDs, $(find "$lib" -type f | wc -l) files"

# In turns, ten times each: single runs on a shared host vary by three times.
python3 bench/interleave.py "$scratch/export.json" 10 \
    "export-csv" "$next" "$cli --library $lib export-csv '' $this/all.csv" \
    "export-box --text" "$next" "$cli --library $lib export-box '' $this --text >/dev/null"
# The table reads back into the same library.
mkdir -p "$scratch/out" "$scratch/again"
"$cli" --library "$lib" export-csv '' "$scratch/out/all.csv" >/dev/null
"$cli" --library "$scratch/again" import-catalog "$scratch/out/all.csv" --box '' >/dev/null
# The report gives information fields; the CSV layout has no place for them.
diff -r -x '*.Ifn' "$lib" "$scratch/again" >/dev/null || { echo "round trip differs" >&2; exit 1; }
echo "round trip through CSV: same trees and descriptions"
rm -rf "$scratch"
