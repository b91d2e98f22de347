"""The documentation runs: every ```python block of docs/*.md executes here, so the guides cannot
drift from the module. Blocks with >>> prompts are doctests; blocks of one page share one
namespace, in page order."""

import doctest
import os
import pathlib
import re
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
DOCS = ROOT / "docs"
PAGES = sorted(DOCS.glob("*.md"))
FENCE = re.compile(r"^```python\n(.*?)^```[ \t]*$", re.MULTILINE | re.DOTALL)
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")
PICTURES = {"smiles.png", "business-time.png", "fitted-smiles.png", "surface.png", "surface-term.png"}


def python_blocks(page: pathlib.Path):
    text = page.read_text(encoding="utf-8")
    for match in FENCE.finditer(text):
        yield text.count("\n", 0, match.start(1)) + 1, match.group(1)


def test_there_are_guides_with_examples():
    assert len(PAGES) >= 5
    for page in PAGES:
        assert list(python_blocks(page)), f"{page.name} has no runnable example"


def page_param(page: pathlib.Path):
    """A page whose examples start a Dask cluster carries the cluster mark."""
    starts_cluster = "LocalCluster(" in page.read_text(encoding="utf-8")
    return pytest.param(page, id=page.name, marks=[pytest.mark.cluster] if starts_cluster else [])


@pytest.mark.parametrize("page", [page_param(page) for page in PAGES])
def test_examples_run(page):
    blocks = list(python_blocks(page))
    # Each page runs as a script would, so that its `if __name__ == "__main__":` blocks run too.
    globs = {"__name__": "__main__"}
    parser = doctest.DocTestParser()
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    report = []
    for line, source in blocks:
        name = f"{page.name}:{line}"
        if ">>>" in source:
            test = parser.get_doctest(source, globs, name, str(page), line - 1)
            test.globs = globs  # shared with the page's later blocks (get_doctest copies)
            runner.run(test, out=report.append, clear_globs=False)
        else:
            exec(compile(source, name, "exec"), globs)
    assert runner.failures == 0, "".join(report)


def test_links_resolve():
    """Every relative link and picture in the README and the guides names a file that exists,
    and the README links every guide."""
    readme = ROOT / "README.md"
    for page in [readme, *PAGES]:
        for target in LINK.findall(page.read_text(encoding="utf-8")):
            if re.match(r"[a-z]+:", target) or target.startswith("#"):
                continue
            path = (page.parent / target.split("#")[0]).resolve()
            assert path.exists(), f"{page.name} links {target}, which does not exist"
    linked = {(ROOT / t).resolve() for t in LINK.findall(readme.read_text(encoding="utf-8"))}
    assert set(PAGES) <= linked, "README.md does not link every page of docs/"


def test_plots_script_draws_the_pictures(tmp_path):
    pytest.importorskip("matplotlib")
    # matplotlib keeps allocations of its own to the end of the process, which the sanitizer run's
    # leak check would report (LeakSanitizer's list covers the interpreter and numpy only).
    env = {**os.environ, "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"}
    subprocess.run([sys.executable, str(ROOT / "examples" / "plots.py"), str(tmp_path)], check=True,
                   capture_output=True, env=env)
    assert {p.name for p in tmp_path.iterdir()} == PICTURES
    for name in PICTURES:
        data = (tmp_path / name).read_bytes()
        assert data.startswith(b"\x89PNG\r\n\x1a\n") and len(data) > 20_000, name
