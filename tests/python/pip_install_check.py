"""pip install of the checkout into a fresh virtual environment, offline.

Copies what the build needs into a temporary folder (pip builds in the tree it
is given), creates a venv that sees the system's numpy and setuptools, installs
with --no-build-isolation --no-deps (no index is reached) and segments a sample
with the installed module, away from the build tree.

    python3 pip_install_check.py SOURCE_DIR
"""

from __future__ import annotations

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

# The library, the readers, the entries table and the package.
NEEDED = ["CMakeLists.txt", "pyproject.toml", "setup.py", "README.md", "cmake", "include", "src",
          "tools", "python"]

CHECK = """
import vantrel, sys
image = vantrel.read_image(sys.argv[1])
result = vantrel.segment(image.pixels, ppi=image.ppi, hand="right")
assert vantrel.__file__.startswith(sys.prefix), vantrel.__file__
assert len(result) == 4 and result.method == "slap", result
print(vantrel.__version__, vantrel.__file__, [f.position for f in result])
"""


def main() -> int:
    source = Path(sys.argv[1]).resolve()
    with tempfile.TemporaryDirectory(prefix="vantrel_pip_") as scratch:
        work = Path(scratch)
        tree = work / "src"
        for name in NEEDED:
            origin = source / name
            if origin.is_dir():
                shutil.copytree(origin, tree / name, ignore=shutil.ignore_patterns("__pycache__"))
            else:
                tree.mkdir(exist_ok=True)
                shutil.copy2(origin, tree / name)
        venv = work / "venv"
        subprocess.run(["/usr/bin/python3", "-m", "venv", "--system-site-packages", str(venv)],
                       check=True)
        python = str(venv / "bin" / "python")
        env = dict(os.environ, PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1")
        env.pop("PYTHONPATH", None)
        if shutil.which("ccache") and "CMAKE_CXX_COMPILER_LAUNCHER" not in env:
            # Paths relative to the tree, so that a second run reuses the objects.
            env.update(CMAKE_CXX_COMPILER_LAUNCHER="ccache", CCACHE_BASEDIR=str(tree))
        elif "CCACHE_BASEDIR" in env:
            env["CCACHE_BASEDIR"] = str(tree)
        subprocess.run([python, "-m", "pip", "install", "--no-build-isolation", "--no-deps",
                        "--quiet", str(tree)], check=True, env=env)
        sample = source / "samples" / "synth" / "right_250ppi.png"
        subprocess.run([python, "-c", CHECK, str(sample)], check=True, env=env, cwd=work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
