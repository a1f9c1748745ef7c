"""The columnarize call: binding, conversion, notes, error types, the released lock and
fault containment.

Fault containment is driven through _tarvel_codec_faults, a test-only module built from
tests/fault_module/ with -DTC_TEST_HOOKS=ON: the shipped call path around a transform that fails on
demand (the shipped module has no such hook).
"""

import gc
import importlib.machinery
import importlib.util
import json
import os
import shutil
import subprocess
import sys
import sysconfig
import threading
from pathlib import Path

import pytest

from tarvel_codec import columnarize

ROOT = Path(__file__).resolve().parents[1]
EMPTY_DOC = b'{"columns":[],"rows":[],"constants":{}}'
NOTES = sys.version_info >= (3, 11)  # older interpreters have no add_note: no note, same exception


def notes_of(exc):
    return getattr(exc, "__notes__", None)


def expected_notes(parameter):
    return [f"while processing '{parameter}'"] if NOTES else None


class Index:
    """An object that is not an int but converts through the index protocol."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class RaisingIndex:
    def __index__(self):
        raise ValueError("index refused")


class IntSub(int):
    pass


class BytesSub(bytes):
    pass


class KeywordStr(str):
    pass


class Outer:
    class Inner:
        pass


class RaisingQualname(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise AttributeError("hidden")
        return super().__getattribute__(name)


class NonTextQualname(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            return 42
        return super().__getattribute__(name)


class Hidden(metaclass=RaisingQualname):
    pass


class Odd(metaclass=NonTextQualname):
    pass


def call_error(args, kwargs):
    with pytest.raises(BaseException) as info:
        columnarize(*args, **kwargs)
    return info.value


# --- binding ------------------------------------------------------------------------------------

COUNT_3 = "columnarize() takes from 1 to 2 positional arguments but 3 were given"
MISSING = "columnarize() missing 1 required positional argument: 'payload'"
MULTIPLE_PAYLOAD = "columnarize() got multiple values for argument 'payload'"
MULTIPLE_MIN_ROWS = "columnarize() got multiple values for argument 'min_rows'"


def unexpected(name):
    return f"columnarize() got an unexpected keyword argument '{name}'"


BINDING_ERRORS = [
    pytest.param((b"[]", 1, 2), {}, COUNT_3, id="three-positional"),
    pytest.param((b"[]", 1, 2, 3), {}, COUNT_3.replace("3 were", "4 were"), id="four-positional"),
    pytest.param((b"[]", 1, 2), {"bogus": 1}, COUNT_3, id="count-before-keywords"),
    pytest.param((None, None, None), {}, COUNT_3, id="count-before-conversion"),
    pytest.param((), {}, MISSING, id="no-arguments"),
    pytest.param((), {"min_rows": 1}, MISSING, id="only-min-rows"),
    pytest.param((b"[]",), {"payload": b"[]"}, MULTIPLE_PAYLOAD, id="payload-twice"),
    pytest.param((b"[]", 1), {"min_rows": 1}, MULTIPLE_MIN_ROWS, id="min-rows-twice"),
    pytest.param((b"[]",), {"Payload": b"[]"}, unexpected("Payload"), id="case-sensitive"),
    pytest.param((b"[]",), {"min_rows ": 1}, unexpected("min_rows "), id="trailing-space"),
    pytest.param((b"[]",), {"payload\0": 1}, unexpected("payload\0"), id="embedded-nul"),
    pytest.param((), {"Payload": b"[]"}, unexpected("Payload"), id="keywords-before-missing"),
    pytest.param((), {"min_rows": 1, "bogus": 2}, unexpected("bogus"), id="keywords-before-missing-2"),
    pytest.param((b"[]",), {"bogus": 1, "payload": 1}, unexpected("bogus"), id="keyword-order-1"),
    pytest.param((b"[]",), {"payload": 1, "bogus": 1}, MULTIPLE_PAYLOAD, id="keyword-order-2"),
    pytest.param((), {"payload": "not bytes", "bogus": 1}, unexpected("bogus"), id="binding-before-conversion"),
    pytest.param((), {"\udcff": 1}, unexpected("\ufffd\ufffd\ufffd"), id="name-without-utf8"),
    pytest.param((), {"caf\u00e9": 1}, unexpected("caf\u00e9"), id="non-ascii-name"),
]


@pytest.mark.parametrize(("args", "kwargs", "message"), BINDING_ERRORS)
def test_binding_error(args, kwargs, message):
    exc = call_error(args, kwargs)
    assert type(exc) is TypeError
    assert exc.args == (message,)
    assert notes_of(exc) is None


# --- conversion ---------------------------------------------------------------------------------

PAYLOAD_ERRORS = [
    pytest.param("[]", "'str' object is not an instance of 'bytes'", id="str"),
    pytest.param(bytearray(b"[]"), "'bytearray' object is not an instance of 'bytes'", id="bytearray"),
    pytest.param(memoryview(b"[]"), "'memoryview' object is not an instance of 'bytes'", id="memoryview"),
    pytest.param(None, "'None' is not an instance of 'bytes'", id="none"),
    pytest.param(7, "'int' object is not an instance of 'bytes'", id="int"),
    pytest.param([b"[]"], "'list' object is not an instance of 'bytes'", id="list"),
    pytest.param(Outer.Inner(), "'Outer.Inner' object is not an instance of 'bytes'", id="qualified-name"),
    pytest.param(Hidden(), "'<failed to extract type name>' object is not an instance of 'bytes'", id="raising-qualname"),
    pytest.param(Odd(), "'<failed to extract type name>' object is not an instance of 'bytes'", id="non-text-qualname"),
]


@pytest.mark.parametrize(("payload", "message"), PAYLOAD_ERRORS)
def test_payload_not_bytes(payload, message):
    for args, kwargs in (((payload,), {}), ((), {"payload": payload}), ((payload, 5), {})):
        exc = call_error(args, kwargs)
        assert type(exc) is TypeError
        assert exc.args == (message,)
        assert notes_of(exc) == expected_notes("payload")


def test_payload_type_name_of_a_local_class_is_qualified():
    class Local:
        pass

    exc = call_error((Local(),), {})
    assert str(exc) == (
        "'test_payload_type_name_of_a_local_class_is_qualified.<locals>.Local' object is not an instance of 'bytes'"
    )


MIN_ROWS_ERRORS = [
    pytest.param(-1, OverflowError, None, id="negative"),
    pytest.param(2**64, OverflowError, None, id="two-to-the-64"),
    pytest.param(-(2**70), OverflowError, None, id="large-negative"),
    pytest.param(Index(-1), OverflowError, None, id="index-negative"),
    pytest.param(Index(2**64), OverflowError, None, id="index-too-big"),
    pytest.param(None, TypeError, "'NoneType' object cannot be interpreted as an integer", id="none"),
    pytest.param(1.5, TypeError, "'float' object cannot be interpreted as an integer", id="float"),
    pytest.param("3", TypeError, "'str' object cannot be interpreted as an integer", id="str"),
    pytest.param(RaisingIndex(), ValueError, "index refused", id="index-raises"),
    pytest.param(Index(1.5), TypeError, "__index__ returned non-int (type float)", id="index-non-int"),
]


@pytest.mark.parametrize(("min_rows", "error", "message"), MIN_ROWS_ERRORS)
def test_min_rows_rejected(min_rows, error, message):
    for args, kwargs in (((b"[]", min_rows), {}), ((b"[]",), {"min_rows": min_rows})):
        exc = call_error(args, kwargs)
        assert type(exc) is error
        if message is not None:
            assert exc.args == (message,)
        assert notes_of(exc) == expected_notes("min_rows")


@pytest.mark.parametrize(("payload", "min_rows"), [(None, None), ("[]", -1), (1, 2**64), (bytearray(), 1.5)])
def test_payload_error_wins_over_min_rows_error(payload, min_rows):
    exc = call_error((payload, min_rows), {})
    assert type(exc) is TypeError
    assert str(exc).endswith("is not an instance of 'bytes'")
    assert notes_of(exc) == expected_notes("payload")


MIN_ROWS_ACCEPTED = [0, 1, 20, True, False, 2**64 - 1, IntSub(3), Index(7), Index(0), Index(2**64 - 1)]


@pytest.mark.parametrize("min_rows", MIN_ROWS_ACCEPTED, ids=repr)
def test_min_rows_never_changes_the_result(min_rows):
    assert columnarize(b"[]", min_rows) == EMPTY_DOC
    assert columnarize(b"[]", min_rows=min_rows) == EMPTY_DOC
    assert columnarize(min_rows=min_rows, payload=b"[]") == EMPTY_DOC


@pytest.mark.parametrize(
    ("args", "kwargs"),
    [
        ((b"[]",), {}),
        ((b"[]", 5), {}),
        ((), {"payload": b"[]"}),
        ((), {"payload": b"[]", "min_rows": 5}),
        ((), {"min_rows": 5, "payload": b"[]"}),
        ((b"[]",), {"min_rows": 5}),
        ((BytesSub(b"[]"),), {}),
        ((), {KeywordStr("payload"): b"[]", KeywordStr("min_rows"): 5}),
    ],
)
def test_every_binding_gives_the_same_bytes(args, kwargs):
    result = columnarize(*args, **kwargs)
    assert type(result) is bytes
    assert result == EMPTY_DOC


# --- the transform's result and errors ----------------------------------------------------------


@pytest.mark.parametrize("payload", [b"", b"  ", b"not json", b"[1]", b"[]x", b"\0"])
def test_rejected_payload_raises_exactly_runtime_error(payload):
    exc = call_error((payload,), {})
    assert type(exc) is RuntimeError
    assert len(exc.args) == 1 and type(exc.args[0]) is str
    assert str(exc) == exc.args[0]
    assert notes_of(exc) is None


def test_empty_payload_reaches_the_transform_as_an_empty_sequence():
    exc = call_error((b"",), {})
    assert exc.args == ("invalid row-oriented JSON: EOF while parsing a value at line 1 column 0",)


def test_calls_keep_no_references():
    payload, min_rows, bad = b"".join([b"[", b"]"]), Index(3), bytearray(b"[]")  # fresh objects
    gc.collect()
    before = [sys.getrefcount(obj) for obj in (payload, min_rows, bad)]
    for _ in range(1000):
        columnarize(payload, min_rows)
        for args in ((payload, Index(-1)), (bad,), (b"nope",)):
            with pytest.raises(Exception):
                columnarize(*args)
    assert [sys.getrefcount(obj) for obj in (payload, min_rows, bad)] == before


# --- fault containment, through the test-only module --------------------------------------------


def _build_fault_module(build_dir):
    cmake = shutil.which("cmake")
    if cmake is None:
        pytest.skip("cmake is not installed: cannot build the test-only module _tarvel_codec_faults")
    if not any(shutil.which(cxx) for cxx in (os.environ.get("CXX", ""), "c++", "g++", "clang++") if cxx):
        pytest.skip("no C++ compiler: cannot build the test-only module _tarvel_codec_faults")
    if not Path(sysconfig.get_paths()["include"], "Python.h").exists():
        pytest.skip("no Python headers: cannot build the test-only module _tarvel_codec_faults")
    generator = ["-G", "Ninja"] if shutil.which("ninja") else []
    # Where the suite runs against a sanitizer build of the module, this one is built so too.
    build = (["-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DTC_SANITIZE=ON"] if os.environ.get("TC_TEST_MODULE_SANITIZE")
             else ["-DCMAKE_BUILD_TYPE=Release"])
    commands = [
        [cmake, "-S", str(ROOT), "-B", str(build_dir), *generator, *build,
         "-DTC_MODULE=ON", "-DTC_TEST_HOOKS=ON", "-DTC_BUILD_TESTS=OFF", "-DTC_BUILD_FUZZ=OFF",
         f"-DPython_EXECUTABLE={sys.executable}"],
        [cmake, "--build", str(build_dir), "--target", "_tarvel_codec_faults"],
    ]
    for command in commands:
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            pytest.fail(f"{' '.join(command)} failed:\n{done.stdout}\n{done.stderr}", pytrace=False)
    suffix = importlib.machinery.EXTENSION_SUFFIXES[0]
    (library,) = build_dir.glob(f"_tarvel_codec_faults{suffix}")
    return library


@pytest.fixture(scope="session")
def faults(tmp_path_factory):
    """The module _tarvel_codec_faults, built from this checkout into a scratch directory."""
    library = _build_fault_module(tmp_path_factory.mktemp("fault-module-build"))
    module_spec = importlib.util.spec_from_file_location("_tarvel_codec_faults", library)
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


PANIC = "internal panic during columnarization: "

FAULTS = [
    pytest.param(b"fault:layout invariant broken", "layout invariant broken", id="internal-fault"),
    pytest.param(b"fault:", "", id="internal-fault-empty-text"),
    pytest.param(b"fault:caf\xc3\xa9", "caf\u00e9", id="internal-fault-utf8"),
    pytest.param(b"fault:bad \xff byte", "bad \ufffd byte", id="internal-fault-invalid-utf8"),
    pytest.param(b"runtime:std runtime error", "std runtime error", id="std-exception"),
    pytest.param(b"non-std", "unknown panic in columnarize_json", id="non-std-exception"),
]


@pytest.mark.parametrize(("payload", "fault_text"), FAULTS)
def test_internal_fault_becomes_runtime_error(faults, payload, fault_text):
    with pytest.raises(Exception) as info:
        faults.columnarize(payload)
    exc = info.value
    assert type(exc) is RuntimeError
    assert exc.args == (PANIC + fault_text,)
    assert notes_of(exc) is None


def test_internal_fault_is_reported_once_on_stderr(faults, capfd):
    with pytest.raises(RuntimeError):
        faults.columnarize(b"fault:reported fault")
    assert capfd.readouterr().err.count("reported fault") == 1


def test_memory_exhaustion_becomes_memory_error_and_the_process_goes_on(faults):
    for _ in range(3):
        with pytest.raises(MemoryError) as info:
            faults.columnarize(b"bad-alloc")
        assert type(info.value) is MemoryError
        assert faults.columnarize(b"after") == b"after"


@pytest.mark.parametrize(
    "text", ["rejected payload", "", "caf\u00e9 \u2014 \U0001f600", "expected a JSON object row, got: [1]"]
)
def test_error_text_is_raised_unchanged(faults, text):
    with pytest.raises(RuntimeError) as info:
        faults.columnarize(b"error:" + text.encode())
    assert type(info.value) is RuntimeError
    assert info.value.args == (text,)


@pytest.mark.parametrize("payload", [b"", b"\0", b"a\0b", b"[]\0[]", bytes(range(256))], ids=repr)
def test_transform_sees_exactly_the_payload_bytes(faults, payload):
    # The fault module's transform echoes what it was given.
    assert faults.columnarize(payload) == payload
    assert faults.columnarize(BytesSub(payload)) == payload
    assert type(faults.columnarize(BytesSub(payload))) is bytes


def test_fault_module_uses_the_same_call_path(faults):
    exc = call_error((b"[]", 1, 2), {})
    with pytest.raises(TypeError) as info:
        faults.columnarize(b"[]", 1, 2)
    assert info.value.args == exc.args
    assert faults.columnarize.__text_signature__ == columnarize.__text_signature__


# --- the lock is released while the transform runs -----------------------------------------------


@pytest.mark.parametrize(
    ("payload", "document"),
    [
        pytest.param(b"wait", b"signalled", id="while-reading"),
        pytest.param(b"wait-in-write:%d" % (64 * 1024), b"x" * (64 * 1024), id="while-writing-the-result-bytes"),
    ],
)
def test_other_threads_run_python_while_the_transform_runs(faults, payload, document):
    # The call waits inside its transform until another call, made from Python by this thread,
    # signals it. Had the waiting call kept the lock, this thread could run no Python code and
    # never signal: the wait would give up and the call return another document.
    results = []
    waiter = threading.Thread(target=lambda: results.append(faults.columnarize(payload)))
    waiter.start()
    try:
        signalled = faults.columnarize(b"signal")
    finally:
        waiter.join()
    assert signalled == b"signal"
    assert results == [document]



@pytest.mark.parametrize("size", [16, 16 * 1024, 16 * 1024 + 1, 256 * 1024, 3_000_000])
def test_documents_small_and_large_arrive_whole(faults, size):
    # Above the direct-write threshold the document is written into the result bytes.
    result = faults.columnarize(b"big:%d" % size)
    assert type(result) is bytes and result == b"x" * size


@pytest.mark.parametrize("size", [100, 3_000_000])
def test_fault_while_writing_the_document_becomes_runtime_error(faults, size):
    with pytest.raises(RuntimeError) as exc:
        faults.columnarize(b"write-fault:%d" % size)
    assert exc.type is RuntimeError and exc.value.args == (PANIC + "write",)
    assert faults.columnarize(b"after") == b"after"


def test_document_too_large_for_memory_is_memory_error(faults):
    # The result bytes are allocated before a byte is written: an impossible size fails at once.
    with pytest.raises(MemoryError):
        faults.columnarize(b"big:%d" % (1 << 62))
    assert faults.columnarize(b"after") == b"after"


# --- a document size that disagrees with the rows ----------------------------------------------


def _table(rows):
    """Rows with gaps, a constant, cells long and short, and a last row out of column order."""
    table = [{"id": i, "kind": "k", "name": "n" * (i % 40), "v": i * 0.5 if i % 3 else None, f"s{i % 7}": [i]}
             for i in range(rows)]
    table.append({"s3": "a last row out of column order, with a long cell", "id": -1, "kind": "k"})
    return json.dumps(table).encode()


SMALL_TABLE, LARGE_TABLE, HUGE_TABLE = _table(5), _table(600), _table(20_000)


@pytest.mark.parametrize(
    "payload",
    [pytest.param(SMALL_TABLE, id="small"), pytest.param(LARGE_TABLE, id="large"), pytest.param(HUGE_TABLE, id="huge")],
)
def test_misstated_document_size_is_an_internal_fault(faults, payload):
    document = columnarize(payload)
    assert (len(document) <= 16 * 1024) == (payload is SMALL_TABLE)  # both ways of writing are covered
    assert faults.columnarize(b"size:+0:" + payload) == document
    size = len(document)
    # Short by every count of bytes up to 100 (the huge one: a few), by half and by all but one;
    # long by one and by many.
    shortfalls = (1, 2, 33) if payload is HUGE_TABLE else range(1, 101)
    for delta in (*(-n for n in shortfalls), -(size // 2), -(size - 1), 1, 1000):
        with pytest.raises(Exception) as info:
            faults.columnarize(b"size:%+d:" % delta + payload)
        assert type(info.value) is RuntimeError
        assert info.value.args == (PANIC + "document size mismatch",), delta
    # Nothing was written past the buffers: the interpreter and both modules go on as before.
    gc.collect()
    assert faults.columnarize(b"size:+0:" + payload) == document
    assert columnarize(payload) == document

