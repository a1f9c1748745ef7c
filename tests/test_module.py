"""The module tarvel_codec as Python sees it: attributes, documentation, signature, import."""

import ast
import importlib.machinery
import importlib.metadata
import importlib.util
import inspect
import os
import shutil
import subprocess
import sys
import sysconfig
import types
from pathlib import Path

import pytest

import tarvel_codec
from tarvel_codec import columnarize

DOC_LINES = [
    "Columnarize a row-oriented JSON payload (bytes or str), GIL released",
    "for the duration of the transform.",
    "",
    "Args:",
    "    payload: UTF-8 JSON bytes/str encoding a `list[dict]` of rows.",
    "    min_rows: Accepted for parity with the Python codec's signature;",
    "        not re-checked here (the Python caller already applied the",
    "        guard before calling this function).",
    "",
    "Returns:",
    '    UTF-8 JSON bytes encoding `{"columns", "rows", "constants"}`.',
    "",
    "Panic safety: the transform `columnarize_json` runs under fault",
    "containment, so an unexpected internal fault surfaces as an ordinary",
    "`RuntimeError` and memory exhaustion as `MemoryError`, never as an",
    "exception outside `Exception` that would silently bypass the",
    "`except Exception:` guard of the caller `columnar` and break the",
    '"a broken codec must never break a tool call" contract. The',
    "containment does not protect against a stack overflow, which aborts",
    "the process unconditionally and cannot be caught by any mechanism",
    "\u2014 a residual, documented limitation.",
]


def load_fresh(name, prepare=None):
    """Creates a new module object from the built library under `name`, lets `prepare` touch it,
    then runs the definition's execution step on it. Returns the module."""
    module_spec = importlib.util.spec_from_file_location(name, tarvel_codec.__file__)
    module = importlib.util.module_from_spec(module_spec)
    if prepare is not None:
        prepare(module)
    module_spec.loader.exec_module(module)
    return module


# --- module attributes --------------------------------------------------------------------------


def test_all_lists_only_columnarize():
    assert tarvel_codec.__all__ == ["columnarize"]
    assert type(tarvel_codec.__all__) is list


def test_module_doc_is_the_empty_string():
    assert tarvel_codec.__doc__ == ""


def test_star_import_brings_only_columnarize():
    namespace = {}
    exec("from tarvel_codec import *", namespace)
    assert sorted(set(namespace) - {"__builtins__"}) == ["columnarize"]
    assert namespace["columnarize"] is columnarize


def test_module_adds_nothing_but_columnarize_all_and_version():
    public = [name for name in dir(tarvel_codec) if not name.startswith("__")]
    assert public == ["columnarize"]
    assert "__all__" in vars(tarvel_codec)
    assert "__version__" in vars(tarvel_codec)


def test_version_is_the_installed_distribution_version():
    assert type(tarvel_codec.__version__) is str
    assert tarvel_codec.__version__ == importlib.metadata.version("tarvel_codec")
    assert load_fresh("tarvel_codec").__version__ == tarvel_codec.__version__


def test_module_is_an_extension_module():
    assert isinstance(tarvel_codec.__loader__, importlib.machinery.ExtensionFileLoader)
    assert tarvel_codec.__name__ == "tarvel_codec"


# --- the function object ------------------------------------------------------------------------


@pytest.mark.parametrize(
    ("attribute", "expected"),
    [
        ("__name__", "columnarize"),
        ("__qualname__", "columnarize"),
        ("__module__", "tarvel_codec"),
        ("__self__", None),
        ("__text_signature__", "(payload, min_rows=20)"),
    ],
)
def test_function_attribute(attribute, expected):
    assert getattr(columnarize, attribute) == expected


def test_function_is_a_builtin():
    assert type(columnarize) is types.BuiltinFunctionType
    assert inspect.isbuiltin(columnarize)


def test_doc_is_the_text_after_the_signature_lines():
    assert columnarize.__doc__ == "\n".join(DOC_LINES)


def test_doc_starts_with_its_summary_and_ends_with_the_limitation():
    doc = columnarize.__doc__
    assert doc.startswith("Columnarize a row-oriented JSON payload (bytes or str), GIL released")
    assert doc.endswith("\u2014 a residual, documented limitation.")
    assert not doc.endswith("\n")


def test_doc_closing_paragraph_has_nine_wrapped_lines():
    paragraph = columnarize.__doc__.split("\n\n")[-1].split("\n")
    assert len(paragraph) == 9
    assert paragraph[0].startswith("Panic safety: ")
    assert all(len(line) <= 72 for line in columnarize.__doc__.split("\n"))


