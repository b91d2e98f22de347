# ./dev bench [--readme]: korvex against its floors and its peers (vollib, QuantLib, numpy, scipy,
# polars-vol, lbriv), and the array route against plain C++ loops over the core (bench/core); one process
# per table, in a separate environment that holds the peers; then the chart
# docs/performance.png, and with --readme docs/performance.md and the README's Performance summary.
# test_hook_bench: each table's agreement checks (no timing) inside ./dev test.

BENCH_VENV=${KORVEX_BENCH_VENV:-$MAIN_VENV-bench}
BENCH_SCRIPTS=(bench/bench_core.py bench/bench_pricing.py bench/bench_chain.py bench/bench_smiles.py bench/bench_time.py
  bench/bench_arrays.py bench/bench_desk.py bench/bench_implied_vol.py bench/bench_surface.py bench/bench_fit.py)

ensure_bench_venv() {
  local py stamp="$BENCH_VENV/.requirements.stamp"
  py=$(resolve "$MAIN_VENV/bin/python")
  if [ -x "$BENCH_VENV/bin/python" ] && [ "$(minor_of "$BENCH_VENV/bin/python")" != "$(minor_of "$py")" ]; then
    rm -rf "$BENCH_VENV"
  fi
  if [ ! -x "$BENCH_VENV/bin/python" ]; then
    say "creating $BENCH_VENV with $py"
    "$py" -m venv "$BENCH_VENV"
  fi
  if [ ! -f "$stamp" ] || ! cmp -s bench/requirements.txt "$stamp"; then
    say "installing the benchmark peers into $BENCH_VENV"
    "$BENCH_VENV/bin/python" -m pip install -q --disable-pip-version-check -r bench/requirements.txt
    cp bench/requirements.txt "$stamp"
  fi
}

# The plain C++ loops, in the core tests' build tree so that its core libraries are reused;
# exports their path in KORVEX_CORE_LOOPS for bench/core_loops.py.
build_core_loops() {
  local build=$BUILD/core-tests
  case "$build" in /*) ;; *) build=$ROOT/$build ;; esac
  say "building the plain C++ loops over the core"
  "$MAIN_VENV/bin/cmake" -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$ROOT/$MAIN_VENV/bin/ninja" \
    -DKORVEX_BUILD_EXTENSION=OFF -DKORVEX_BUILD_TESTS=ON -DKORVEX_BUILD_BENCH=ON \
    -DPython_EXECUTABLE="$ROOT/$MAIN_VENV/bin/python" >/dev/null &&
    "$MAIN_VENV/bin/cmake" --build "$build" -j 2 --target korvex_core_loops korvex_surface_loops korvex_fit_loops >/dev/null || return 1
  export KORVEX_CORE_LOOPS=$build/bench/core/korvex_core_loops
  export KORVEX_SURFACE_LOOPS=$build/bench/core/korvex_surface_loops
  export KORVEX_FIT_LOOPS=$build/bench/core/korvex_fit_loops
}

cmd_bench() {
  setup_main demo
  build_wheel
  install_wheel "$MAIN_VENV"
  build_core_loops
  ensure_bench_venv
  install_wheel "$BENCH_VENV"
  local out=$BUILD/bench script
  case "$out" in /*) ;; *) out=$ROOT/$out ;; esac
  rm -rf "$out"
  mkdir -p "$out"
  say "benchmarks on $("$BENCH_VENV/bin/python" -V), one process per table"
  for script in "${BENCH_SCRIPTS[@]}"; do
    # The OpenBLAS overrides of this machine slow a current numpy; the benchmark alone runs without.
    env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE KORVEX_BENCH_OUT="$out" "$BENCH_VENV/bin/python" "$script" \
      || die "$script failed"
  done
  "$BENCH_VENV/bin/python" bench/report.py "$out" "$@"
}

# Quick: the peers present in the test environment (numpy, scipy, plain Python) must agree with
# korvex, so that the benchmark keeps measuring the same work as the module changes.
test_hook_bench() {
  local script
  build_core_loops || return 1
  say "benchmark agreement checks"
  for script in "${BENCH_SCRIPTS[@]}"; do
    "$MAIN_VENV/bin/python" "$script" --check || return 1
  done
}
