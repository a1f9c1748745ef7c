"""Concurrent calls answer exactly as a lone call does, for results and failures alike."""
import random
import threading
import time

from tarvel_codec import columnarize


def _rows(n, seed):
    rng = random.Random(seed)
    return ",".join(
        '{"id":%d,"g":"%s","k%d":%r,"c":[1,{"x":null}],"n":%s,"deep":%s}'
        % (i, rng.choice(["a", "b", "\\u00e9", "x\\ty"]), i % 40, i * 0.25, rng.choice(["null", "1", "1.0", '"1"']),
           "[" * (i % 60) + "0" + "]" * (i % 60))
        for i in range(n))


def _cases():
    big, medium = _rows(20_000, 1), _rows(300, 2)
    payloads = [
        b"[]", b"[{}]", b'[{"a":1},{"a":1.0,"b":"\\u00e9"}]', ("[" + medium + "]").encode(),
        ("[" + big + "]").encode(), ("[" + medium + "," + medium + "]").encode(),
        ("[" + big + ',{"id":}]').encode(), ("[" + big + ",7]").encode(), ("[" + medium + "]]").encode(),
        ("[" + medium + "," + "[" * 130).encode(), ('[{"a":' + "[" * 125 + "]" * 125 + "}]").encode(),
        b"", b" \n\t ", b"[", b'{"a":1}', b'[{"a":"\xff"}]', b'[{"a":1e400}]', b"[[1,2]]",
    ]
    return [((p,), {}) for p in payloads] + [
        (("[]",), {}), ((b"[]", -1), {}), ((b"[]", 2**64), {}), ((), {"payload": b"[{}]", "min_rows": 3}),
    ]


def outcome(args, kwargs):
    try:
        return "ok", columnarize(*args, **kwargs)
    except Exception as e:
        return type(e), e.args, getattr(e, "__notes__", None)


def test_concurrent_calls_match_single_threaded_results():
    cases = _cases()
    expected = [outcome(*c) for c in cases]
    assert sum(e[0] == "ok" for e in expected) >= 6 and sum(e[0] is RuntimeError for e in expected) >= 10
    threads_n, seconds = 4, 3.0
    barrier = threading.Barrier(threads_n)
    passes, mismatches, crashes = [0] * threads_n, [], []

    def hammer(t):
        try:
            order = list(range(len(cases)))
            rng = random.Random(t)
            barrier.wait()
            deadline = time.monotonic() + seconds
            while passes[t] == 0 or time.monotonic() < deadline:
                rng.shuffle(order)
                for i in order:
                    got = outcome(*cases[i])
                    if got != expected[i]:
                        mismatches.append((t, i, str(got)[:200]))
                passes[t] += 1
        except BaseException as e:  # reported below, not lost in the thread
            crashes.append(repr(e))

    threads = [threading.Thread(target=hammer, args=(t,)) for t in range(threads_n)]
    for th in threads:
        th.start()
    for th in threads:
        th.join()
    assert not crashes and not mismatches, (crashes, mismatches[:5])
    assert min(passes) >= 1
