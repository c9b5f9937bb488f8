#!/usr/bin/env bash
# Benchmarks of the catalogue store, whole processes on this machine with a warm cache:
#   show of a 200,000-node record, boxes and recursive counts over a 2,000-CD library,
# each beside a standard tool on the same data, then the in-process benchmarks, then the
# scans (bench/scan_bench.sh), the searches (bench/search_bench.sh), the organizing
# commands (bench/organize_bench.sh), the batch output (bench/output_bench.sh) and the
# maintenance commands (bench/maintenance_bench.sh), the record store's ratios
# (bench/store_bench.sh) and other programs' catalogues (bench/import_bench.sh).
# Usage: bench/run.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/cli/vellumark-cli
scratch=${TMPDIR:-/tmp}/vellumark-bench
command -v hyperfine >/dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }

rm -rf "$scratch"
mkdir -p "$scratch/big"
"$build/bench/make_library" --record "$scratch/big" 大光盘 200000
"$build/bench/make_library" "$scratch/lib" 2000 20

# Record names are GBK bytes, so the baseline finds them by a glob in the shell.
hyperfine --warmup 3 --runs 20 \
    --command-name "show (200,000 nodes)" "$cli --library $scratch/big show 大光盘 >/dev/null" \
    --command-name "cat .cdr + .tag" "cat $scratch/big/*.Cdr $scratch/big/*.tag >/dev/null"
hyperfine --warmup 3 --runs 20 -N \
    --command-name "boxes (2,000 CDs)" "$cli --library $scratch/lib boxes" \
    --command-name "counts \"\" --recursive" "$cli --library $scratch/lib counts '' --recursive" \
    --command-name "find -type d" "find $scratch/lib -type d"

"$build/bench/catalog_bench"
"$build/bench/search_bench" --benchmark_repetitions=10 --benchmark_report_aggregates_only
[ -x "$build/bench/ui_bench" ] && "$build/bench/ui_bench"
bench/scan_bench.sh "$build"
bench/search_bench.sh "$build"
rm -rf "$scratch"
bench/organize_bench.sh "$build"
bench/output_bench.sh "$build"
bench/maintenance_bench.sh "$build"
bench/store_bench.sh "$build"
bench/import_bench.sh "$build"
