# After the quickstart of ./dev demo: redraw the pictures of the docs (docs/smiles.png and, once
# korvex.Calendar is built, docs/business-time.png) with matplotlib from requirements-dev.txt.
demo_hook_plots() {
  say "drawing the pictures of the docs"
  "$MAIN_VENV/bin/python" examples/plots.py docs || die "examples/plots.py failed"
}
