"""Shared fixtures: the reference runner, which calls the C++ library directly,
and helpers for bit-for-bit comparison."""

import os
import subprocess

import numpy as np
import pytest

DTYPES = {"d": np.float64, "f": np.float32, "i": np.int64, "b": np.bool_}


class Reference:
    """Talks to the reference runner: one line per argument, hex floats."""

    def __init__(self, path):
        self.proc = subprocess.Popen(
            [path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1
        )

    def call(self, name, *args):
        lines = [name]
        for kind, values in args:
            a = np.atleast_1d(np.asarray(values)).ravel()
            if kind in "df":
                text = " ".join(float(v).hex() for v in a)
            else:
                text = " ".join(str(int(v)) for v in a)
            lines.append(f"{kind} {a.size} {text}")
        self.proc.stdin.write("\n".join(lines) + "\n")
        self.proc.stdin.flush()
        results = []
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("the reference runner stopped")
            line = line.strip()
            if line == "end":
                return results
            if line.startswith("error"):
                raise RuntimeError(line)
            kind, _, *values = line.split()
            if kind in "df":
                parsed = [float.fromhex(v) for v in values]
            else:
                parsed = [int(v) for v in values]
            results.append(np.array(parsed, dtype=DTYPES[kind]))

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)


@pytest.fixture(scope="session")
def ref():
    path = os.environ.get("LUM_REFERENCE_RUNNER")
    if not path:
        pytest.skip("LUM_REFERENCE_RUNNER is not set (run the tests through CTest)")
    runner = Reference(path)
    yield runner
    runner.close()


@pytest.fixture
def rng():
    return np.random.default_rng(20240917)


def same_bits(a, b):
    """True when a and b have equal shapes and identical bits (NaN == NaN,
    -0.0 != 0.0)."""
    a = np.asarray(a)
    b = np.asarray(b).astype(a.dtype)
    return a.shape == b.shape and np.ascontiguousarray(a).tobytes() == np.ascontiguousarray(b).tobytes()


def assert_same_bits(actual, expected):
    actual = np.asarray(actual)
    expected = np.asarray(expected)
    if not same_bits(actual, expected.reshape(actual.shape) if actual.size == expected.size else expected):
        diff = np.flatnonzero(actual.ravel() != expected.ravel()) if actual.size == expected.size else []
        raise AssertionError(
            f"results differ: shapes {actual.shape} / {expected.shape}, "
            f"first differing positions {list(diff[:5])}, "
            f"actual {actual.ravel()[diff[:3]] if len(diff) else actual}, "
            f"expected {expected.ravel()[diff[:3]] if len(diff) else expected}"
        )


def data_path(name):
    return os.path.join(os.environ.get("LUM_DATA_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "data")), name)
