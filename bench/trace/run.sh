#!/bin/sh
# Trace point costs, from trace_bench in several rounds (one run of the
# program per round, both members of a pair measured in it): a disabled
# trace point against a call of an empty function (ns per call), and enabled
# records per second into vltqtr from 16 threads against 1 thread. The
# records must reach vltqtr: the device drops one only when the collector
# stays busy past its timeout, so more than 1% lost fails the benchmark.
#
#   bench/trace/run.sh [BUILD_DIR]        (default: build)
#
# Environment: ROUNDS (5), MIN_TIME (0.2 s per benchmark and round).
exec python3 "$(dirname "$0")/trace_rounds.py" "${1:-build}"
