#!/usr/bin/env bash
# Organizing benchmarks, whole processes with a warm cache, each beside a standard tool on
# the same files:
#   moving a box of 200 and of 2,000 CDs within one file system (a rename), against mv;
#   copying the box of 2,000 CDs, against cp -r;
#   deleting it from a library on a file system without a trash, against rm -rf: the
#     library lies in /dev/shm (tmpfs, a mount on which the desktop refuses a trash), so
#     the files are really deleted, as the check after the run makes sure;
#   clearing a library of 2,000 CDs in 10,000 folders, against find -type d -empty: once
#     where most of them are boxes holding only an empty box (two passes to remove), once
#     where none is empty; on TMPDIR's file system and on SHM's.
# The program gets a home of its own, so the user's trash and settings are never touched.
# TMPDIR chooses the file system of the move, copy and clearing libraries; SHM (default
# /dev/shm) the one without trash, which must not be the file system of TMPDIR.
# Usage: bench/organize_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$(realpath "$build/cli/vellumark-cli")
make_library=$(realpath "$build/bench/make_library")
scratch=${TMPDIR:-/tmp}/vellumark-organize-bench
noTrash=${SHM:-/dev/shm}/vellumark-organize-bench
command -v hyperfine >/dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }

rm -rf "$scratch" "$noTrash"
mkdir -p "$scratch/home" "$noTrash/lib"
export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/data XDG_CONFIG_HOME=$scratch/home/config
if [ "$(stat -c %d "$HOME")" = "$(stat -c %d "$noTrash")" ]; then
    echo "SHM ($noTrash) lies on the file system of TMPDIR: its deletions would go to the trash" >&2
    exit 1
fi

lib=$scratch/lib
mkdir -p "$lib"
"$make_library" "$lib/small" 200 20
"$make_library" "$lib/src" 2000 20
mkdir -p "$lib/dst"
echo "box of 2,000 CDs: $(find "$lib/src" -type f | wc -l) files in $(find "$lib/src" -type d | wc -l) folders"
sync

for box in small src; do
    hyperfine --warmup 3 --runs 30 \
        --prepare "mv $lib/dst/$box $lib/ 2>/dev/null || true" \
        --command-name "move $box/ (one file system)" "$cli --library $lib move $box/ --to dst" \
        --command-name "mv" "mv $lib/$box $lib/dst/"
    mv "$lib/dst/$box" "$lib/" 2>/dev/null || true
done

hyperfine --warmup 2 --runs 20 --prepare "rm -rf $lib/dst/src; sync" \
    --command-name "copy src/" "$cli --library $lib copy src/ --to dst" \
    --command-name "cp -r" "cp -r $lib/src $lib/dst/src"

cp -a "$lib/src" "$noTrash/template"
hyperfine --warmup 2 --runs 20 \
    --prepare "rm -rf $noTrash/lib/src; cp -a $noTrash/template $noTrash/lib/src" \
    --command-name "delete src/ (no trash)" "$cli --library $noTrash/lib delete src/" \
    --command-name "rm -rf" "rm -rf $noTrash/lib/src"
if [ -e "$XDG_DATA_HOME/Trash" ]; then
    echo "the deletions went to the trash: the figures above are not deletions" >&2
    exit 1
fi

# 2,000 CDs in their boxes, and boxes that hold only an empty box up to 10,000 folders;
# the same with a file in each of those, so that nothing is empty.
template=$scratch/clear-template
"$make_library" "$template" 2000 20
boxes=("$template"/*/)
pairs=$(( (10000 - $(find "$template" -type d | wc -l) + 2 * ${#boxes[@]} - 1) / 2 / ${#boxes[@]} ))
for box in "${boxes[@]}"; do
    for ((i = 0; i < pairs; i++)); do
        echo "${box}empty$i/inner"
    done
done | xargs -d '\n' mkdir -p
full=$scratch/full-template
cp -a "$template" "$full"
find "$full" -type d -name inner -print0 | xargs -0 -I{} touch {}/notes.txt
echo "library to clear: $(find "$template" -type d | wc -l) folders," \
    "$(find "$template" -type d -empty | wc -l) of them empty"
# Removing folders waits on the disk where it discards freed blocks at once (a mount with
# "discard"), which find does not, since it only lists them: the clearing is timed on
# TMPDIR's file system and on SHM's, each beside find listing the empty folders and find
# deleting them.
for clear in "$scratch/clear" "$noTrash/clear"; do
    rm -rf "$clear"
    sync
    hyperfine --warmup 2 --runs 15 --prepare "rm -rf $clear; cp -a $template $clear; sync" \
        --command-name "clean (boxes holding only an empty box) in $clear" "$cli --library $clear clean" \
        --command-name "find -type d -empty" "find $clear -type d -empty" \
        --command-name "find -type d -empty -delete" "find $clear -type d -empty -delete"
    rm -rf "$clear"
    cp -a "$full" "$clear"
    sync
    hyperfine --warmup 2 --runs 15 \
        --command-name "clean (nothing to clear) in $clear" "$cli --library $clear clean" \
        --command-name "find -type d -empty" "find $clear -type d -empty"
    rm -rf "$clear"
done

rm -rf "$scratch" "$noTrash"
