"""Fits, splines, geometry and grid interpolation against direct library calls."""

import numpy as np
import pytest

import lumutil
from conftest import assert_same_bits


@pytest.mark.parametrize("n,degree", [(1, 0), (3, 1), (20, 2), (50, 3), (8, 7)])
def test_polyfit_and_polyval_equal_library(ref, rng, n, degree):
    x = np.sort(rng.uniform(-3.0, 5.0, n))
    y = 1.0 - 2.0 * x + 0.3 * x**2 + rng.normal(0.0, 0.1, n)
    result, coefficients = ref.call("JPolyfit", ("d", x), ("d", y), ("i", degree))
    assert result[0] == 1
    fitted = lumutil.polyfit(x, y, degree)
    assert_same_bits(fitted, coefficients)
    t = rng.uniform(-4.0, 6.0, (3, 5))
    (values,) = ref.call("PolyCalc", ("d", t), ("d", fitted))
    assert_same_bits(lumutil.polyval(t, fitted), values.reshape(3, 5))


def test_polyfit_known_values_and_failures():
    assert lumutil.polyfit([0, 1, 2], [1, 3, 5], 1).tolist() == [1.0, 2.0]
    assert lumutil.polyval(2.0, [1, 2, 3]) == 17.0
    with pytest.raises(lumutil.LinAlgError, match="singular") as caught:
        lumutil.polyfit([1.0, 1.0], [1.0, 2.0], 1)
    assert isinstance(caught.value, np.linalg.LinAlgError)
    with pytest.raises(lumutil.LinAlgError, match="no points"):
        lumutil.polyfit([], [], 0)
    with pytest.raises(ValueError, match="differ in length"):
        lumutil.polyfit([1, 2, 3], [1, 2], 1)
    with pytest.raises(ValueError, match="degree"):
        lumutil.polyfit([1, 2, 3], [1, 2, 3], -1)
    with pytest.raises(ValueError, match="empty"):
        lumutil.polyval(1.0, [])


def run_readings(rng, runs, per_run, slope=2.0):
    x = np.repeat(np.arange(runs, dtype=float), per_run) + rng.uniform(0, 1e-4, runs * per_run)
    y = 1.0 + slope * np.floor(x) + rng.normal(0.0, 0.01, x.size)
    y[rng.integers(0, x.size, 3)] += 5.0
    return x, y


@pytest.mark.parametrize("runs,per_run,degree", [(6, 5, 1), (8, 12, 2), (10, 4, 0)])
def test_polyfit_runs_equals_library(ref, rng, runs, per_run, degree):
    x, y = run_readings(rng, runs, per_run)
    coefficients, ok = lumutil.polyfit_runs(x, y, degree, full_output=True)
    result, expected, flag = ref.call("JPolyfitRemoverOutlier", ("d", x), ("d", y), ("i", degree))
    assert result[0] == 1
    assert_same_bits(coefficients, expected)
    assert ok == bool(flag[0])


def test_polyfit_runs_singular():
    # Two runs cannot carry a quadratic.
    x = np.array([0, 0, 0, 0, 1, 1, 1, 1.0])
    with pytest.raises(lumutil.LinAlgError):
        lumutil.polyfit_runs(x, x * 3.0, 2)


@pytest.mark.parametrize("n", [1, 2, 9, 60])
def test_spline_equals_library(ref, rng, n):
    x = np.cumsum(rng.uniform(0.1, 2.0, n + 1)) - 3.0
    y = np.sin(x) * 4.0
    spline = lumutil.natural_spline(x, y)
    x32, y32 = x.astype(np.float32), y.astype(np.float32)
    (coefficients,) = ref.call("CubicSplines", ("f", x32), ("f", y32))
    assert_same_bits(spline.coefficients, coefficients.reshape(n, 4))
    assert spline.segments == n and spline.x.dtype == np.float32
    # Inside the knots the values are the library's float results; outside NaN.
    t = np.concatenate([rng.uniform(x32[0], x32[-1], 50), x32, [x32[0] - 1.0, x32[-1] + 0.5]]).astype(np.float32)
    inf = np.float32(np.inf)
    table = np.concatenate([x32, [-inf, inf, 1.0]]).astype(np.float32)
    values, flags = ref.call("CalcSpline", ("f", table), ("d", coefficients), ("f", t))
    got = spline(t)
    assert got.dtype == np.float32
    assert_same_bits(got[~flags], values[~flags])
    assert np.isnan(got[flags]).all() and flags.sum() == 2
    # The checked form with limits and a divisor is the library's call as is.
    table = np.concatenate([x32, [-1.0, 2.0, 4.0]]).astype(np.float32)
    values, flags = ref.call("CalcSpline", ("f", table), ("d", coefficients), ("f", t))
    checked, checked_flags = spline.evaluate_checked(t, -1.0, 2.0, 4.0)
    assert_same_bits(checked, values)
    assert_same_bits(checked_flags, flags)


