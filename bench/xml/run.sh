#!/bin/sh
# Tokenizer throughput (MB/s of input) of CXMLParser against pugixml (and
# expat, shown beside) on the same documents. Each round runs xml_bench once
# per parser, in alternating order, so that both parsers of a round meet the
# same load; the ratio CXMLParser / pugixml is taken per round and reported
# as the median with its spread. A parse that fails on either side fails the
# benchmark.
#
#   bench/xml/run.sh [BUILD_DIR]        (default: build)
#
# Environment: ROUNDS (7), MIN_TIME (0.2 s per benchmark and round).
exec python3 "$(dirname "$0")/xml_rounds.py" "${1:-build}"
