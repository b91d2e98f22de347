# ./dev leaks [pytest args]: the whole Python suite once under valgrind's memcheck, with the
# interpreter's object allocator replaced by malloc so that every object is tracked. Reports the
# bytes definitely lost, and those among them allocated under korvex (the goal: 0); fails if any
# are. Slow (tens of minutes): not part of ./dev test.

cmd_leaks() {
  setup_main
  if ! command -v valgrind >/dev/null; then
    [ "$(id -u)" -eq 0 ] || die "valgrind is missing (run as root, or: sudo apt-get install valgrind)"
    say "installing valgrind"
    apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq valgrind >/dev/null
  fi
  build_wheel
  install_wheel "$MAIN_VENV"
  local logs=$BUILD/valgrind
  rm -rf "$logs"
  mkdir -p "$logs"
  say "pytest under valgrind (logs in $logs)"
  local status=0
  PYTHONMALLOC=malloc valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --num-callers=50 --trace-children=yes \
    --log-file="$logs/memcheck.%p.log" \
    "$MAIN_VENV/bin/python" -m pytest -p no:cacheprovider -q "$@" || status=$?
  [ "$status" -eq 0 ] || die "pytest failed under valgrind"
  "$MAIN_VENV/bin/python" - "$logs" <<'PY'
import pathlib, re, sys

# A str made for a module attribute name is interned; the interpreter keeps interned strings to
# its end and does not free them at exit, so memcheck calls them lost wherever they were made.
INTERNING = ("PyDict_SetItemString", "PyObject_SetAttrString", "PyUnicode_InternFromString")
STRING_MAKING = ("malloc", "PyUnicode_New", "unicode_decode_utf8", "PyUnicode_FromString") + INTERNING


def functions(record):
    return re.findall(r"(?:at|by) 0x[0-9A-F]+: (\S+)", record)


total = interned = ours = 0
for log in sorted(pathlib.Path(sys.argv[1]).glob("memcheck.*.log")):
    # Loss records are separated by an empty "==pid== " line.
    for record in re.split(r"\n==\d+== \n", log.read_text(errors="replace")):
        m = re.search(r"([\d,]+) bytes in [\d,]+ blocks are definitely lost", record)
        if not m:
            continue
        size = int(m.group(1).replace(",", ""))
        total += size
        if "korvex" not in record:
            continue
        frames = functions(record)
        first_korvex = next(i for i, line in enumerate(record.splitlines()[1:]) if "korvex" in line)
        made_here = frames[:first_korvex]
        if any(f in INTERNING for f in made_here) and all(f in STRING_MAKING for f in made_here):
            interned += size
        else:
            ours += size
            print(record, file=sys.stderr)
print(f"definitely lost: {total} bytes in all; under korvex {ours} bytes, plus {interned} bytes of "
      f"interned attribute names that the interpreter keeps to its end")
sys.exit(1 if ours else 0)
PY
}
