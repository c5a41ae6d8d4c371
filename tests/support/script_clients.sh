# Script clients under Wine's script host (cscript), each judged by the last line it prints. Source
# it after setting WORK; QD_ARCH picks the host (x64 by default).
#
# Wine's cscript opens its script file with no sharing at all (CreateFileW, share mode 0) while it
# reads it. A second host that opens the same file in that moment gets a sharing violation
# (c0000043), and Wine 8's host then prints nothing and exits with 0: it only says
# "fixme:wscript:run_script Could not get script text" on its debug channel. So every client runs
# its own copy of its script, and every client's outcome is judged: a client that ends without its
# last line is a failure, named with its exit code; one that Wine's host could not even read is
# told apart (its debug channel is on for that) and counted. QD_SHARED_SCRIPT=1 runs the script in
# place instead, to show Wine's race.

SCRIPT_CLIENT_PIDS=()

script_host() {
    if [ "${QD_ARCH:-x64}" = x86 ]; then
        echo "$WINEPREFIX/drive_c/windows/syswow64/cscript.exe"
    else
        echo "$WINEPREFIX/drive_c/windows/system32/cscript.exe"
    fi
}

# Starts client TAG in the background: cscript runs SCRIPT with the arguments that follow. Its
# output, error output and exit code land in $WORK/clients/TAG (out, err, rc); a client that has
# not ended after QD_CLIENT_TIMEOUT seconds (120) is ended, with exit code 124. The output goes to
# files: a server that COM starts inherits it and may outlive the client.
start_script_client() {
    local tag="$1" script="$2" dir="$WORK/clients/$1" file
    shift 2
    rm -rf "$dir"
    mkdir -p "$dir"
    file="$dir/${script##*/}"
    if [ "${QD_SHARED_SCRIPT:-0}" = 1 ]; then file="$script"; else cp "$script" "$file"; fi
    (
        cd "${file%/*}" &&
            WINEDEBUG="${WINEDEBUG:--all},fixme+wscript" timeout "${QD_CLIENT_TIMEOUT:-120}" \
                wine "$(script_host)" //nologo "${file##*/}" "$@" </dev/null >"$dir/out" 2>"$dir/err"
        echo $? >"$dir/rc"
    ) &
    SCRIPT_CLIENT_PIDS+=($!)
}

# Waits for every client started so far to end.
wait_script_clients() {
    [ ${#SCRIPT_CLIENT_PIDS[@]} = 0 ] || wait "${SCRIPT_CLIENT_PIDS[@]}"
    SCRIPT_CLIENT_PIDS=()
}

# The output of client TAG without carriage returns and empty lines.
script_client_output() { tr -d '\r' <"$WORK/clients/$1/out" | sed '/^$/d'; }

# Prints the outcome of client TAG, whose last line should match the pattern WANT (bash regex):
#   client TAG: ok, exit 0: "line before" "last line"
#   client TAG: SILENT (Wine's script host could not read its script), exit 0
#   client TAG: ENDED WITHOUT ITS LAST LINE, exit 0: "what it printed last" | no output
# Returns 0 when its last line came, 2 when Wine's host could not read the script, 1 otherwise.
script_client_outcome() {
    local tag="$1" want="$2" dir="$WORK/clients/$1" rc last shown
    rc="$(cat "$dir/rc" 2>/dev/null)"
    [ -n "$rc" ] || rc="unknown (still running?)"
    last="$(script_client_output "$tag" | tail -n 1)"
    shown="$(script_client_output "$tag" | tail -n 2 | sed 's/.*/"&"/' | tr '\n' ' ')"
    if [ -n "$last" ] && [[ "$last" =~ $want ]]; then
        echo "client $tag: ok, exit $rc: ${shown% }"
        return 0
    fi
    if [ -z "$last" ] && grep -q 'Could not get script text' "$dir/err" 2>/dev/null; then
        echo "client $tag: SILENT (Wine's script host could not read its script), exit $rc"
        return 2
    fi
    echo "client $tag: ENDED WITHOUT ITS LAST LINE, exit $rc: ${shown:-no output}"
    # What the host said on its way out (an uncaught error: "ActiveScriptSite_OnScriptError").
    grep -E 'err:|fixme:wscript|wine: ' "$dir/err" 2>/dev/null | grep -v 'ignored L"nologo"' | head -n 5 |
        sed 's/^/    /'
    return 1
}

# Judges the clients TAG... (after wait_script_clients) against WANT, printing every outcome and a
# summary; sets SCRIPT_CLIENTS_OK, SCRIPT_CLIENTS_UNREAD (Wine's host could not read the script)
# and SCRIPT_CLIENTS_FAILED. Returns 1 when any client failed.
judge_script_clients() {
    local want="$1" tag
    shift
    SCRIPT_CLIENTS_OK=0 SCRIPT_CLIENTS_UNREAD=0 SCRIPT_CLIENTS_FAILED=0
    for tag in "$@"; do
        script_client_outcome "$tag" "$want"
        case $? in
        0) SCRIPT_CLIENTS_OK=$((SCRIPT_CLIENTS_OK + 1)) ;;
        2) SCRIPT_CLIENTS_UNREAD=$((SCRIPT_CLIENTS_UNREAD + 1)) ;;
        *) SCRIPT_CLIENTS_FAILED=$((SCRIPT_CLIENTS_FAILED + 1)) ;;
        esac
    done
    echo "script clients: $# in all, $SCRIPT_CLIENTS_OK ended with their last line," \
        "$SCRIPT_CLIENTS_UNREAD silent because Wine's host could not read the script," \
        "$SCRIPT_CLIENTS_FAILED ended without their last line"
    [ "$SCRIPT_CLIENTS_FAILED" = 0 ]
}

# Runs client TAG of SCRIPT to its end and fails the test (lib.sh's fail) unless it ended with a last
# line matching WANT; its output is then script_client_output TAG.
run_one_script_client() {
    local tag="$1" script="$2" want="$3"
    start_script_client "$tag" "$script"
    wait_script_clients
    judge_script_clients "$want" "$tag" && [ "$SCRIPT_CLIENTS_OK" = 1 ] ||
        fail "the script client ended without its last line"
}
