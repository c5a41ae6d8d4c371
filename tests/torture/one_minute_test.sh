#!/usr/bin/env bash
# One minute of the torture run inside the test run's Wine prefix and display; QD_TORTURE_SEED
# replays a failed run. Usage: one_minute_test.sh QD_TORTURE_EXE QDSERVER_EXE
#
# The dialog's posted messages are held to 7 s here, not to the run's 200 ms: past the cap, COM's
# own release of a new object's proxy, right after its creation, is a call from the main thread
# into the object's shared thread, and waits out a call running there (docs/benchmarks.md, "Torture
# run"). Every other check is the run's own.
set -u
export QD_TORTURE_EXE="$1" QD_SERVER_EXE="$2"
exec bash "$(dirname "$0")/../../scripts/torture.sh" --in-prefix --seconds=60 --post-limit=7000 \
    ${QD_TORTURE_SEED:+--seed=$QD_TORTURE_SEED}
