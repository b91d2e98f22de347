# Inside ./dev test: a source build on a machine without the Debian packages it needs stops at
# once with a message that names them and the apt-get line that installs them. The machine is
# simulated by rooting every library and header search in an empty directory.
#
# Hooks run as `hook || die`, where bash ignores `set -e`: every step here checks its own status.

# Configures with the packages hidden; $1 = KORVEX_BUILD_TESTS, $2 = the apt-get line expected.
expect_missing_packages_message() {
  local work log status=0
  work=$(mktemp -d) || return 1
  log=$work/configure.log
  if "$MAIN_VENV/bin/cmake" -S . -B "$work/build" -G Ninja -DCMAKE_MAKE_PROGRAM="$ROOT/$MAIN_VENV/bin/ninja" \
       -DKORVEX_BUILD_EXTENSION=OFF -DKORVEX_BUILD_TESTS="$1" -DPython_EXECUTABLE="$ROOT/$MAIN_VENV/bin/python" \
       -DCMAKE_FIND_ROOT_PATH="$work/empty" -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY \
       -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY >"$log" 2>&1; then
    echo "source build: the configure succeeded without the Debian packages" >&2
    status=1
  elif ! grep -qxF "    $2" "$log" || ! grep -q "Debian package libcctz-dev" "$log"; then
    echo "source build: the configure without the Debian packages did not say '$2':" >&2
    cat "$log" >&2
    status=1
  fi
  rm -rf "$work"
  return $status
}

test_hook_source_build() {
  say "a source build without the Debian packages names them"
  expect_missing_packages_message OFF "sudo apt-get install rapidjson-dev libcctz-dev" &&
    expect_missing_packages_message ON "sudo apt-get install rapidjson-dev libcctz-dev libgtest-dev"
}
