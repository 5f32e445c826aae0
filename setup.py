"""The compiled half of the vantrel package, built by the project's CMake build.

pyproject.toml holds the package's description; this file only runs CMake
(library and module, no tools or tests) and puts the extension it builds where
setuptools packs it. The version is the CMake project's.
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = Path(__file__).resolve().parent


def project_version() -> str:
    text = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"project\(vantrel VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        build = Path(self.build_temp).resolve() / "cmake"
        subprocess.run(
            [
                "cmake", "-S", str(SOURCE), "-B", str(build),
                "-DCMAKE_BUILD_TYPE=Release",
                "-DVANTREL_BUILD_TESTS=OFF",
                "-DVANTREL_BUILD_TOOLS=OFF",
                "-DVANTREL_BUILD_PYTHON=ON",
                f"-DPython3_EXECUTABLE={sys.executable}",
            ],
            check=True,
        )
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(
            ["cmake", "--build", str(build), "--target", "vantrel_python", "-j", jobs], check=True
        )
        [built] = (build / "python" / "vantrel").glob("_vantrel*.so")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(built, target)


setup(
    version=project_version(),
    ext_modules=[Extension("vantrel._vantrel", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
