#!/usr/bin/env bash
# Record store benchmarks, whole processes with a warm cache, each against a target ratio:
#   a second backup of the library into the same folder against the first (<= 1.5x);
#   import into an empty library and backup into an empty folder against cp -r of the
#     same tree (<= 1.0x);
#   copying a box (copy BOX/ --to OTHER) against cp -r of that box (<= 1.0x).
# The library has CDS CDs of NODES nodes (defaults 2,000 and 300); RUNS timed runs each,
# compared by their medians: a busy disk stalls single runs by tens of milliseconds. The
# comparisons with cp -r time ours and cp in turn (bench/interleave.py).
# The program gets a home of its own, so the user's settings and trash are never touched.
# Usage: bench/store_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
here=$(realpath bench)
build=${1:-build}
cli=$(realpath "$build/cli/vellumark-cli")
make_library=$(realpath "$build/bench/make_library")
cds=${CDS:-2000}
nodes=${NODES:-300}
runs=${RUNS:-10}
scratch=${TMPDIR:-/tmp}/vellumark-store-bench
command -v hyperfine >/dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }
command -v python3 >/dev/null || { echo "needs python3" >&2; exit 1; }

rm -rf "$scratch"
mkdir -p "$scratch/home" "$scratch/json"
export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/data XDG_CONFIG_HOME=$scratch/home/config
lib=$scratch/lib
"$make_library" "$lib" "$cds" "$nodes"
# The biggest box, and a box of the library to copy it into.
box=$(cd "$lib" && du -s --apparent-size -- */ | sort -n | tail -1 | cut -f2)
box=${box%/}
mkdir -p "$lib/copies"
echo "library: $(find "$lib" -iname '*.cdr' | wc -l) CDs, $(find "$lib" -type f | wc -l) files," \
    "$(du -sh --apparent-size "$lib" | cut -f1); box copied: $(find "$lib/$box" -iname '*.cdr' | wc -l) CDs"
sync

out=$scratch/out
time_it() { # NAME JSON, then hyperfine arguments
    local json=$scratch/json/$1.json
    shift
    hyperfine --warmup 1 --runs "$runs" --export-json "$json" "$@"
}

# The first backup into an empty folder, the second over the backup that is there.
time_it backup-again \
    --prepare "rm -rf $out; mkdir -p $out; sync" --command-name "backup (first)" \
    "$cli --library $lib backup $out" \
    --prepare "true" --command-name "backup (second, same folder)" \
    "$cli --library $lib backup $out"
diff -r "$lib" "$out/Orlendy" >/dev/null || { echo "the backup differs from the library" >&2; exit 1; }

# Against cp, in turn: see bench/interleave.py.
in_turn() { # NAME, then name, prepare and command of ours and of cp
    local json=$scratch/json/$1.json
    shift
    echo "$1 against $4, in turn, $runs runs each"
    "$here/interleave.py" "$json" "$runs" "$@"
}
in_turn import "import" "rm -rf $out; mkdir -p $out/Orlendy; sync" "$cli --library $out/Orlendy import $lib" \
    "cp -r" "rm -rf $out; mkdir -p $out; sync" "cp -r $lib $out/copy"

in_turn backup "backup" "rm -rf $out; mkdir -p $out; sync" "$cli --library $lib backup $out" \
    "cp -r" "rm -rf $out; mkdir -p $out; sync" "cp -r $lib $out/copy"

# Box names are GBK bytes: hyperfine takes UTF-8 commands only, so the shell it starts
# finds the box in the environment; the CLI wants the name in UTF-8.
boxUtf8=$(printf '%s' "$box" | iconv -f GBK -t UTF-8)
export BENCH_BOX=$lib/$box
in_turn box-copy "copy BOX/ --to OTHER" "rm -rf $lib/copies/*; sync" \
    "$cli --library $lib copy '$boxUtf8/' --to copies" \
    "cp -r" "rm -rf $lib/copies/*; sync" "cp -r \"\$BENCH_BOX\" $lib/copies/"
rm -rf "$lib"/copies/*
"$cli" --library "$lib" copy "$boxUtf8/" --to copies >/dev/null
diff -r "$lib/$box" "$lib/copies/$box" >/dev/null || { echo "the box copy differs" >&2; exit 1; }

python3 - "$scratch/json" <<'PYTHON'
import json, os, sys
def mean(name, index):
    with open(os.path.join(sys.argv[1], name + '.json')) as f:
        return json.load(f)['results'][index]['median']
rows = [
    ('second backup / first backup', 'backup-again', 1.5),
    ('import / cp -r', 'import', 1.0),
    ('backup / cp -r', 'backup', 1.0),
    ('box copy / cp -r', 'box-copy', 1.0),
]
print('\n%-30s %10s %10s %7s %7s  %s' % ('comparison', 'ours ms', 'other ms', 'ratio', 'target', ''))
for label, name, target in rows:
    ours, other = mean(name, 0), mean(name, 1)
    if name == 'backup-again':
        ours, other = other, ours
    ratio = ours / other
    print('%-30s %10.1f %10.1f %7.2f %7.2f  %s' % (label, ours * 1000, other * 1000, ratio, target,
                                                'ok' if ratio <= target else 'over'))
PYTHON

rm -rf "$scratch"
