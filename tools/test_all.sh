#!/usr/bin/env bash
# Runs every test: installs what is missing, builds and runs the C++ unit tests,
# then installs the module into a fresh virtual environment for each CPython >= 3.11
# on this machine and runs the Python tests there.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${QS_TEST_OUT:-$root/build-test}
mkdir -p "$out"

# --- system packages (Debian), installed only when missing --------------------------
need_apt=()
dpkg -s libgtest-dev >/dev/null 2>&1 || need_apt+=(libgtest-dev)
command -v clang++ >/dev/null 2>&1 || need_apt+=(clang)
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || need_apt+=(libclang-rt-14-dev)
command -v cmake >/dev/null 2>&1 || need_apt+=(cmake)
command -v ninja >/dev/null 2>&1 || need_apt+=(ninja-build)
command -v g++ >/dev/null 2>&1 || need_apt+=(g++)
if [ ${#need_apt[@]} -gt 0 ]; then
  echo "== installing ${need_apt[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need_apt[@]}" >/dev/null
fi

# --- C++ core tests ------------------------------------------------------------------
echo "== C++ tests"
cmake -S . -B "$out/cpp" -G Ninja -DQS_BUILD_TESTS=ON -DQS_BUILD_MODULE=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out/cpp" -j2
ctest --test-dir "$out/cpp" --output-on-failure

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer, then a short
# run of every fuzz target. QS_QUICK=1 skips both (for a fast local loop).
if [ "${QS_QUICK:-0}" != 1 ]; then
  echo "== C++ tests with AddressSanitizer + UndefinedBehaviorSanitizer"
  cmake -S . -B "$out/cpp-asan" -G Ninja -DQS_BUILD_TESTS=ON -DQS_BUILD_MODULE=OFF \
    -DQS_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$out/cpp-asan" -j2
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$out/cpp-asan" --output-on-failure
  echo "== fuzzing (${QS_FUZZ_SECONDS:-30}s per target)"
  QS_FUZZ_JOBS=2 QS_FUZZ_OUT="$out/fuzz" bash tools/fuzz.sh "${QS_FUZZ_SECONDS:-30}"
fi

# --- Python tests under every CPython >= 3.11 ----------------------------------------
pythons=()
add_python() {
  local exe=$1 v
  v=$("$exe" -c 'import sys; print("%d.%d" % sys.version_info[:2]) if sys.version_info >= (3, 11) else None' 2>/dev/null) || return 0
  [ -n "$v" ] && [ "$v" != "None" ] || return 0
  for seen in "${pythons[@]:-}"; do [ "${seen%%=*}" = "$v" ] && return 0; done
  pythons+=("$v=$exe")
}
for exe in "${PYENV_ROOT:-$HOME/.pyenv}"/versions/*/bin/python3; do
  [ -x "$exe" ] && add_python "$exe"
done
for exe in python3 /usr/bin/python3 /usr/local/bin/python3; do
  command -v "$exe" >/dev/null 2>&1 && add_python "$(command -v "$exe")"
done
if [ ${#pythons[@]} -eq 0 ]; then
  echo "no CPython >= 3.11 found" >&2
  exit 1
fi

for entry in "${pythons[@]}"; do
  v=${entry%%=*}; exe=${entry#*=}
  echo "== Python $v ($exe)"
  venv="$out/venv-$v"
  if [ ! -x "$venv/bin/python" ]; then
    "$exe" -m venv "$venv"
  fi
  "$venv/bin/python" -m pip install -q --upgrade pip >/dev/null
  "$venv/bin/python" -m pip install -q "$root[test]"
  # Run from outside the source tree so the installed module is the one imported.
  (cd "$out" && "$venv/bin/python" -m pytest -q -p no:cacheprovider "$root/tests/python")
done
echo "== all tests passed"
