# ./dev test --sanitize [pytest args]: the core tests and the extension built with AddressSanitizer
# and UndefinedBehaviorSanitizer (halting on the first report), GoogleTest and pytest run under
# them, and LeakSanitizer at the exit of every process: any block still allocated that nothing
# points to fails the run, C++ allocations and (with the interpreter's allocator bypassed) Python
# objects alike, except the interpreter's and numpy's own, listed in tools/dev/lsan.supp.
# A subset: ./dev test --sanitize tests/python/test_array_time.py

sanitizer_runtime() {  # the runtime libraries the interpreter must preload, in link order
  local lib
  for lib in libasan.so libubsan.so; do
    lib=$(g++ -print-file-name="$lib")
    [ -f "$lib" ] || die "sanitizer runtime $lib not found"
    printf '%s ' "$(readlink -f "$lib")"
  done
}

cmd_test_sanitize() {
  setup_main
  export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1
  export LSAN_OPTIONS=suppressions=$ROOT/tools/dev/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
  say "building and running the C++ core tests with sanitizers"
  local build=$BUILD/core-tests-sanitize
  "$MAIN_VENV/bin/cmake" -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$ROOT/$MAIN_VENV/bin/ninja" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEX_SANITIZE=ON -DKORVEX_BUILD_EXTENSION=OFF -DKORVEX_BUILD_TESTS=ON \
    -DPython_EXECUTABLE="$ROOT/$MAIN_VENV/bin/python" >/dev/null
  "$MAIN_VENV/bin/cmake" --build "$build" -j 2
  run_ctest "$build" "sanitized C++ core tests"

  say "building the sanitized extension"
  local wheels=$BUILD/wheelhouse-sanitize venv=$MAIN_VENV-sanitize
  rm -rf "$wheels"
  "$MAIN_VENV/bin/python" -m pip wheel -q --disable-pip-version-check --no-build-isolation --no-deps \
    --config-settings=build-dir="$BUILD/sanitize-{wheel_tag}" \
    --config-settings=cmake.build-type=RelWithDebInfo \
    --config-settings=cmake.define.KORVEX_SANITIZE=ON --config-settings=cmake.define.KORVEX_BORDER_PROBE=ON \
    -w "$wheels" . >/dev/null
  ensure_venv "$venv" "$(resolve "$MAIN_VENV/bin/python")"
  "$venv/bin/python" -m pip install -q --disable-pip-version-check --force-reinstall --no-deps "$wheels"/korvex-*.whl
  # A test build: it carries the border probe, which the border tests drive from there.
  KORVEX_PROBED_BUILD=$("$venv/bin/python" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
  export KORVEX_PROBED_BUILD
  say "pytest under the sanitizers"
  # The interpreter itself is not instrumented: the runtime is preloaded, and the interpreter's
  # allocator is bypassed so that object memory is checked too.
  local runtime
  runtime="$(sanitizer_runtime)"
  sanitized_pytest() { LD_PRELOAD="$runtime" PYTHONMALLOC=malloc "$venv/bin/python" -m pytest -p no:cacheprovider "$@"; }
  if [ $# -gt 0 ]; then
    sanitized_pytest "$@"
    return
  fi
  # The tests that start a Dask cluster (marked `cluster`: the cluster tests and the guides' cluster
  # recipes) run in a process of their own, without the leak check at its exit: Dask leaves a daemon
  # thread (its offload pool) frozen at exit, whose frames live in memory the leak check does not
  # scan, so what they hold (bytearray buffers) reads as leaked in some runs, and only in runs that
  # start a cluster. Everything else runs with the check.
  ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" sanitized_pytest -q -m cluster
  sanitized_pytest -m "not cluster"
}
