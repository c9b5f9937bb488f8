#!/usr/bin/env bash
# Scanning benchmarks, whole processes with a warm cache, each beside a standard tool:
#   the standard scan of a 200,000-entry folder tree mapped as a virtual drive, against
#   du -sb on the same tree: both walk every folder and read every file's size (the capacity
#   of a folder drive), so their ratio is the figure to watch, at most 1.0; then find and
#   the scanner alone; the scan of a 50,000-entry ISO image against bsdtar.
# Usage: bench/scan_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/cli/vellumark-cli
scratch=${TMPDIR:-/tmp}/vellumark-scan-bench
for tool in hyperfine genisoimage bsdtar; do
    command -v $tool >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

rm -rf "$scratch"
mkdir -p "$scratch/lib"
# The drive mappings go to a settings file of the benchmark's own.
export XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
"$build/bench/make_disc_tree" "$scratch/tree" 200000
"$build/bench/make_disc_tree" "$scratch/iso-tree" 50000 11
genisoimage -quiet -input-charset utf-8 -J -R -o "$scratch/disc.iso" "$scratch/iso-tree"
"$cli" --library "$scratch/lib" map V "$scratch/tree"
"$cli" --library "$scratch/lib" map W "$scratch/disc.iso"

# Every run adds the same record anew: the library is emptied before each one.
empty="find $scratch/lib -mindepth 1 -delete"
hyperfine -N --warmup 3 --runs 20 --prepare "$empty" --export-csv "$scratch/scan-du.csv" \
    --command-name "vellumark-cli scan" \
    "$cli --library $scratch/lib scan --drive V --box '' --name 大光盘" \
    --command-name "du -sb" "du -sb $scratch/tree"
awk -F, 'NR > 1 { mean[$1] = $2; median[$1] = $4 }
    END { printf "vellumark-cli scan / du -sb: %.2f (means), %.2f (medians)\n",
                 mean["vellumark-cli scan"] / mean["du -sb"],
                 median["vellumark-cli scan"] / median["du -sb"] }' "$scratch/scan-du.csv"
hyperfine -N --warmup 2 --runs 15 --prepare "$empty" \
    --command-name "scan_tree (scan, .Cdr and .tag only)" \
    "$build/bench/scan_tree $scratch/tree $scratch/lib 大光盘" \
    --command-name "find TREE" "find $scratch/tree" \
    --command-name "find TREE -printf %s" "find $scratch/tree -printf %s"
hyperfine -N --warmup 2 --runs 15 --prepare "$empty" \
    --command-name "vellumark-cli scan (50,000-entry ISO image)" \
    "$cli --library $scratch/lib scan --drive W --box '' --name 映象" \
    --command-name "bsdtar -tf IMAGE" "bsdtar -tf $scratch/disc.iso"

rm -rf "$scratch"
