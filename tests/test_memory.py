"""Memory: no path of a call leaks, and a transform that cannot get its memory fails with MemoryError.

Each check runs in a fresh interpreter so that this process's own allocations stay out of the figures.
"""
import ctypes
import json
import os
import subprocess
import sys
import textwrap

import pytest

# Under the address sanitizer (preloaded) freed memory sits in quarantine and the address space
# is reserved in terabytes: resident figures and address-space caps say nothing there.
UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")

# The figures come from /proc and from glibc's mallinfo2 (glibc 2.33 and later).
if not sys.platform.startswith("linux") or not hasattr(ctypes.CDLL(None), "mallinfo2"):
    pytest.skip("memory figures need Linux's /proc and glibc 2.33 or later (mallinfo2)", allow_module_level=True)

PRELUDE = textwrap.dedent("""
    import ctypes, gc, json, os, resource, sys
    from tarvel_codec import columnarize as f
    PAGE = os.sysconf("SC_PAGE_SIZE")

    def statm(field):
        with open("/proc/self/statm") as s:
            return int(s.read().split()[field]) * PAGE

    class MallInfo2(ctypes.Structure):
        _fields_ = [(n, ctypes.c_size_t) for n in "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost".split()]

    _libc = ctypes.CDLL(None)
    _libc.mallinfo2.restype = MallInfo2

    def in_use():
        # Bytes handed out by malloc and not freed: exact, unlike the resident size.
        gc.collect()
        m = _libc.mallinfo2()
        return m.uordblks + m.hblkhd

    def outcome(*args, **kwargs):
        try:
            return type(f(*args, **kwargs)).__name__
        except Exception as e:
            return type(e).__name__
""")

FLAT = PRELUDE + textwrap.dedent("""
    A = lambda *args, **kwargs: (args, kwargs)
    SMALL = {
        "ok": ("bytes", [A(b'[{"a":1,"b":"x"},{"a":1,"b":null,"c":[1.5,{"d":true}]}]'), A(b"[]"), A(b"[{}]", 5),
                         A(payload=b'[{"k":"\\\\u00e9"},{"k":2}]', min_rows=0)]),
        "parse error": ("RuntimeError", [A(p) for p in (b"", b'[{"a":1,}]', b"[1", b'{"a":1}', b'["\\xff"]', b"[" * 200)]),
        "non-object row": ("RuntimeError", [A(b'[{"a":1},2]'), A(b"[[1,2]]"), A(b'[{},"str",{}]')]),
        "bad arguments": ("TypeError", [A("[]"), A(b"[]", None), A(b"[]", bogus=1), A(b"[]", 1, 2), A(None), A()]),
        "min_rows out of range": ("OverflowError", [A(b"[]", -1), A(b"[]", 2**64)]),
    }
    rows = b"[" + ",".join('{"id":%d,"name":"row %d","tags":["x",%d.5,null],"same":"c","s%d":true}' % (i, i, i, i % 50)
                          for i in range(8000)).encode()
    LARGE = {  # payloads near 1 MB
        "large ok": ("bytes", [A(rows + b"]")]),
        "large failing": ("RuntimeError", [A(rows + b"]x"), A(rows + b',[1,{"b":2}]]'), A(rows + b"," + b"[" * 300)]),
    }

    def phase(table, calls):
        for name, (want, cases) in table.items():
            for args, kwargs in cases:
                for _ in range(calls // len(cases)):
                    got = outcome(*args, **kwargs)
                assert got == want, (name, args[:1], kwargs, got)
            yield name

    for _ in phase(SMALL, 20_000): pass
    for _ in phase(LARGE, 15): pass
    grown = {}
    for names in (phase(SMALL, 200_000), phase(LARGE, 150)):
        before = (statm(1), in_use())
        for name in names:
            grown[name] = [a - b for a, b in zip((statm(1), in_use()), before)]
            before = (statm(1), in_use())
    print(json.dumps(grown))
""")


def run(script, *args):
    proc = subprocess.run([sys.executable, "-c", script, *args], capture_output=True, text=True, timeout=900)
    assert proc.returncode == 0, proc.stderr[-3000:]
    return json.loads(proc.stdout.splitlines()[-1])


@pytest.mark.skipif(UNDER_ASAN, reason="the address sanitizer keeps freed memory in quarantine")
def test_resident_memory_stays_flat_on_every_path():
    # A million small calls (200 000 per kind of outcome) and 300 calls on payloads near 1 MB.
    grown = run(FLAT)
    assert len(grown) == 7
    # [resident growth, malloc'd bytes growth] per kind of outcome; one leaked block per call would be megabytes.
    assert all(rss < 2 * 2**20 and heap < 256 * 2**10 for rss, heap in grown.values()), grown


