"""Object lifetime, memory, concurrency from Python threads, and the module's
documentation and type stubs."""

import ast
import os
import sys
import threading

import numpy as np
import pytest

import lumutil


def resident_kib():
    with open("/proc/self/statm") as f:
        pages = int(f.read().split()[1])
    return pages * os.sysconf("SC_PAGE_SIZE") // 1024


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
@pytest.mark.skipif("LD_PRELOAD" in os.environ, reason="the sanitizer runtime holds freed memory in quarantine")
def test_create_evaluate_drop_cycles_keep_memory_and_references_stable():
    rng = np.random.default_rng(7)
    x, y = rng.random(40), rng.random(40)
    z = np.sin(5 * x) * y
    xo, yo = rng.random(200), rng.random(200)
    refs = [sys.getrefcount(a) for a in (x, y, z, xo, yo)]

    def cycle(count):
        for i in range(count):
            surface = lumutil.ScatteredSurface(x, y, z, method="linear" if i % 3 == 0 else "smooth")
            surface(xo, yo)
            surface.grid(xo[:7], yo[:5])
            surface.with_values(z + i)(xo[:3], yo[:3])
            _ = surface.triangles, surface.derivatives
            del surface

    cycle(500)  # warm up allocators and caches
    before = resident_kib()
    cycle(10_000)
    grown = resident_kib() - before
    assert grown < 8 * 1024, f"resident memory grew by {grown} KiB over 10^4 cycles"
    assert [sys.getrefcount(a) for a in (x, y, z, xo, yo)] == refs
    assert lumutil._live_surfaces() == 0


def test_failed_calls_release_their_arguments():
    x = np.arange(12.0)
    refs = sys.getrefcount(x)
    for _ in range(100):
        with pytest.raises(ValueError):
            lumutil.ScatteredSurface(x, 2 * x, x)
        with pytest.raises(lumutil.LinAlgError):
            lumutil.polyfit(np.ones(5), x[:5], 2)
    assert sys.getrefcount(x) == refs


def test_surfaces_used_from_several_python_threads():
    rng = np.random.default_rng(11)
    sets = [(rng.random(n), rng.random(n)) for n in (60, 90, 150)]
    surfaces = [lumutil.ScatteredSurface(px, py, np.hypot(px, py)) for px, py in sets]
    xo, yo = rng.uniform(-0.2, 1.2, 5000), rng.uniform(-0.2, 1.2, 5000)
    expected = [s(xo, yo, workers=1) for s in surfaces]
    results, errors = {}, []

    def work(k):
        try:
            s = surfaces[k % 3]
            for _ in range(5):
                got = s(xo, yo, workers=2)
                if not np.array_equal(got, expected[k % 3], equal_nan=True):
                    errors.append(f"thread {k}: values differ")
            # Preparations interleave with the evaluations of other threads.
            results[k] = s.with_values(np.ones(s.n) * k)(0.5, 0.5)
        except Exception as error:  # reported below
            errors.append(repr(error))

    threads = [threading.Thread(target=work, args=(k,)) for k in range(6)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors
    assert all(results[k] == pytest.approx(k) for k in range(6))


def test_every_public_name_has_a_docstring_and_a_stub():
    public = {name for name in dir(lumutil) if not name.startswith("_")}
    for name in public:
        assert getattr(lumutil, name).__doc__, f"{name} has no docstring"
    stub = os.path.join(os.path.dirname(lumutil.__file__), "lumutil.pyi")
    tree = ast.parse(open(stub).read())
    stubbed = {
        node.name
        for node in tree.body
        if isinstance(node, (ast.FunctionDef, ast.ClassDef))
    }
    assert any(isinstance(n, ast.AnnAssign) and n.target.id == "__version__" for n in tree.body)
    assert public == stubbed, f"missing in the stubs: {public - stubbed}; extra: {stubbed - public}"
    surface_methods = {n for n in dir(lumutil.ScatteredSurface) if not n.startswith("_")}
    stub_class = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "ScatteredSurface")
    stub_members = {n.name for n in stub_class.body if isinstance(n, ast.FunctionDef)}
    assert surface_methods <= stub_members, f"ScatteredSurface members without stubs: {surface_methods - stub_members}"
