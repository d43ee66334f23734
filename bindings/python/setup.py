"""Builds the tessaro package (pyproject.toml holds its description) and adds
two files to what pip installs:

- tessaro/_install.py, naming where the libraries were at install time, so
  the installed package finds them with no environment variable: the folders
  of TESSARO_LIBRARY_PATH when it is set, else the build trees of the source
  tree the package is installed from (their bin folders, newest first);
- tessaro/shelf.tags, the sample shelf of the simulated reader
  (python3 -m tessaro --sim without a file), from that source tree.
"""
import os
import shutil
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parents[1]


def library_folders():
    named = [p for p in os.environ.get("TESSARO_LIBRARY_PATH", "").split(os.pathsep) if p]
    if named:
        return [str(Path(p).resolve()) for p in named]
    builds = []
    for cache in SOURCE.glob("*/CMakeCache.txt"):
        libraries = sorted((cache.parent / "bin").glob("libTessaro.so*"))
        if libraries:
            builds.append((libraries[0].stat().st_mtime, str(libraries[0].parent.resolve())))
    return [folder for _, folder in sorted(builds, reverse=True)]


class BuildWithLocations(build_py):
    def run(self):
        super().run()
        package = Path(self.build_lib) / "tessaro"
        (package / "_install.py").write_text(
            '"""Written by setup.py when the package was installed: where the libraries were."""\n'
            f"LIBRARY_FOLDERS = {library_folders()!r}\n")
        shelf = SOURCE / "sim" / "populations" / "shelf.tags"
        if shelf.is_file():
            shutil.copyfile(shelf, package / "shelf.tags")


setup(cmdclass={"build_py": BuildWithLocations})
