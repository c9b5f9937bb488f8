#!/usr/bin/env bash
# Maintenance benchmarks, whole processes with a warm cache, on a library of 2,000 CDs of
# 3,000 nodes each:
#   import into an empty library, against cp -r of the same tree; once more from a copy
#     whose names are UTF-8, as a library copied from Windows arrives;
#   backup into a folder, against cp -r;
#   the icon rebuild of every record (aim: under 2 s), beside cat reading the .cdr and .tag
#     files it reads.
# The program gets a home of its own, so the user's settings are never touched.
# Usage: bench/maintenance_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$(realpath "$build/cli/vellumark-cli")
make_library=$(realpath "$build/bench/make_library")
scratch=${TMPDIR:-/tmp}/vellumark-maintenance-bench
command -v hyperfine >/dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }
command -v python3 >/dev/null || { echo "needs python3" >&2; exit 1; }

rm -rf "$scratch"
mkdir -p "$scratch/home"
export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/data XDG_CONFIG_HOME=$scratch/home/config
lib=$scratch/lib
"$make_library" "$lib" 2000 3000
echo "library: $(find "$lib" -iname '*.cdr' | wc -l) CDs, $(find "$lib" -type f | wc -l) files," \
    "$(du -sh --apparent-size "$lib" | cut -f1)"

# The same tree with its GBK names turned into UTF-8, deepest first.
utf8=$scratch/utf8
cp -a "$lib" "$utf8"
python3 - "$utf8" <<'PYTHON'
import os, sys
for folder, folders, files in os.walk(os.fsencode(sys.argv[1]), topdown=False):
    for name in folders + files:
        os.rename(os.path.join(folder, name), os.path.join(folder, name.decode('gbk').encode()))
PYTHON
sync

out=$scratch/out
# Each import goes into an empty library.
hyperfine --warmup 2 --runs 10 --prepare "rm -rf $out; mkdir -p $out/Orlendy; sync" \
    --command-name "import (GBK names)" "$cli --library $out/Orlendy import $lib" \
    --command-name "import (UTF-8 names)" "$cli --library $out/Orlendy import $utf8" \
    --command-name "cp -r" "cp -r $lib $out/copy"
# What the two imports made is the library itself, byte for byte.
for source in "$lib" "$utf8"; do
    rm -rf "$out"
    mkdir -p "$out/Orlendy"
    "$cli" --library "$out/Orlendy" import "$source" >/dev/null
    diff -r "$lib" "$out/Orlendy" >/dev/null || { echo "import of $source differs" >&2; exit 1; }
done

hyperfine --warmup 2 --runs 10 --prepare "rm -rf $out; mkdir -p $out; sync" \
    --command-name "backup" "$cli --library $lib backup $out" \
    --command-name "cp -r" "cp -r $lib $out/copy"

hyperfine --warmup 2 --runs 10 \
    --command-name "rebuild-icons (2,000 CDs of 3,000 nodes)" "$cli --library $lib rebuild-icons" \
    --command-name "cat every .cdr and .tag" \
    "find $lib -type f \( -iname '*.cdr' -o -iname '*.tag' \) -exec cat {} + >/dev/null"

rm -rf "$scratch"
