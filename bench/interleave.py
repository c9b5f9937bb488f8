#!/usr/bin/env python3
"""Times two shell commands in turn, A then B, RUNS times, each after its own prepare
command, and writes their medians as hyperfine's --export-json does. Taking turns keeps
a disk whose speed drifts from favouring the command timed first; the start of the shell
(timed alone) is taken off each run.
Usage: interleave.py JSON RUNS NAME_A PREPARE_A COMMAND_A NAME_B PREPARE_B COMMAND_B"""
import json
import statistics
import subprocess
import sys
import time


def timed(command):
    started = time.perf_counter()
    subprocess.run(['sh', '-c', command], check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - started


def main():
    path, runs = sys.argv[1], int(sys.argv[2])
    pairs = [sys.argv[3:6], sys.argv[6:9]]
    shell = statistics.median(timed('true') for _ in range(20))
    times = [[], []]
    for run in range(runs + 1):  # the first round warms the caches
        for side, (_, prepare, command) in enumerate(pairs):
            subprocess.run(['sh', '-c', prepare], check=True)
            took = timed(command) - shell
            if run > 0:
                times[side].append(took)
    results = [{'command': name, 'median': statistics.median(t), 'mean': statistics.mean(t),
                'times': t} for (name, _, _), t in zip(pairs, times)]
    with open(path, 'w') as f:
        json.dump({'results': results}, f)
    for result in results:
        print('%-28s median %8.1f ms  mean %8.1f ms  fastest %8.1f ms' % (
            result['command'], result['median'] * 1000, result['mean'] * 1000,
            min(result['times']) * 1000))


main()
