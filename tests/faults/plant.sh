#!/bin/bash
# Plants each one-line fault of faults.txt in turn into a scratch copy of this tree, builds it and
# runs the whole ctest suite, and reports whether some test caught the fault. CPU heavy: it runs
# niced, one build at a time. Usage: tests/faults/plant.sh [SCRATCH_DIR] [FAULT_NAME...]
# Environment: VELMORA_FAULT_CMAKE_ARGS replaces the default configure flags (a Debug build
# without sanitizers: the faults are wrong results, not memory errors, and it builds faster).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source_tree=$(cd "$here/../.." && pwd)
scratch=${1:-/tmp/velmora-faults}
shift || true
only=("$@")
default_args="-DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=OFF -DVELMORA_BENCH=OFF"
# ccache speeds up the rebuild after each fault where it is installed; the project does not
# install it, and a launcher that is missing fails every compile.
if command -v ccache >/dev/null 2>&1; then
    default_args="$default_args -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
fi
cmake_args=${VELMORA_FAULT_CMAKE_ARGS:-$default_args}

mkdir -p "$scratch"
rsync -a --delete --exclude '/build*' --exclude '.git' "$source_tree/" "$scratch/src/"
# rsync gives a file that an earlier run faulted its older source time again, older than the
# object built from the fault: touch those files so that the build recompiles them.
if [ -f "$scratch/faulted" ]; then
    sort -u "$scratch/faulted" | while read -r file; do touch "$scratch/src/$file"; done
    rm -f "$scratch/faulted"
fi
build=$scratch/build
# shellcheck disable=SC2086
nice -n 19 cmake -S "$scratch/src" -B "$build" $cmake_args >"$scratch/configure.log" 2>&1 || {
    echo "configure failed: $scratch/configure.log"
    exit 2
}

run_suite() { # $1: log file; prints the names of failing tests
    nice -n 19 cmake --build "$build" -j2 >"$1.build" 2>&1 || return 2
    (cd "$build" && nice -n 19 ctest -j2 --timeout 600 >"$1" 2>&1)
    grep -E '^\s*[0-9]+ - .* \((Failed|Timeout|Subprocess aborted|SEGFAULT|Exception)' "$1" | sed -E 's/^\s*[0-9]+ - (\S+).*/\1/' | sort -u
}

echo "baseline: building and running the suite unchanged"
baseline=$(run_suite "$scratch/baseline.log") || { [ $? -eq 2 ] && echo "baseline does not build" && exit 2; }
[ -n "$baseline" ] && echo "failing before any fault (ignored below): $baseline"

caught=0
missed=0
invalid=0
while IFS=$'\t' read -r name file script; do
    [[ -z "$name" || "$name" == \#* ]] && continue
    if [ ${#only[@]} -gt 0 ] && [[ ! " ${only[*]} " == *" $name "* ]]; then
        continue
    fi
    target=$scratch/src/$file
    echo "$file" >>"$scratch/faulted"
    cp "$target" "$scratch/pristine"
    sed -i -e "$script" "$target"
    if cmp -s "$target" "$scratch/pristine"; then
        echo "INVALID $name: the sed script does not change $file"
        invalid=$((invalid + 1))
        continue
    fi
    failing=$(run_suite "$scratch/$name.log")
    status=$?
    cp "$scratch/pristine" "$target"
    if [ $status -eq 2 ]; then
        echo "INVALID $name: does not build ($scratch/$name.log.build)"
        invalid=$((invalid + 1))
        continue
    fi
    new=$(comm -23 <(echo "$failing") <(echo "$baseline") | tr '\n' ' ')
    if [ -n "${new// /}" ]; then
        echo "CAUGHT  $name by $new"
        caught=$((caught + 1))
    else
        echo "MISSED  $name"
        missed=$((missed + 1))
    fi
done <"$here/faults.txt"
touch "$scratch/src/CMakeLists.txt" # the next run rebuilds from the restored sources
echo "$caught caught, $missed missed, $invalid invalid"
[ $missed -eq 0 ] && [ $invalid -eq 0 ]
