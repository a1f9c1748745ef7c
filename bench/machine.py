"""One line about the machine, so figures are never quoted without their context."""
from __future__ import annotations

import os
import platform
from importlib import metadata
from pathlib import Path


def cpu_model() -> str:
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine()


def usable_cpus() -> int:
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1


def load_average() -> str:
    try:
        return "{:.2f} {:.2f} {:.2f}".format(*os.getloadavg())
    except OSError:
        return "unknown"


def package_version(name: str) -> str:
    try:
        return metadata.version(name)
    except metadata.PackageNotFoundError:
        return "missing"


def describe() -> str:
    versions = ", ".join(f"{n} {package_version(n)}" for n in ("tarvel_codec", "orjson", "pysimdjson"))
    return (f"machine: {cpu_model()}, nproc {usable_cpus()}, load {load_average()}\n"
            f"python {platform.python_version()} ({platform.python_implementation()}); {versions}")
