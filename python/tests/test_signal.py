"""Signal filters: the module against direct library calls and known values."""

import math

import numpy as np
import pytest

import lumutil
from conftest import assert_same_bits


@pytest.mark.parametrize("size,sigma", [(1, 1.0), (7, 0.8), (39, 1.0), (41, 3.7)])
def test_kernels_and_correlation_equal_library(ref, rng, size, sigma):
    ok, g = ref.call("gaussianFilter", ("i", size), ("d", sigma))
    assert ok[0]
    assert_same_bits(lumutil.gaussian_kernel(size, sigma), g)
    ok, dg = ref.call("doGFilter", ("i", size), ("d", sigma))
    assert_same_bits(lumutil.derivative_of_gaussian_kernel(size, sigma), dg)
    x = np.cumsum(rng.normal(size=97))
    (smooth,) = ref.call("convFilter", ("d", g), ("d", x))
    assert_same_bits(lumutil.gaussian(x, sigma, size), smooth)
    (rate,) = ref.call("convFilter", ("d", dg), ("d", x))
    assert_same_bits(lumutil.derivative_of_gaussian(x, sigma, size), rate)
    assert_same_bits(lumutil.correlate(x, dg), rate)


def test_correlation_known_values():
    assert lumutil.correlate([1, 2, 3], [1, 1, 1]).tolist() == [3, 6, 5]
    # The kernel is not reversed.
    assert lumutil.correlate([1, 2, 3], [1, 0, 0]).tolist() == [0, 1, 2]
    assert lumutil.gaussian_kernel(1, 1.0)[0] == 1.0 / math.sqrt(2.0 * math.acos(-1.0))
    # Default size: taps out to four standard deviations.
    assert len(lumutil.gaussian([0.0] * 5, 1.2)) == 5
    assert_same_bits(lumutil.gaussian(np.arange(50.0), 1.2), lumutil.gaussian(np.arange(50.0), 1.2, size=11))


def test_kernel_arguments_are_checked():
    with pytest.raises(ValueError, match="odd"):
        lumutil.gaussian_kernel(4, 1.0)
    with pytest.raises(ValueError, match="sigma"):
        lumutil.derivative_of_gaussian_kernel(5, 0.0)
    with pytest.raises(ValueError, match="odd number of taps"):
        lumutil.correlate([1.0, 2.0], [1.0, 1.0])
    with pytest.raises(ValueError, match="empty"):
        lumutil.correlate([], [1.0])


@pytest.mark.parametrize("n,window", [(0, 3), (1, 3), (2, 1), (3, 5), (40, 0), (40, 7), (41, 100)])
def test_moving_filters_equal_library(ref, rng, n, window):
    x = rng.normal(size=n)
    (avg,) = ref.call("movingAverage", ("i", window), ("d", x))
    assert_same_bits(lumutil.moving_average(x, window), avg)
    (running,) = ref.call("MovingFilter", ("d", x), ("i", window))
    assert_same_bits(lumutil.running_mean(x, window), running)


def test_moving_filters_known_values():
    assert lumutil.moving_average([1, 2, 3, 4, 5, 6], 3).tolist() == [2, 3, 4]
    assert lumutil.moving_average([1, 2], 5).tolist() == []
    assert lumutil.running_mean([3, 6, 9, 12], 3).tolist() == [3, 4.5, 6, 9]
    with pytest.raises(ValueError, match="window"):
        lumutil.running_mean([1.0], -1)


def test_kalman_equals_library(ref, rng):
    z = 5.0 + rng.normal(0.0, 0.1, 200)
    estimates, variances = lumutil.kalman(z, full_output=True)
    e, v = ref.call("KalmanFilter", ("d", z), ("d", z[0]), ("d", 1.0))
    assert_same_bits(estimates, e)
    assert_same_bits(variances, v)
    e, v = ref.call("KalmanFilter", ("d", z), ("d", 0.0), ("d", 0.5))
    assert_same_bits(lumutil.kalman(z, estimate=0.0, variance=0.5), e)
    # One step from estimate 0, variance 1 towards z = 1.
    p = 1.0 + 1e-5
    k = p / (p + 0.001)
    assert lumutil.kalman([1.0], estimate=0.0)[0] == (1.0 - 0.0) * k + 0.0
    with pytest.raises(ValueError, match="initial estimate"):
        lumutil.kalman([])


def test_band_filter_equals_library(ref, rng):
    x = rng.normal(0.0, 5.0, 80)
    mask = rng.random(80) < 0.9
    values, kept = lumutil.band_filter(x, -4.0, 6.0, 99.0, mask=mask)
    ok, rv, rm = ref.call("bandFilter", ("d", x), ("d", -4.0), ("d", 6.0), ("d", 99.0), ("b", mask))
    assert ok[0]
    assert_same_bits(values, rv)
    assert_same_bits(kept, rm)
    values, kept = lumutil.band_filter([0.0, 10.0, 10.5], 0.0, 10.0, -1.0)
    assert values.tolist() == [0.0, 10.0, -1.0] and kept.tolist() == [True, True, False]
    with pytest.raises(ValueError, match="above upper"):
        lumutil.band_filter([1.0], 2.0, 1.0, 0.0)


@pytest.mark.parametrize("k,passes", [(3, 1), (2, 2), (0, 3), (1, 0)])
def test_rate_filter_equals_library(ref, rng, k, passes):
    x = np.sin(np.linspace(0, 6, 120)) + rng.normal(0.0, 0.05, 120)
    x[[17, 60, 61]] += [3.0, -4.0, 5.0]
    mask = np.ones(120, bool)
    mask[5] = False
    values, kept = lumutil.rate_filter(x, k, passes=passes, mask=mask)
    ok, rv, rm = ref.call("rateFilterArray", ("d", x), ("i", k), ("i", passes), ("b", mask))
    assert ok[0]
    assert_same_bits(values, rv)
    assert_same_bits(kept, rm)
    assert_same_bits(lumutil.rate_filter_mean(x, k), ref.call("rateFilterVector", ("d", x), ("i", k))[0])


def test_rate_filter_spike():
    x = np.zeros(60)
    x[30] = 100.0
    values, kept = lumutil.rate_filter(x, 3, passes=1)
    assert np.flatnonzero(~kept).tolist() == [29, 30, 31]
    assert values[30] == 100.0 / 58.0
    assert lumutil.rate_filter_mean(np.full(30, 5.0), 3) == 5.0
    with pytest.raises(ValueError, match="k must be 0 or more"):
        lumutil.rate_filter(x, -1)
    with pytest.raises(ValueError, match="empty"):
        lumutil.rate_filter_mean([], 3)
