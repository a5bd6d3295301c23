"""Statistics and outlier rejection: the module against direct library calls."""

import math

import numpy as np
import pytest

import lumutil
from conftest import assert_same_bits


def samples(rng, n):
    # Mixed magnitudes so that summation order shows in the last bits.
    return rng.normal(0.0, 1.0, n) * 10.0 ** rng.integers(-3, 4, n)


@pytest.mark.parametrize("n", [1, 2, 7, 100, 1001])
def test_statistics_equal_library(ref, rng, n):
    x = samples(rng, n)
    mask = rng.random(n) < 0.6
    (m,) = ref.call("mean", ("d", x))
    assert_same_bits(lumutil.mean(x), m)
    (s1,) = ref.call("calStdev", ("d", x))
    assert_same_bits(lumutil.std(x), s1)
    (s0,) = ref.call("stdDev", ("d", x), ("d", m))
    assert_same_bits(lumutil.std(x, ddof=0), s0)
    assert_same_bits(lumutil.variance(x), ref.call("variance", ("d", x), ("d", m))[0])
    assert_same_bits(lumutil.variance(x, 0.25), ref.call("variance", ("d", x), ("d", 0.25))[0])
    assert_same_bits(lumutil.clipped_mean(x, 1.5), ref.call("calAvgSigma", ("d", x), ("d", 1.5))[0])
    assert_same_bits(lumutil.median(x), ref.call("median", ("d", x))[0])
    # Masked forms: the library's masked mean and standard deviation, and the
    # count functions on the selected values.
    assert_same_bits(lumutil.mean(x, mask=mask), ref.call("avg", ("d", x), ("b", mask))[0])
    assert_same_bits(lumutil.std(x, mask=mask), ref.call("stdev", ("d", x), ("b", mask))[0])
    if mask.any():
        assert_same_bits(lumutil.median(x, mask=mask), ref.call("median", ("d", x[mask]))[0])
        assert_same_bits(
            lumutil.clipped_mean(x, 2.0, mask=mask), ref.call("calAvgSigma", ("d", x[mask]), ("d", 2.0))[0]
        )


def test_statistics_known_values():
    assert lumutil.mean([1, 2, 3, 4]) == 2.5
    assert lumutil.variance([1, 2, 3, 4], 2.5) == 1.25
    assert lumutil.std([1, 2, 3, 4]) == math.sqrt(5 / 3)
    assert lumutil.std([1, 2, 3, 4], ddof=0) == math.sqrt(1.25)
    assert lumutil.clipped_mean([0, 0, 0, 0, 10], 1) == 0.0
    assert lumutil.clipped_mean([1, 1, 1, 1], 3) == 1.0
    assert lumutil.median([4, 1, 3, 2]) == 2.5
    mask = np.array([True, True, True, False])
    assert lumutil.mean([1, 2, 3, 100], mask=mask) == 2.0
    assert lumutil.mean([1, 2, 3, 100], mask=np.zeros(4, bool)) == 0.0
    assert math.isnan(lumutil.mean([]))
    assert math.isnan(lumutil.std([5.0]))
    # Any shape is flattened in C order, as numpy does without an axis.
    assert lumutil.mean(np.arange(6.0).reshape(2, 3)) == 2.5


def test_statistics_reject_bad_input():
    with pytest.raises(ValueError, match="median of no values"):
        lumutil.median([])
    with pytest.raises(ValueError, match="NaN"):
        lumutil.median([1.0, float("nan"), 2.0])
    with pytest.raises(TypeError, match="dtype bool"):
        lumutil.mean([1, 2, 3], mask=[1, 0, 1])
    with pytest.raises(ValueError, match="3 elements, expected 2"):
        lumutil.std([1, 2], mask=np.ones(3, bool))
    with pytest.raises(ValueError, match="ddof"):
        lumutil.std([1, 2, 3], ddof=2)
    with pytest.raises(ValueError, match="cannot be converted"):
        lumutil.mean(["a", "b"])


@pytest.mark.parametrize("n,window,k", [(1, 0, 3.0), (30, 2, 3.0), (200, 5, 2.5), (200, 0, 1.0)])
def test_hampel_equals_library(ref, rng, n, window, k):
    x = rng.normal(size=n)
    x[rng.integers(0, n, max(1, n // 20))] += 25.0
    idx, values = lumutil.hampel(x, window, k)
    kept, cleaned = ref.call("removeOutlierFuncMedian", ("d", x), ("i", window), ("d", k))
    assert_same_bits(idx, kept)
    assert_same_bits(values, cleaned)
    assert_same_bits(values, x[idx])


def test_hampel_known_values():
    idx, values = lumutil.hampel([1, 2, 3, 4, 100], 2, 3)
    assert idx.tolist() == [0, 1, 2, 3] and values.tolist() == [1, 2, 3, 4]
    idx, _ = lumutil.hampel([1, 1, 1, 10, 1], 2, 100)
    assert idx.tolist() == [0, 1, 2, 4]
    with pytest.raises(ValueError, match="window"):
        lumutil.hampel([1, 2, 3], -1, 3)
    with pytest.raises(ValueError, match="one-dimensional"):
        lumutil.hampel(np.ones((2, 2)), 1, 3)


@pytest.mark.parametrize("n,fraction", [(3, 0.5), (25, 0.2), (300, 0.1), (50, -1.0)])
def test_tau_test_equals_library(ref, rng, n, fraction):
    x = rng.normal(0.0, 0.3, n)
    x[rng.integers(0, n, max(1, n // 10))] += 8.0
    idx, values, ok = lumutil.tau_test(x, fraction, full_output=True)
    kept, cleaned, flag = ref.call("removeOutlierFuncTau", ("d", x), ("d", fraction))
    assert_same_bits(idx, kept)
    assert_same_bits(values, cleaned)
    assert ok == bool(flag[0])


def test_tau_test_known_values_and_refusals():
    data = [10.0] * 9 + [50.0]
    idx, values = lumutil.tau_test(data, 0.5)
    assert idx.tolist() == list(range(9)) and values.tolist() == [10.0] * 9
    # One test allowed and the spread was limited in it: the flag clears.
    assert lumutil.tau_test(data, 0.1, full_output=True)[2] is False
    assert lumutil.tau_test(data, 0.5, full_output=True)[2] is True
    with pytest.raises(ValueError, match="at least 3"):
        lumutil.tau_test([1.0, 2.0], 0.5)
    with pytest.raises(ValueError, match="at most 1"):
        lumutil.tau_test([1.0, 2.0, 3.0], 1.5)
    with pytest.raises(ValueError, match="NaN"):
        lumutil.tau_test([1.0, float("nan"), 3.0], 0.5)
