#!/usr/bin/env bash
# Search benchmarks, whole processes with a warm cache, over a 2,000-CD library of 3,000
# nodes per CD (about 120 MB of .Cdr text), each beside standard tools on the same files:
#   the content search for a term found nowhere (every listing read to its end) and for a
#   term found in some CDs, against rg -j1 and grep; the only-nodes search for the same
#   term and for the term found nowhere. Each search run empties and refills its category,
#   as the dialog does. TMPDIR chooses the file system of the library.
# Usage: bench/search_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/cli/vellumark-cli
scratch=${TMPDIR:-/tmp}/vellumark-search-bench
for tool in hyperfine rg grep; do
    command -v $tool >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

rm -rf "$scratch"
mkdir -p "$scratch"
"$build/bench/make_library" "$scratch/lib" 2000 3000
lib=$scratch/lib

for term in zzqx readme2999; do
    hyperfine --warmup 3 --runs 20 \
        --command-name "vellumark-cli search --text $term" \
        "$cli --library $lib search --text $term | wc -l" \
        --command-name "rg -j1 -F -i -l $term" \
        "rg -j1 -F -i -l --iglob '*.cdr' $term $lib | wc -l" \
        --command-name "grep -rFil $term" \
        "LC_ALL=C grep -rFil --include='*.[Cc][Dd][Rr]' $term $lib | wc -l"
done
# With hits, most of an only-nodes run is the file system creating four result files
# per hit (and deleting those of the run before); the run without hits shows the walk.
hyperfine --warmup 2 --runs 10 \
    --command-name "vellumark-cli search --text readme2999 --only-nodes" \
    "$cli --library $lib search --text readme2999 --only-nodes | wc -l" \
    --command-name "vellumark-cli search --text zzqx --only-nodes" \
    "$cli --library $lib search --text zzqx --only-nodes | wc -l" \
    --command-name "rg -j1 -F -i -l readme2999" \
    "rg -j1 -F -i -l --iglob '*.cdr' readme2999 $lib | wc -l"

rm -rf "$scratch"
