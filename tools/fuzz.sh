#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs each for a bounded time: tools/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Corpora are seeded from examples/, fuzz/seeds/ and, when present, ../shared/charts/;
# fuzz/dict/<name>.dict is passed as the dictionary of target fuzz_<name>.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
secs=${1:-30}
shift || true
out=${QS_FUZZ_OUT:-$root/fuzz/out}

if ! command -v clang++ >/dev/null 2>&1; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang >/dev/null
fi

CC=clang CXX=clang++ cmake -S . -B "$out/build" -G Ninja -DQS_FUZZ=ON -DQS_SANITIZE=ON \
  -DQS_BUILD_MODULE=OFF -DQS_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out/build" -j"${QS_FUZZ_JOBS:-1}"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_sus fuzz_chart_json fuzz_rebase fuzz_lyric fuzz_fraction fuzz_render)
fi

seed() {  # seed <target> <files...>
  local dir="$out/corpus/$1"; shift
  mkdir -p "$dir"
  for f in "$@"; do [ -f "$f" ] && cp -n "$f" "$dir/" 2>/dev/null || true; done
}
shared="$root/../shared/charts"
for t in "${targets[@]}"; do
  case $t in
    fuzz_sus) seed "$t" examples/*.sus fuzz/seeds/"$t"/* "$shared"/sus/*.sus ;;
    fuzz_render) seed "$t" examples/*.sus fuzz/seeds/"$t"/* "$shared"/sus/*.sus "$shared"/json/*.json ;;
    fuzz_chart_json) seed "$t" fuzz/seeds/"$t"/* "$shared"/json/*.json ;;
    fuzz_rebase) seed "$t" examples/*.json fuzz/seeds/"$t"/* ;;
    fuzz_lyric) seed "$t" examples/*.lyric fuzz/seeds/"$t"/* ;;
    *) seed "$t" fuzz/seeds/"$t"/* ;;
  esac
  mkdir -p "$out/artifacts/$t"
  dict=fuzz/dict/${t#fuzz_}.dict
  dict_arg=()
  [ -f "$dict" ] && dict_arg=(-dict="$dict")
  # QS_FUZZ_KEEP_GOING=1: one worker process that records each finding and carries on.
  [ "${QS_FUZZ_KEEP_GOING:-0}" = 1 ] && dict_arg+=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
  echo "== $t for ${secs}s"
  "$out/build/$t" "$out/corpus/$t" "${dict_arg[@]}" -max_total_time="$secs" -max_len="${QS_FUZZ_MAX_LEN:-65536}" -rss_limit_mb=4096 \
    -timeout=30 -artifact_prefix="$out/artifacts/$t/" -print_final_stats=1 2>"$out/$t.log" || {
      tail -n 60 "$out/$t.log"; echo "fuzz target $t found a failure" >&2; exit 1; }
  grep -E 'stat::number_of_executed_units|cov:' "$out/$t.log" | tail -n 2
  if [ -n "$(ls -A "$out/artifacts/$t")" ]; then
    ls "$out/artifacts/$t"; echo "fuzz target $t found a failure" >&2; exit 1
  fi
done
echo "== fuzzing finished without findings"
