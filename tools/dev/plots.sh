# ./dev plots: redraws the pictures of the docs (docs/smiles.png and docs/business-time.png) with
# matplotlib from requirements-dev.txt. Kept out of ./dev demo, which would otherwise install
# matplotlib and rewrite tracked files on a new user's first run.
cmd_plots() {
  setup_main
  build_wheel
  install_wheel "$MAIN_VENV"
  say "drawing the pictures of the docs"
  "$MAIN_VENV/bin/python" examples/plots.py docs || die "examples/plots.py failed"
}
