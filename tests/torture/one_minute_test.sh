#!/usr/bin/env bash
# One minute of the torture run inside the test run's Wine prefix and display, held to the command's
# own limits and with every way of ending the server; QD_TORTURE_SEED replays a failed run.
# Usage: one_minute_test.sh QD_TORTURE_EXE QDSERVER_EXE
set -u
export QD_TORTURE_EXE="$1" QD_SERVER_EXE="$2"
exec bash "$(dirname "$0")/../../scripts/torture.sh" --in-prefix --seconds=60 \
    ${QD_TORTURE_SEED:+--seed=$QD_TORTURE_SEED}
