#!/usr/bin/env bash
# Output benchmark, whole processes with a warm cache: export-box of a library of 2,000 CDs
# of 3,000 nodes each, as text files and as HTML documents, beside find copying the same
# .cdr files into one folder with cp (the text output should take no more than twice as
# long). The output folder lies once on TMPDIR's file system and once on SHM's (default
# /dev/shm, a tmpfs), so that the disk's share and the program's own can be told apart.
# Usage: bench/output_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$(realpath "$build/cli/vellumark-cli")
make_library=$(realpath "$build/bench/make_library")
scratch=${TMPDIR:-/tmp}/vellumark-output-bench
shm=${SHM:-/dev/shm}/vellumark-output-bench
command -v hyperfine >/dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }

rm -rf "$scratch" "$shm"
mkdir -p "$scratch" "$shm"
lib=$scratch/lib
"$make_library" "$lib" 2000 3000
echo "library: $(find "$lib" -iname '*.cdr' | wc -l) CDs, $(du -sh --apparent-size "$lib" | cut -f1)"
sync

for out in "$scratch/out" "$shm/out"; do
    hyperfine --warmup 2 --runs 10 --prepare "rm -rf $out; mkdir -p $out/text $out/html $out/cp; sync" \
        --command-name "export-box --text into $out" "$cli --library $lib export-box '' $out/text --text" \
        --command-name "export-box --html" "$cli --library $lib export-box '' $out/html --html" \
        --command-name "find -iname '*.cdr' -exec cp -t" "find $lib -iname '*.cdr' -exec cp -t $out/cp {} +"
    # Once more, to look at what was written: every CD, none lost to a name taken twice.
    rm -rf "$out"
    mkdir -p "$out/text" "$out/html" "$out/cp"
    "$cli" --library "$lib" export-box '' "$out/text" --text >/dev/null
    "$cli" --library "$lib" export-box '' "$out/html" --html >/dev/null
    find "$lib" -iname '*.cdr' -exec cp -t "$out/cp" {} +
    for kind in text html; do
        written=$(find "$out/$kind" -type f | wc -l)
        if [ "$written" -ne 2000 ]; then
            echo "export-box --$kind wrote $written files instead of 2000" >&2
            exit 1
        fi
    done
    echo "output: text $(du -sh --apparent-size "$out/text" | cut -f1)," \
        "HTML $(du -sh --apparent-size "$out/html" | cut -f1), copies $(du -sh --apparent-size "$out/cp" | cut -f1)"
    rm -rf "$out"
done

rm -rf "$scratch" "$shm"
