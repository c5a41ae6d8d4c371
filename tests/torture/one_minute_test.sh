#!/usr/bin/env bash
# One minute of the torture run inside the test run's Wine prefix and display; QD_TORTURE_SEED
# replays a failed run. Usage: one_minute_test.sh QD_TORTURE_EXE QDSERVER_EXE
#
# Two limits of this run against the command's own, both open faults (docs/benchmarks.md, "Torture
# run"): the dialog's posted messages are held to 7 s, not 200 ms (past the cap, COM's release of a
# new object's proxy is a call from the main thread into the object's shared thread and waits out a
# call running there), and the server is not ended by a logoff (in rounds with main-thread objects a
# client now and then does not end after one). The logoff's end itself is tested by
# ReliabilityTest.TheEndUnderLoadWhicheverWayItStarts.
set -u
export QD_TORTURE_EXE="$1" QD_SERVER_EXE="$2"
exec bash "$(dirname "$0")/../../scripts/torture.sh" --in-prefix --seconds=60 --post-limit=7000 --endings=3 \
    ${QD_TORTURE_SEED:+--seed=$QD_TORTURE_SEED}
