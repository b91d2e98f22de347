# The embedded calendar document must be exactly what its generator produces.
test_hook_calendar_document() {
  "$MAIN_VENV/bin/python" tools/gen_calendar_weights.py --check >/dev/null \
    || die "src/calendar/embedded_calendar.json differs from tools/gen_calendar_weights.py's output"
}