def test_signature_has_payload_and_min_rows_with_default_20():
    signature = inspect.signature(columnarize)
    assert str(signature) == "(payload, min_rows=20)"
    payload, min_rows = signature.parameters.values()
    assert (payload.name, payload.kind, payload.default) == (
        "payload",
        inspect.Parameter.POSITIONAL_OR_KEYWORD,
        inspect.Parameter.empty,
    )
    assert (min_rows.name, min_rows.kind, min_rows.default) == (
        "min_rows",
        inspect.Parameter.POSITIONAL_OR_KEYWORD,
        20,
    )


# --- import facts -------------------------------------------------------------------------------


def test_only_the_init_function_is_exported():
    nm = shutil.which("nm")
    if nm is None or not sys.platform.startswith("linux"):
        pytest.skip("reads the dynamic symbols of an ELF library with nm (Linux)")
    listing = subprocess.run(
        [nm, "-D", "--defined-only", tarvel_codec.__file__], check=True, capture_output=True, text=True
    ).stdout
    symbols = [line.split()[-1] for line in listing.splitlines() if line.strip()]
    assert symbols == ["PyInit_tarvel_codec"]


def test_type_stub_is_installed_as_a_stub_package_beside_the_module():
    stub = Path(tarvel_codec.__file__).parent / "tarvel_codec-stubs" / "__init__.pyi"
    tree = ast.parse(stub.read_text(encoding="utf-8"))
    assigned = {
        node.targets[0].id: ast.literal_eval(node.value) for node in tree.body if isinstance(node, ast.Assign)
    }
    assert assigned == {"__all__": ["columnarize"]}
    (version,) = [node for node in tree.body if isinstance(node, ast.AnnAssign)]
    assert (version.target.id, ast.unparse(version.annotation), version.value) == ("__version__", "str", None)
    (function,) = [node for node in tree.body if isinstance(node, ast.FunctionDef)]
    assert ast.unparse(function.args) == "payload: bytes, min_rows: int=20"
    assert ast.unparse(function.returns) == "bytes"


def test_each_module_object_gets_its_own_function():
    fresh = load_fresh("tarvel_codec")
    assert fresh is not tarvel_codec
    assert fresh.__all__ == ["columnarize"]
    assert fresh.columnarize is not columnarize
    assert fresh.columnarize(b"[]") == columnarize(b"[]")


def test_module_name_inside_a_package_becomes_dunder_module():
    fresh = load_fresh("some_package.tarvel_codec")
    assert fresh.columnarize.__module__ == "some_package.tarvel_codec"
    assert fresh.columnarize.__qualname__ == "columnarize"


def test_execution_step_appends_to_an_existing_all():
    def prepare(module):
        module.__all__ = ["earlier"]

    assert load_fresh("tarvel_codec", prepare).__all__ == ["earlier", "columnarize"]


def test_execution_step_refuses_an_all_that_is_not_a_list():
    def prepare(module):
        module.__all__ = ("earlier",)

    with pytest.raises(TypeError) as info:
        load_fresh("tarvel_codec", prepare)
    assert str(info.value) == "'tuple' object is not an instance of 'list'"


def test_execution_step_fails_with_the_exception_of_reading_all():
    class Module(types.ModuleType):
        @property
        def __all__(self):
            raise ValueError("no export list here")

    def prepare(module):
        module.__class__ = Module

    with pytest.raises(ValueError, match="^no export list here$"):
        load_fresh("tarvel_codec", prepare)


def test_import_leaves_the_interpreter_lock_as_it_was():
    """The module declares that it needs no global lock: a build with the lock keeps it, and a
    build without it is not switched back to it by the import."""
    if not hasattr(sys, "_is_gil_enabled"):
        pytest.skip("this interpreter cannot tell whether its global lock is enabled (before 3.13)")
    code = "import sys; before = sys._is_gil_enabled(); import tarvel_codec; print(before, sys._is_gil_enabled())"
    environment = {key: value for key, value in os.environ.items() if key != "PYTHON_GIL"}
    out = subprocess.run(
        [sys.executable, "-W", "error", "-c", code], check=True, capture_output=True, text=True, env=environment
    ).stdout
    before, after = out.split()
    assert after == before
    assert before == str(sysconfig.get_config_var("Py_GIL_DISABLED") != 1)


def test_import_in_a_fresh_interpreter():
    code = "import tarvel_codec as t; print(t.__all__, t.columnarize(b'[]').decode())"
    out = subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, text=True).stdout
    assert out == "['columnarize'] {\"columns\":[],\"rows\":[],\"constants\":{}}\n"
