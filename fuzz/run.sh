#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each for SECONDS, one after another, seeded from ../shared/testdata (where present) and
# fuzz/seeds. New inputs collect in build/fuzz/corpus/TARGET, crashing or hanging inputs in
# build/fuzz/findings/TARGET, full logs in build/fuzz/logs.
# Usage: fuzz/run.sh SECONDS [TARGET...]      (default: every target)
# Exit status: 0 when nothing was found.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
all_targets=(fuzz_ply_file fuzz_load_ply fuzz_gaussian_ply fuzz_las fuzz_laz fuzz_copc_hierarchy fuzz_copc_stream fuzz_camera_poses fuzz_trainer_cameras fuzz_settings
             fuzz_spz fuzz_sog fuzz_compressed_ply fuzz_splat fuzz_parallel_decode fuzz_laz_roundtrip fuzz_point_records)
targets=("$@")
((${#targets[@]})) || targets=("${all_targets[@]}")

build=build/fuzz
if ! out=$( (cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ &&
              cmake --build "$build" -j2 -- "${targets[@]}") 2>&1); then
  echo "$out" >&2
  exit 2
fi

testdata=../shared/testdata
seed_dirs() {
  case $1 in
    fuzz_ply_file | fuzz_load_ply) echo "$testdata/ply $testdata/splat" ;;
    fuzz_gaussian_ply) echo "$testdata/splat $testdata/ply" ;;
    fuzz_las) echo "$testdata/las" ;;
    fuzz_parallel_decode) echo "$testdata/las $testdata/ply $testdata/splat" ;;
    fuzz_laz) echo "$testdata/laz" ;;
    fuzz_laz_roundtrip) echo "$testdata/laz-write" ;;
    fuzz_point_records) echo "$testdata/las $testdata/laz $testdata/ply" ;;
    fuzz_copc_hierarchy | fuzz_copc_stream) echo "$testdata/laz" ;;
    fuzz_camera_poses) echo "$testdata/poses" ;;
    fuzz_trainer_cameras) echo "fuzz/seeds/cameras $testdata/poses" ;;
    fuzz_settings) echo "fuzz/seeds/ini" ;;
    fuzz_spz | fuzz_sog | fuzz_compressed_ply | fuzz_splat) echo "$testdata/splat-formats fuzz/seeds/$1" ;;
  esac
}
# The splat scenes in the corpus are whole files of up to a few hundred KiB (a zip's directory
# sits at its end): their targets take inputs that long.
max_len() {
  case $1 in
    fuzz_spz | fuzz_sog | fuzz_compressed_ply) echo 400000 ;;
    # Long enough for the records to be split into several ranges on the pool.
    fuzz_parallel_decode) echo 1100000 ;;
    # Tens to hundreds of records, in chunks of one point up: each chunk costs its models.
    fuzz_laz_roundtrip) echo 4096 ;;
    *) echo 65536 ;;
  esac
}
dictionary() {
  case $1 in
    fuzz_las) echo fuzz/dict/las.dict ;;
    fuzz_laz) echo fuzz/dict/laz.dict ;;
    fuzz_copc_hierarchy | fuzz_copc_stream) echo fuzz/dict/copc.dict ;;
    fuzz_camera_poses | fuzz_trainer_cameras) echo fuzz/dict/json.dict ;;
    fuzz_settings) echo fuzz/dict/ini.dict ;;
    fuzz_sog) echo fuzz/dict/json.dict ;;
    fuzz_spz | fuzz_splat | fuzz_laz_roundtrip) echo "" ;;
    *) echo fuzz/dict/ply.dict ;;
  esac
}

found_any=0
printf '%-20s %14s  %s\n' target executions result
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  findings=$build/findings/$target
  log=$build/logs/$target.log
  mkdir -p "$corpus" "$findings" "$build/logs"
  seeds=()
  for dir in $(seed_dirs "$target"); do
    [[ -d $dir ]] && seeds+=("$dir")
  done
  dict=$(dictionary "$target")
  status=0
  "$build/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=5 -max_len="$(max_len "$target")" \
    ${dict:+-dict="$dict"} -artifact_prefix="$findings/" -print_final_stats=1 \
    "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
  executions=$(awk '/stat::number_of_executed_units/ {n = $2} END {print n + 0}' "$log")
  artifacts=$(find "$findings" -type f | wc -l)
  if ((status == 0 && artifacts == 0)); then
    result="nothing found"
  else
    found_any=1
    result="FOUND (exit $status): $(find "$findings" -type f -printf '%p ' ) see $log"
  fi
  printf '%-20s %14s  %s\n' "$target" "$executions" "$result"
done
exit $found_any
