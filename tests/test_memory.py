"""Memory: no path of a call leaks, and a transform that cannot get its memory fails with MemoryError.

Each check runs in a fresh interpreter so that this process's own allocations stay out of the figures.
"""
import json
import subprocess
import sys
import textwrap

import pytest

try:
    from tarvel_codec import columnarize
    columnarize(b'[{"a":1}]')
    _built = True
except Exception:
    _built = False
pytestmark = pytest.mark.skipif(not _built, reason="transform not built")

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

    def call(*args, **kwargs):
        try:
            return f(*args, **kwargs)
        except Exception as e:
            return type(e).__name__
""")

FLAT = PRELUDE + textwrap.dedent("""
    rows = ",".join('{"id":%d,"name":"row %d","tags":["x",%d.5,null],"same":"c","s%d":true}' % (i, i, i, i % 50)
                    for i in range(8000))
    SMALL = {
        "ok": [((b'[{"a":1,"b":"x"},{"a":1,"b":null,"c":[1.5,{"d":true}]}]',), {}), ((b"[]",), {}),
               ((b"[{}]", 5), {}), ((), {"payload": b'[{"k":"\\\\u00e9"},{"k":2}]', "min_rows": 0})],
        "parse error": [((p,), {}) for p in (b"", b'[{"a":1,}]', b"[1", b'{"a":1}', b'[{"a":"\\xff"}]', b"[" * 200)],
        "non-object row": [((p,), {}) for p in (b'[{"a":1},2]', b"[[1,2]]", b'[{},"str",{}]')],
        "bad arguments": [(("[]",), {}), ((b"[]", -1), {}), ((b"[]", 2**64), {}), ((b"[]", None), {}),
                          ((b"[]",), {"bogus": 1}), ((b"[]", 1, 2), {}), ((None,), {})],
    }
    LARGE = {
        "ok": b"[" + rows.encode() + b"]",
        "parse error": b"[" + rows.encode() + b"]x",
        "non-object row": b"[" + rows.encode() + b',[1,{"b":2}]]',
        "recursion": b"[" + rows.encode() + b"," + b"[" * 300,
    }
    EXPECT = {"ok": bytes, "parse error": "RuntimeError", "non-object row": "RuntimeError", "recursion": "RuntimeError"}

    def small(n):
        for name, cases in SMALL.items():
            for args, kwargs in cases:
                for _ in range(n // len(cases)):
                    r = call(*args, **kwargs)
                want = EXPECT.get(name, "TypeError" if args[1:2] not in [(-1,), (2**64,)] else "OverflowError")
                assert type(r) is want if want is bytes else r == want, (name, args, kwargs, r)
            r = None
            yield name

    def large(n):
        for name, payload in LARGE.items():
            for _ in range(n):
                r = call(payload)
            assert type(r) is EXPECT[name] if name == "ok" else r == EXPECT[name], (name, r)
            r = None
            yield name

    for _ in small(25_000): pass
    for _ in large(10): pass
    grown = {}
    for phase in (small(250_000), large(75)):
        before = (statm(1), in_use())
        for name in phase:
            after = (statm(1), in_use())
            grown[name] = [a - b + g for a, b, g in zip(after, before, grown.get(name, (0, 0)))]
            before = after
    print(json.dumps(grown))
""")


def run(script, *args):
    proc = subprocess.run([sys.executable, "-c", script, *args], capture_output=True, text=True, timeout=900)
    assert proc.returncode == 0, proc.stderr[-3000:]
    return json.loads(proc.stdout.splitlines()[-1])


def test_resident_memory_stays_flat_on_every_path():
    # About a million small calls (250 000 per kind of outcome) and 300 calls on payloads near 1 MB.
    grown = run(FLAT)
    assert set(grown) == {"ok", "parse error", "non-object row", "bad arguments", "recursion"}
    # [resident growth, malloc'd bytes growth] per kind of outcome; one leaked block per call would be megabytes.
    assert all(rss < 2 * 2**20 and heap < 256 * 2**10 for rss, heap in grown.values()), grown


LIMITED = PRELUDE + textwrap.dedent("""
    kind, headroom = sys.argv[1], int(sys.argv[2])
    if kind == "sparse":  # one distinct key per row: a table of n*n cells
        payload = ("[" + ",".join('{"k%d":1}' % i for i in range(100_000)) + "]").encode()
    else:  # a 20 MB payload whose parsed tree alone needs far more than the headroom
        payload = b'[{"k":[' + b"0," * 10_000_000 + b'0]}]'
    small = b'[{"a":1,"b":2},{"a":1,"b":3}]'
    f(small)
    limit = statm(0) + len(payload) + headroom
    resource.setrlimit(resource.RLIMIT_AS, (limit, resource.getrlimit(resource.RLIMIT_AS)[1]))
    outcomes, used = [], [in_use()]
    for _ in range(4):
        outcomes.append(call(payload))
        used.append(in_use())
    outcomes.append(call(small))
    print(json.dumps({"outcomes": [o if isinstance(o, str) else o.decode() for o in outcomes], "in_use": used}))
""")


@pytest.mark.parametrize("kind, headroom", [("big", 32 * 2**20), ("sparse", 2 * 2**30)])
def test_transform_out_of_memory_raises_and_the_interpreter_goes_on(kind, headroom):
    got = run(LIMITED, kind, str(headroom))
    assert got["outcomes"] == ["MemoryError"] * 4 + ['{"columns":["b"],"rows":[[2],[3]],"constants":{"a":1}}']
    # A failed transform gives back everything it took.
    assert max(got["in_use"]) - got["in_use"][0] < 256 * 2**10, got["in_use"]