def test_spline_known_values_and_refusals():
    spline = lumutil.natural_spline([0, 1, 2], [0, 1, 0])
    assert spline.coefficients.tolist() == [[0, 1.5, 0, -0.5], [1, 0, -1.5, 0.5]]
    assert spline(0.5) == np.float32(0.6875)
    assert spline(np.array([[0.0, 2.0]])).shape == (1, 2)
    with pytest.raises(ValueError, match="increase strictly"):
        lumutil.natural_spline([0, 1, 1], [0, 1, 2])
    with pytest.raises(ValueError, match="increase strictly in single precision"):
        lumutil.natural_spline([1.0, 1.0 + 1e-9], [0, 1])
    with pytest.raises(ValueError, match="at least 2"):
        lumutil.natural_spline([0.0], [1.0])


def spherical_rows(rng):
    axes = np.array([[1, 0, 0], [0, 1, 0], [-1, 0, 0], [0, -1, 0], [0, 0, 1], [0, 0, -2], [-1, -1, 0], [3, 4, 0]])
    return np.vstack([axes, rng.normal(size=(40, 3))])


def test_spherical_conversions_equal_library(ref, rng):
    xyz = spherical_rows(rng)
    rows = len(xyz)
    ref_h = rng.uniform(-200, 200, rows).astype(np.float32)
    ref_v = rng.uniform(-100, 120, rows).astype(np.float32)
    (plain,) = ref.call("spherical", ("i", 0), ("d", xyz), ("f", ref_h), ("f", ref_v))
    assert_same_bits(lumutil.to_spherical(xyz), plain.reshape(rows, 3))
    (near_h,) = ref.call("spherical", ("i", 1), ("d", xyz), ("f", ref_h), ("f", ref_v))
    assert_same_bits(lumutil.to_spherical(xyz, ref_h=ref_h), near_h.reshape(rows, 3))
    (near_hv,) = ref.call("spherical", ("i", 2), ("d", xyz), ("f", ref_h), ("f", ref_v))
    assert_same_bits(lumutil.to_spherical(xyz, ref_h, ref_v), near_hv.reshape(rows, 3))
    # Scalar references broadcast over rows; leading axes are kept.
    same = np.full(rows, 170.0, np.float32)
    (scalar_ref,) = ref.call("spherical", ("i", 1), ("d", xyz), ("f", same), ("f", same))
    assert_same_bits(lumutil.to_spherical(xyz.reshape(2, rows // 2, 3), 170.0), scalar_ref.reshape(2, rows // 2, 3))


def test_spherical_known_values():
    h, v, r = lumutil.to_spherical([1.0, 0.0, 0.0])
    assert (h, v, r) == (-90.0, -2.5044744234037353e-06, 1.0)
    assert lumutil.to_spherical([-1.0, -1.0, 0.0])[0] == 135.0
    with pytest.raises(ValueError, match="last axis of length 3"):
        lumutil.to_spherical([[1.0, 2.0]])
    with pytest.raises(ValueError, match="ref_v needs ref_h"):
        lumutil.to_spherical([1.0, 2.0, 3.0], ref_v=10.0)


def test_vectors_and_rotations_equal_library(ref, rng):
    a, b = rng.normal(size=(30, 3)), rng.normal(size=(30, 3))
    (c,) = ref.call("CrossMultiply", ("d", a), ("d", b))
    assert_same_bits(lumutil.cross(a, b), c.reshape(30, 3))
    np.testing.assert_allclose(lumutil.cross(a, b), np.cross(a, b), rtol=1e-12, atol=1e-12)
    angles = rng.uniform(-7, 7, (2, 4))
    for axis, build in enumerate([lumutil.rotation_x, lumutil.rotation_y, lumutil.rotation_z]):
        (matrices,) = ref.call("rotation", ("i", axis), ("d", angles))
        assert_same_bits(build(angles), matrices.reshape(2, 4, 3, 3))
    v, axes, degrees = rng.normal(size=(30, 3)), rng.normal(size=(30, 3)), rng.uniform(-360, 360, 30)
    (rotated,) = ref.call("mlaRotateAroundAxis", ("d", v), ("d", axes), ("d", degrees))
    assert_same_bits(lumutil.rotate(v, axes, degrees), rotated.reshape(30, 3))
    # One axis and angle for many vectors.
    one = lumutil.rotate(v, axes[0], degrees[0])
    (expected,) = ref.call("mlaRotateAroundAxis", ("d", v), ("d", np.tile(axes[0], 30)), ("d", np.full(30, degrees[0])))
    assert_same_bits(one, expected.reshape(30, 3))
    with pytest.raises(ValueError, match="zero vector"):
        lumutil.rotate([1.0, 0.0, 0.0], [0.0, 0.0, 0.0], 10.0)
    with pytest.raises(ValueError, match="broadcast"):
        lumutil.cross(np.ones((2, 3)), np.ones((3, 3)))


def test_vector_at_angles(ref):
    b, c = [1.0, 0.0, 0.0], [0.0, 1.0, 0.0]
    for target in ([0.0, 0.0, 1.0], [0.0, 0.0, -1.0], [0.3, 0.2, 0.9]):
        result, out = ref.call("solveVectorsRelAng", ("d", target), ("d", b), ("d", c), ("d", [60.0, 70.0]))
        assert result[0] == 0
        assert_same_bits(lumutil.vector_at_angles(target, b, c, 60.0, 70.0), out)
    with pytest.raises(ValueError, match="no unit vector"):
        lumutil.vector_at_angles([0.0, 0.0, 1.0], b, c, 0.0, 0.0)


def test_grid_interpolation_equals_library(ref, rng):
    x, y, z = rng.uniform(-16, 16, 200), rng.uniform(-11, 11, 200), rng.uniform(-6, 6, 200)
    (t,) = ref.call("getTrilinearInterpolation", ("d", x), ("d", y), ("d", z))
    assert_same_bits(lumutil.trilinear(x, y, z), t)
    assert lumutil.trilinear(15.0001, 0, 0) == 0.0
    # Broadcasting: a column of x against a row of y.
    grid = lumutil.trilinear(x[:5, None], y[None, :4], 1.0)
    (expected,) = ref.call(
        "getTrilinearInterpolation", ("d", np.repeat(x[:5], 4)), ("d", np.tile(y[:4], 5)), ("d", np.ones(20))
    )
    assert_same_bits(grid, expected.reshape(5, 4))
    corners = rng.normal(size=8)
    tx, ty, tz = rng.uniform(-0.5, 1.5, (3, 50))
    (blend,) = ref.call("getTrilinearInterpolationNew", ("d", corners), ("d", tx), ("d", ty), ("d", tz))
    assert_same_bits(lumutil.trilinear_blend(corners, tx, ty, tz), blend)
    assert lumutil.trilinear_blend(corners, 1, 1, 1) == corners[7]
    assert lumutil.linear_interpolation(15, 0, 0, 10, 100) == 150.0
    nodes = np.array([0.0, 10.0, 20.0])
    lower, upper = lumutil.bracket([5, 10, 0, -3, 20, 25], nodes)
    assert lower[:5].tolist() == [0, 0, 0, 0, 10] and upper[:5].tolist() == [10, 10, 10, 10, 20]
    assert np.isnan(lower[5]) and np.isnan(upper[5])
    values = rng.uniform(-5, 25, 40)
    lo, hi = ref.call("getNeighbours", ("d", values), ("d", nodes))
    got = lumutil.bracket(values, nodes)
    assert_same_bits(got[0], lo)
    assert_same_bits(got[1], hi)


def test_encoder_calibration_equals_library(ref, rng):
    table = np.column_stack([np.linspace(0.0, 360.0, 13), rng.normal(0.0, 20.0, 13)])
    readings = np.concatenate([rng.uniform(-5.0, 365.0, 60), table[:, 0]])
    (expected,) = ref.call("encoderCalibration", ("d", readings), ("f", table.astype(np.float32).ravel()))
    got = lumutil.encoder_calibration(readings, table)
    assert got.dtype == np.float32
    assert_same_bits(got, expected)
    small = [[0.0, 0.0], [10.0, 36.0]]
    assert lumutil.encoder_calibration([5.0, 10.0, 7.5], small).tolist() == [
        4.994999885559082,
        9.989999771118164,
        7.492499828338623,
    ]
    with pytest.raises(ValueError, match=r"\(m, 2\)"):
        lumutil.encoder_calibration(1.0, [1.0, 2.0, 3.0])
