#!/usr/bin/env bash
# Static analysis, the faults that pass every test under Wine: builds the project with clang for
# 64-bit Windows (the second compiler, warnings as errors, into build/clang-x64), then runs clang-tidy
# (checks in .clang-tidy) and cppcheck (with scripts/cppcheck-com.cfg) over our own sources.
# Exits 1 on any warning or finding. Our sources are what the build compiles from this tree
# (compile_commands.json), so new files are analysed without a change here, and samples/consumer;
# GoogleTest and the files generated into the build are not ours.
set -euo pipefail
source "$(dirname "$0")/env.sh"
qd_fail_loudly
qd_ensure_packages $QD_ANALYSIS_PACKAGES
jobs="$(nproc)"
dir="$QD_ROOT/build/clang-x64"
status=0

start=$(date +%s)
qd_quiet "configuring the clang build" cmake -S "$QD_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_TOOLCHAIN_FILE="$QD_ROOT/cmake/toolchain-clang-mingw64.cmake"
# The build also makes the generated headers (the type library's) that the analysis needs.
cmake --build "$dir" -j"$jobs" >"$dir/build.log" 2>&1 ||
    { cat "$dir/build.log"; qd_log "FAILED: the clang build (its output above)"; exit 1; }
qd_log "clang build: no warnings, $(( $(date +%s) - start )) s"

# Our translation units, one a line, and the include folders of our own.
python3 - "$QD_ROOT" "$dir" <<'EOF' >"$dir/analysis-files.txt"
import json, os, sys
root, build = sys.argv[1] + "/", sys.argv[2] + "/"
seen = set()
for entry in json.load(open(build + "compile_commands.json")):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if path.startswith(root) and not path.startswith(root + "build/") and path not in seen:
        seen.add(path)
        print(path)
EOF
# samples/consumer builds only against an installed SDK, outside the main build: the clang build's
# SDK is installed for it, and its files are analysed with the compile commands of its own build.
consumer="$dir/consumer"
qd_quiet "installing the clang build's SDK" cmake --install "$dir" --prefix "$dir/sdk"
qd_quiet "configuring samples/consumer" cmake -S "$QD_ROOT/samples/consumer" -B "$consumer" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_PREFIX_PATH="$dir/sdk" \
    -DCMAKE_TOOLCHAIN_FILE="$QD_ROOT/cmake/toolchain-clang-mingw64.cmake"
# Built, so that the files it generates from its IDL (the GUIDs' header) exist; those are not ours.
qd_quiet "building samples/consumer" cmake --build "$consumer"
python3 -c 'import json, sys; print("\n".join(e["file"] for e in json.load(open(sys.argv[1]))
                                              if not e["file"].startswith(sys.argv[2] + "/")))' \
    "$consumer/compile_commands.json" "$consumer" >"$dir/consumer-files.txt"
cat "$dir/analysis-files.txt" "$dir/consumer-files.txt" >"$dir/all-files.txt"
qd_log "analysing $(wc -l <"$dir/all-files.txt") files"

# Headers of ours: every top folder of the tree but the builds.
folders="$(cd "$QD_ROOT" && git ls-files | sed -n 's|^\([^./][^/]*\)/.*|\1|p' | sort -u | grep -vx build | paste -sd'|')"

start=$(date +%s)
{
    xargs -a "$dir/analysis-files.txt" -P "$jobs" -n 1 \
        clang-tidy -p "$dir" --quiet --header-filter="^$QD_ROOT/($folders)/" || status=1
    xargs -a "$dir/consumer-files.txt" -P "$jobs" -n 1 \
        clang-tidy -p "$consumer" --quiet --header-filter="^$QD_ROOT/($folders)/" || status=1
} >"$dir/clang-tidy.log" 2>&1
# clang-tidy prints a count of suppressed warnings for every file, findings or not.
grep -v -e '^[0-9]* warnings\? generated\.$' -e '^Suppressed [0-9]* warnings' \
    -e '^Use -header-filter=' "$dir/clang-tidy.log" || true
qd_log "clang-tidy: $([ $status = 0 ] && echo 'no findings' || echo FINDINGS), $(( $(date +%s) - start )) s"

start=$(date +%s)
includes=()
for folder in $(python3 - "$dir" <<'EOF'
import json, os, shlex, sys
dirs = set()
for entry in json.load(open(sys.argv[1] + "/compile_commands.json")):
    args = []
    for arg in shlex.split(entry["command"]):
        # The include folders of a target are in a response file.
        if arg.startswith("@"):
            args += shlex.split(open(os.path.join(entry["directory"], arg[1:])).read())
        else:
            args.append(arg)
    dirs.update(arg[2:] for arg in args if arg.startswith("-I") and len(arg) > 2)
print("\n".join(sorted(dirs)))
EOF
); do
    case "$folder" in "$QD_ROOT"/build/*|/usr/*) ;; *) includes+=("-I$folder") ;; esac
done
# The MinGW headers are left out (cppcheck reads windows.cfg instead): with them it takes minutes.
cppcheck --quiet --error-exitcode=1 --inline-suppr --std=c++17 --platform=win64 -j "$jobs" \
    --library=windows --library=googletest --library="$QD_ROOT/scripts/cppcheck-com.cfg" \
    --enable=warning,performance,portability --suppress=missingIncludeSystem \
    -D_WIN32 -D_WIN64 -D__cplusplus=201703L -DWIN32_LEAN_AND_MEAN "${includes[@]}" \
    --file-list="$dir/all-files.txt" || { status=1; cppcheck_found=1; }
qd_log "cppcheck: $([ -z "${cppcheck_found:-}" ] && echo 'no findings' || echo FINDINGS), $(( $(date +%s) - start )) s"
exit $status
