#!/usr/bin/env bash
# The scripts on a machine that cannot run 32-bit programs: the decision whether Wine's 32-bit
# loader starts here, and the test command's road without it (forced with QD_NO_32BIT=1, so that it
# is tried on every machine): the 64-bit suite runs, the skip is said at the start and at the end,
# and the run passes; asking for the 32-bit suite there is an error that says why.
# Usage: loader_choice_test.sh (from the x64 suite; QD_ROOT is found from this file).
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
fail() { echo "FAIL: $*" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# --- the decision, with loaders that start and loaders that cannot ---
runs() { (source "$root/scripts/env.sh" && qd_loader_runs "$1"); }
printf '#!/bin/sh\necho wine-8.0\n' >"$work/starts" && chmod +x "$work/starts"
printf '#!/bin/sh\necho wine-8.0\n' >"$work/not-executable"
# An ELF header for another processor (AArch64 on x86-64, x86-64 elsewhere): "Exec format error".
machine='\xb7\x00'
[ "$(uname -m)" = aarch64 ] && machine='\x3e\x00'
{ printf '\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00'; printf "$machine"
  printf '\x01\x00\x00\x00'; head -c 44 /dev/zero; } >"$work/foreign-elf"
chmod +x "$work/foreign-elf"
runs "$work/starts" >/dev/null || fail "a loader that starts was judged unable to"
runs /usr/lib/wine/wine64 >/dev/null || fail "Wine's 64-bit loader was judged unable to start"
for loader in not-executable foreign-elf missing; do
    why="$(runs "$work/$loader")" && fail "the loader '$loader' was judged to start"
    [ -n "$why" ] || fail "no reason given for the loader '$loader'"
    echo "ok: $loader cannot start: $why"
done
grep -q 'Exec format error' <<<"$(runs "$work/foreign-elf")" || fail "the foreign binary's reason is not the kernel's"

# --- the test command without 32-bit programs: one small 64-bit test, no build ---
# (A QD_ARCHS of the run that started this test would ask for x64 alone, and so no skip.)
env -u QD_ARCHS QD_NO_32BIT=1 QD_BUILD=0 bash "$root/scripts/test.sh" -R '^SlotTableTest\.' >"$work/run.log" 2>&1
rc=$?
sed 's/^/  | /' "$work/run.log" | tail -n 12
[ "$rc" = 0 ] || fail "the run without 32-bit programs exited $rc"
[ "$(grep -c 'cannot run 32-bit programs.*QD_NO_32BIT=1' "$work/run.log")" -ge 2 ] ||
    fail "the skip is not said at the start and at the end"
tail -n 3 "$work/run.log" | grep -q 'NOT RUN: .*x86 suite' || fail "the last lines do not say what was not run"
grep -q 'testing the x64 build' "$work/run.log" || fail "the 64-bit suite did not run"
grep -q 'testing the x86 build' "$work/run.log" && fail "the 32-bit suite ran"
grep -qE '100% tests passed, 0 tests failed out of [1-9]' "$work/run.log" || fail "no 64-bit test passed"

QD_NO_32BIT=1 QD_BUILD=0 QD_ARCHS=x86 bash "$root/scripts/test.sh" >"$work/x86.log" 2>&1 &&
    fail "QD_ARCHS=x86 without 32-bit programs passed"
grep -q 'asks for the 32-bit suite, but this machine cannot run 32-bit programs' "$work/x86.log" ||
    fail "QD_ARCHS=x86 without 32-bit programs did not say why: $(cat "$work/x86.log")"
echo "ok: the skip path"
