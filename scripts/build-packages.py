#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The Debian packages that building the program asks for, found from the
CMake files themselves: each pkg-config module of a pkg_check_modules(), each
program of a find_program() and each component of find_package(Qt6), mapped to
the package that holds it (dpkg -S). The tests, benchmarks and fuzz targets
are left out: the README's from-source build turns them off.

    scripts/build-packages.py            prints the packages, one a line
    scripts/build-packages.py --check README.md
                                         says where the README's from-source
                                         apt line differs (exit status 1)
"""

import pathlib
import re
import shutil
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
# What the CMake files cannot name: the tools that run them, and what the
# built program needs to run (the toolkit's display plugins, the keyboard data).
TOOLS = {"cmake", "g++", "make", "pkg-config"}
RUNNING = {"qt6-qpa-plugins", "qt6-wayland", "xkb-data"}
# Qt's own CMake package asks for these.
QT_NEEDS = {"libgl-dev"}


def cmake_files():
    yield ROOT / "CMakeLists.txt"
    for folder in ("src", "share", "cmake"):
        for path in sorted((ROOT / folder).rglob("*")):
            if path.name == "CMakeLists.txt" or path.suffix == ".cmake":
                yield path


def owner(path):
    # With /usr merged, /usr/bin/gzip is /bin/gzip to dpkg.
    names = [str(path)]
    if str(path).startswith("/usr/"):
        names.append(str(path)[len("/usr"):])
    for name in names:
        out = subprocess.run(["dpkg", "-S", name], capture_output=True, text=True)
        if out.returncode == 0:
            return out.stdout.split(":")[0]
    sys.exit(f"build-packages: no package holds {path}")


def pc_file(module):
    folder = subprocess.run(["pkg-config", "--variable=pcfiledir", module],
                            capture_output=True, text=True).stdout.strip()
    if not folder:
        sys.exit(f"build-packages: pkg-config knows no {module}")
    return pathlib.Path(folder) / f"{module}.pc"


def asked():
    packages = set()
    for path in cmake_files():
        text = path.read_text(encoding="utf-8")
        for args in re.findall(r"pkg_check_modules\((.*?)\)", text, re.S):
            words = args.split()[1:]
            for module in words:
                if module not in ("REQUIRED", "IMPORTED_TARGET", "QUIET"):
                    packages.add(owner(pc_file(module)))
        for args in re.findall(r"find_program\((.*?)\)", text, re.S):
            program = shutil.which(args.split()[1])
            if not program:
                sys.exit(f"build-packages: no program {args.split()[1]}")
            packages.add(owner(pathlib.Path(program).resolve()))
        for args in re.findall(r"find_package\(Qt6 (.*?)\)", text, re.S):
            for component in args.split():
                if component not in ("REQUIRED", "COMPONENTS"):
                    packages.add(owner(pc_file("Qt6" + component)))
    return packages | QT_NEEDS


def readme_packages(readme):
    text = pathlib.Path(readme).read_text(encoding="utf-8")
    match = re.search(r"^sudo apt install (cmake .*?)(?<!\\)\n", text, re.S | re.M)
    if not match:
        sys.exit(f"build-packages: no from-source apt line in {readme}")
    return set(match.group(1).replace("\\\n", " ").split())


def main():
    needed = asked()
    if len(sys.argv) == 3 and sys.argv[1] == "--check":
        listed = readme_packages(sys.argv[2])
        missing = sorted(needed - listed)
        extra = sorted(listed - needed - TOOLS - RUNNING)
        for package in missing:
            print(f"{sys.argv[2]}: the apt line lacks {package}, which the build asks for")
        for package in extra:
            print(f"{sys.argv[2]}: the apt line lists {package}, which no CMake file asks for")
        sys.exit(1 if missing or extra else 0)
    for package in sorted(needed | TOOLS):
        print(package)


if __name__ == "__main__":
    main()
