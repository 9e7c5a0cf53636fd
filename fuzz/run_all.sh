#!/bin/sh
# Builds every fuzz target with clang, ASan and UBSan, then runs each for SECONDS (default 600),
# one after another at the lowest CPU priority: a whole campaign is one command.
#
#   fuzz/run_all.sh [SECONDS] [TARGET...]
#
# Build folder: build-fuzz beside this script's folder (override with BUILD_DIR). Seeds and
# regressions are read from fuzz/corpus/NAME; inputs a run finds go to BUILD_DIR/corpus/NAME
# (copy the few that reach new code into fuzz/corpus/NAME), crashes to
# BUILD_DIR/artifacts/NAME/ (each becomes a named regression file in fuzz/corpus/NAME plus a
# fix). One line of statistics per target goes to BUILD_DIR/fuzz-summary.txt.
set -eu

seconds=${1:-600}
[ $# -gt 0 ] && shift
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-fuzz}
all="data_set_fuzzer data_set_writer_fuzzer image_source_fuzzer display_bitmap_fuzzer
     rle_decoder_fuzzer jpeg_decoder_fuzzer jpeg_ls_decoder_fuzzer jpeg2000_decoder_fuzzer
     character_set_fuzzer"
targets=${*:-$all}

# Options that let each target reach the inputs it really meets: without -len_control=0
# libFuzzer grows inputs slowly and a few minutes never leave the first hundred bytes.
options_for() {
    case $1 in
    data_set_fuzzer | data_set_writer_fuzzer) echo "-max_len=65536 -dict=$root/fuzz/dicom.dict" ;;
    image_source_fuzzer) echo "-max_len=262144 -dict=$root/fuzz/dicom.dict" ;;
    display_bitmap_fuzzer) echo "-max_len=65536" ;; # 64 x 64 x 4 samples x 2 bytes, and more
    rle_decoder_fuzzer) echo "-max_len=131072" ;;
    jpeg_decoder_fuzzer | jpeg_ls_decoder_fuzzer) echo "-max_len=65536" ;;
    jpeg2000_decoder_fuzzer) echo "-max_len=32768 -timeout=20" ;;
    character_set_fuzzer) echo "-max_len=4096" ;; # one text value
    *) echo "unknown target $1" >&2; exit 2 ;;
    esac
}

if [ ! -f "$build/CMakeCache.txt" ]; then
    # ccache speeds up rebuilds where it is installed; the project does not need it.
    launcher=""
    command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
    # shellcheck disable=SC2086
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVELMORA_FUZZ=ON -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF $launcher >/dev/null
fi
# shellcheck disable=SC2086
nice -n 19 cmake --build "$build" -j2 --target $targets

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
summary=$build/fuzz-summary.txt
for target in $targets; do
    binary=$(find "$build/fuzz" -type f -name "$target" -perm -u+x | head -n 1)
    mkdir -p "$build/corpus/$target" "$build/artifacts/$target"
    log=$build/artifacts/$target.log
    echo "== $target: $seconds s"
    status=0
    # shellcheck disable=SC2046
    nice -n 19 "$binary" "$build/corpus/$target" "$root/fuzz/corpus/$target" \
        -max_total_time="$seconds" -len_control=0 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target/" $(options_for "$target") >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    crashes=$(find "$build/artifacts/$target" -type f | wc -l)
    line="$target: ${runs:-?} runs, ${rate:-?}/s, exit $status, $crashes artifact(s)"
    echo "$line"
    echo "$(date -u +%FT%TZ) ${seconds}s $line" >>"$summary"
done