LIMITED = PRELUDE + textwrap.dedent("""
    kind, headroom = sys.argv[1], int(sys.argv[2])
    if kind == "sparse":  # one distinct key per row: a table of n*n cells
        payload = ("[" + ",".join('{"k%d":1}' % i for i in range(100_000)) + "]").encode()
    else:  # a 20 MB payload: its output alone is larger than the headroom
        payload = b'[{"k":[' + b"0," * 10_000_000 + b'0]}]'
    small = b'[{"a":1,"b":2},{"a":1,"b":3}]'
    f(small)
    limit = statm(0) + len(payload) + headroom
    resource.setrlimit(resource.RLIMIT_AS, (limit, resource.getrlimit(resource.RLIMIT_AS)[1]))
    outcomes, used = [], [in_use()]
    for _ in range(4):
        outcomes.append(outcome(payload))
        used.append(in_use())
    outcomes.append(f(small).decode())
    print(json.dumps({"outcomes": outcomes, "in_use": used}))
""")


@pytest.mark.skipif(UNDER_ASAN, reason="the address sanitizer reserves terabytes")
@pytest.mark.parametrize("kind, headroom", [("big", 8 * 2**20), ("sparse", 2 * 2**30)])
def test_transform_out_of_memory_raises_and_the_interpreter_goes_on(kind, headroom):
    got = run(LIMITED, kind, str(headroom))
    assert got["outcomes"] == ["MemoryError"] * 4 + ['{"columns":["b"],"rows":[[2],[3]],"constants":{"a":1}}']
    # A failed transform gives back everything it took.
    assert max(got["in_use"]) - got["in_use"][0] < 256 * 2**10, got["in_use"]


REUSED = PRELUDE + textwrap.dedent("""
    # A payload joined once from small pieces, which stay alive: nothing this script frees
    # raises malloc's thresholds first, so the calls alone decide whether the heap is handed
    # back each time.
    def rows(n, pretty):
        pieces = [b'{"id":%d,"name":"row %d","tags":["x",%d.5,null],"note":"%s"}' % (i, i, i, b"ab" * (i % 9))
                  for i in range(n)]
        pieces[0] = b"[" + pieces[0]
        pieces[-1] = pieces[-1] + b"]"
        return pieces, (b",\\n  " if pretty else b",").join(pieces)
    count, pretty, smaller_first = int(sys.argv[1]), sys.argv[2] == "pretty", int(sys.argv[3])
    if smaller_first:  # a process that has handled smaller payloads before
        for _ in range(3):
            f(rows(smaller_first, False)[1])
    pieces, payload = rows(count, pretty)
    for _ in range(3):
        f(payload)
    before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    for _ in range(20):
        f(payload)
    print(json.dumps((resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before) / 20))
""")


@pytest.mark.skipif(UNDER_ASAN, reason="the address sanitizer has an allocator of its own")
@pytest.mark.parametrize("rows, layout, smaller_first", [(500, "compact", 0), (1300, "compact", 0), (1200, "pretty", 0),
                                                         (26000, "compact", 1300)],
                         ids=["40KB", "100KB", "100KB-pretty", "2MB-after-100KB"])
def test_calls_on_mid_size_payloads_reuse_their_memory(rows, layout, smaller_first):
    # A call's memory, taken piece by piece, once made glibc hand the heap's top back to the
    # system at the end of every call on payloads from tens of KiB to a few MiB: the next call
    # faulted its pages in again (3 to 18 faults a call here at 40 and 100 KB, 880 at 2 MB, and
    # up to 45% of the call's time).
    assert run(REUSED, str(rows), layout, str(smaller_first)) < 1


THREADS = PRELUDE + textwrap.dedent("""
    import threading
    def calls_on_new_threads(count):
        for _ in range(count):
            t = threading.Thread(target=f, args=(b'[{"a":1},{"a":2}]',))
            t.start()
            t.join()
    calls_on_new_threads(200)
    before = in_use()
    calls_on_new_threads(3000)
    print(json.dumps(in_use() - before))
""")


@pytest.mark.skipif(UNDER_ASAN, reason="the address sanitizer keeps freed memory in quarantine")
def test_threads_that_end_give_back_what_their_calls_kept():
    # A thread keeps some memory from its last call for its next; 3000 threads that called once
    # and ended would have left tens of megabytes behind.
    assert run(THREADS) < 1 * 2**20
