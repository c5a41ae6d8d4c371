#!/usr/bin/env bash
# One minute of the torture run inside the test run's Wine prefix and display, held to the command's
# own limits; QD_TORTURE_SEED replays a failed run. Usage: one_minute_test.sh QD_TORTURE_EXE QDSERVER_EXE
#
# The logoff is left to the command itself (and to ReliabilityTest.TheEndUnderLoadWhicheverWayItStarts):
# in the thirty-minute record, 3 logoff rounds of 156 with "Disabled" objects met a result outside the
# list or a client crash, an open fault (docs/benchmarks.md, "Torture run").
set -u
export QD_TORTURE_EXE="$1" QD_SERVER_EXE="$2"
exec bash "$(dirname "$0")/../../scripts/torture.sh" --in-prefix --seconds=60 --endings=3 \
    ${QD_TORTURE_SEED:+--seed=$QD_TORTURE_SEED}
