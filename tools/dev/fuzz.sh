# ./dev fuzz [seconds]: builds the libFuzzer targets in fuzz/ with clang, AddressSanitizer and
# UBSan, and runs each for [seconds] (default 120) from its seed corpus in fuzz/corpus/<target>.
# New inputs go to $BUILD/fuzz/corpus/<target>, crashes to $BUILD/fuzz/artifacts/<target>; the
# tree's seed corpora are only read.
# test_hook_fuzz: about 30 s per target inside ./dev test, only when CI=true.

FUZZ_TARGETS=(calendar_document tenor bucket_key option_type implied_vol smile_fit surface)
FUZZ_CLANG_VERSION=16   # the first clang whose C++23 mode compiles libstdc++ 12's <expected>

fuzz_compiler() {
  local cxx=clang++-$FUZZ_CLANG_VERSION cc=clang-$FUZZ_CLANG_VERSION
  local rt=libclang-rt-$FUZZ_CLANG_VERSION-dev
  if ! command -v "$cxx" >/dev/null || ! dpkg-query -W -f='${Status}' "$rt" 2>/dev/null | grep -q "install ok installed"; then
    [ "$(id -u)" -eq 0 ] || die "the fuzz targets need clang-$FUZZ_CLANG_VERSION and $rt (run as root, or: sudo apt-get install clang-$FUZZ_CLANG_VERSION $rt)"
    say "installing clang-$FUZZ_CLANG_VERSION and libFuzzer"
    apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "clang-$FUZZ_CLANG_VERSION" "$rt" >/dev/null
  fi
  printf '%s %s\n' "$cc" "$cxx"
}

build_fuzzers() {
  local compilers cc cxx build=$BUILD/fuzz/build
  compilers=$(fuzz_compiler) || return 1
  read -r cc cxx <<<"$compilers"
  say "building the fuzz targets with $cxx"
  "$MAIN_VENV/bin/cmake" -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$ROOT/$MAIN_VENV/bin/ninja" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVEX_SANITIZE=ON -DKORVEX_BUILD_FUZZERS=ON -DKORVEX_BUILD_EXTENSION=OFF -DKORVEX_BUILD_TESTS=OFF \
    -DPython_EXECUTABLE="$ROOT/$MAIN_VENV/bin/python" >/dev/null
  "$MAIN_VENV/bin/cmake" --build "$build" -j 2 >/dev/null
}

# Runs one target for $2 seconds; prints its execution count and rate, fails on any finding.
run_fuzzer() {
  local target=$1 seconds=$2 build=$BUILD/fuzz
  local corpus=$build/corpus/$target artifacts=$build/artifacts/$target log=$build/$target.log
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
                 -artifact_prefix="$artifacts/")
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
  mkdir -p "$corpus" "$artifacts"
  # The embedded interpreter keeps its start-up allocations for the life of the process.
  local leaks=1
  [ "$target" = option_type ] && leaks=0
  if ! ASAN_OPTIONS=detect_leaks=$leaks:halt_on_error=1:abort_on_error=1 \
       UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
       "$build/build/fuzz/${target}_fuzzer" "${options[@]}" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    die "fuzz target $target failed (log $log, input in $artifacts)"
  fi
  local runs rate
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  printf '%-18s %10s executions in %ss (%s/s)\n' "$target" "$runs" "$seconds" "$rate"
}

cmd_fuzz() {
  local seconds=${1:-120} target
  setup_main demo
  build_fuzzers
  for target in "${FUZZ_TARGETS[@]}"; do run_fuzzer "$target" "$seconds"; done
}

test_hook_fuzz() {
  [ "${CI:-}" = true ] || return 0
  build_fuzzers
  local target
  for target in "${FUZZ_TARGETS[@]}"; do run_fuzzer "$target" "${KORVEX_FUZZ_SECONDS:-30}"; done
}
