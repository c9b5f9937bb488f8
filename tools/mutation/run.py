#!/usr/bin/env python3
"""Plants each fault of mutations.py in turn, builds and runs the tests of its module, and
records whether a test failed (killed) or all passed (survived). The file is restored with
git checkout after every fault, also when the run is interrupted.

    tools/mutation/run.py [--log FILE] [ID ...]     (no ID: all of them)
"""
import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mutations import MUTATIONS  # noqa: E402

ROOT = subprocess.check_output(["git", "rev-parse", "--show-toplevel"], text=True).strip()
BUILD = os.path.join(ROOT, "build-nogui")
TESTS = {
    "catalog": ["catalog_core_tests", "organize_core_tests", "search_core_tests", "maintenance_core_tests"],
    "organize": ["organize_core_tests"],
    "maintenance": ["maintenance_core_tests"],
    "search": ["search_core_tests"],
    "scan": ["scan_core_tests"],
    "output": ["output_core_tests"],
    "settings": ["settings_core_tests"],
    "cli": ["cli_tests"],
}
EXTRA_TARGETS = {"cli_tests": ["vellumark-cli"]}


def run(cmd, timeout):
    try:
        done = subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, errors="replace", timeout=timeout, env=dict(os.environ, LC_ALL="C.UTF-8"))
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired:
        return None, "timeout"


def apply(path, old, new):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if text.count(old) != 1:
        raise SystemExit(f"{path}: the old text occurs {text.count(old)} times")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text.replace(old, new))


def one(mid, path, old, new):
    binaries = TESTS[path.split("/")[0]]
    targets = list(binaries)
    for b in binaries:
        targets += EXTRA_TARGETS.get(b, [])
    full = os.path.join(ROOT, path)
    apply(full, old, new)
    try:
        rc, out = run(["cmake", "--build", "--preset", "nogui", "-j2", "--target", *targets], 900)
        if rc != 0:
            return "nobuild", out[-2000:]
        for b in binaries:
            rc, out = run([os.path.join(BUILD, "tests/core", b), "--gtest_brief=1"], 600)
            if rc is None:
                return "killed", f"{b}: timeout"
            if rc != 0:
                failed = [l.strip() for l in out.splitlines() if l.startswith("[  FAILED  ]")]
                return "killed", f"{b}: " + "; ".join(failed[:4])
        return "survived", ""
    finally:
        subprocess.run(["git", "checkout", "--", path], cwd=ROOT, check=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", default=os.path.join(ROOT, "build-nogui", "mutation.log"))
    parser.add_argument("ids", nargs="*")
    args = parser.parse_args()
    chosen = [m for m in MUTATIONS if not args.ids or m[0] in args.ids]
    if subprocess.run(["git", "diff", "--quiet", "--", *sorted({m[1] for m in chosen})], cwd=ROOT).returncode:
        raise SystemExit("a file to mutate has uncommitted changes")
    killed = 0
    with open(args.log, "a", encoding="utf-8") as log:
        for mid, path, old, new in chosen:
            start = time.time()
            status, detail = one(mid, path, old, new)
            killed += status == "killed"
            line = f"{mid}\t{status}\t{time.time() - start:.0f}s\t{detail.splitlines()[-1] if detail else ''}"
            print(line, flush=True)
            log.write(line + "\n")
            log.flush()
    # The last build was of a planted fault: build the restored sources again.
    targets = sorted({t for m in chosen for t in TESTS[m[1].split("/")[0]]})
    run(["cmake", "--build", "--preset", "nogui", "-j2", "--target", *targets], 900)
    print(f"killed {killed} / {len(chosen)}")


if __name__ == "__main__":
    main()
