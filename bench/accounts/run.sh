#!/bin/sh
# Password changes against the embedded account store, from accounts_bench
# in several rounds (one run of the program per round): the CPU time of a
# change against that of the bare yescrypt hashes it needs (two without
# history, five with a history of three), so the ratio is what a change
# costs beyond hashing. A change that fails fails the benchmark.
#
#   bench/accounts/run.sh [BUILD_DIR]        (default: build)
#
# Environment: ROUNDS (5), MIN_TIME (0.5 s per benchmark and round).
exec python3 "$(dirname "$0")/accounts_rounds.py" "${1:-build}"
