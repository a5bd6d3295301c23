"""ScatteredSurface against the library's drivers called directly."""

import gc

import numpy as np
import pytest

import lumutil
from conftest import assert_same_bits, data_path


def franke(x, y):
    return (
        0.75 * np.exp(-((9 * x - 2) ** 2 + (9 * y - 2) ** 2) / 4)
        + 0.75 * np.exp(-((9 * x + 1) ** 2) / 49 - (9 * y + 1) / 10)
        + 0.5 * np.exp(-((9 * x - 7) ** 2 + (9 * y - 3) ** 2) / 4)
        - 0.2 * np.exp(-((9 * x - 4) ** 2) - (9 * y - 7) ** 2)
    )


def scattered(rng, n):
    x, y = rng.random(n), rng.random(n)
    return x, y, franke(x, y)


def queries(rng, m):
    # Inside and around the data, more than one block of 51 and not a multiple of it.
    return rng.uniform(-0.3, 1.3, m), rng.uniform(-0.3, 1.3, m)


@pytest.fixture
def data(rng):
    return scattered(rng, 300)


def test_values_mesh_and_derivatives_equal_library(ref, rng, data):
    x, y, z = data
    xo, yo = queries(rng, 523)
    surface = lumutil.ScatteredSurface(x, y, z)
    status, zo, tri, border, partials = ref.call(
        "sdbi3p_", ("d", x), ("d", y), ("d", z), ("d", []), ("d", xo), ("d", yo)
    )
    assert status[0] == 0
    assert_same_bits(surface(xo, yo), zo)
    assert_same_bits(surface(xo, yo, workers=1), zo)
    assert_same_bits(surface.triangles, tri.reshape(-1, 3) - 1)
    assert_same_bits(surface.border, border.reshape(-1, 2) - 1)
    assert_same_bits(surface.derivatives, partials.reshape(-1, 5))
    assert surface.n == len(surface) == 300 and surface.point_index.tolist() == list(range(300))
    # The surface passes through its data, up to rounding.
    np.testing.assert_allclose(surface(x, y), z, rtol=0, atol=1e-12)


@pytest.mark.parametrize("nx,ny", [(1, 1), (60, 7), (103, 3), (307, 211)])
def test_grid_equals_library_grid_driver(ref, rng, data, nx, ny):
    x, y, z = data
    xg = np.linspace(-0.2, 1.2, nx) if nx > 1 else np.array([0.37])
    yg = rng.uniform(-0.2, 1.2, ny)  # unsorted rows are allowed
    surface = lumutil.ScatteredSurface(x, y, z)
    # Another preparation in between must not disturb this surface's grid.
    lumutil.ScatteredSurface(*scattered(rng, 50))
    status, expected = ref.call("sdsf3p_", ("d", x), ("d", y), ("d", z), ("d", xg), ("d", yg))
    assert status[0] == 0
    got = surface.grid(xg, yg)
    assert got.shape == (ny, nx)
    assert_same_bits(got, expected.reshape(ny, nx))
    assert_same_bits(surface.grid(xg, yg, workers=1), got)
    assert_same_bits(surface.grid(xg, yg, workers=3), got)
    assert surface.grid(xg, []).shape == (0, nx)


def test_broadcasting_shapes(data):
    surface = lumutil.ScatteredSurface(*data)
    xs, ys = np.linspace(0.1, 0.9, 3), np.linspace(0.2, 0.8, 4)
    table = surface(xs[:, None], ys[None, :])
    assert table.shape == (3, 4)
    flat = surface(np.repeat(xs, 4), np.tile(ys, 3))
    assert_same_bits(table.ravel(), flat)
    scalar = surface(0.5, 0.5)
    assert np.ndim(scalar) == 0 and scalar == surface([0.5], [0.5])[0]
    assert surface(np.empty((0, 2)), 0.5).shape == (0, 2)
    assert np.isnan(surface([np.nan, 0.5], [0.5, np.inf])).all()
    with pytest.raises(ValueError, match="cannot broadcast"):
        surface(np.ones(3), np.ones(4))


def test_surfaces_interleave_and_with_values_equals_fresh(ref, rng, data):
    x, y, z = data
    x2, y2, z2 = scattered(rng, 120)
    xo, yo = queries(rng, 200)
    first = lumutil.ScatteredSurface(x, y, z)
    second = lumutil.ScatteredSurface(x2, y2, z2, method="smooth")
    a1, b1 = first(xo, yo), second(xo, yo)
    # with_values on the first surface after the second was prepared with
    # another point count: the re-use call must still find its own count.
    znew = np.cos(4 * x) * y
    reused = first.with_values(znew)
    fresh = lumutil.ScatteredSurface(x, y, znew)
    assert_same_bits(reused(xo, yo), fresh(xo, yo))
    assert_same_bits(reused.derivatives, fresh.derivatives)
    assert_same_bits(reused.triangles, first.triangles)
    status, zo, _, _, partials = ref.call("sdbi3p_", ("d", x), ("d", y), ("d", z), ("d", znew), ("d", xo), ("d", yo))
    assert status[0] == 0
    assert_same_bits(reused(xo, yo), zo)
    assert_same_bits(reused.derivatives, partials.reshape(-1, 5))
    # The original surfaces are unchanged by all of this.
    assert_same_bits(first(xo, yo), a1)
    assert_same_bits(second(xo, yo), b1)
    with pytest.raises(ValueError, match="expected 300 values"):
        first.with_values(znew[:-1])


def test_threaded_evaluation_equals_single_threaded(rng, data):
    surface = lumutil.ScatteredSurface(*data)
    xo, yo = queries(rng, 40_000)
    single = surface(xo, yo, workers=1)
    assert_same_bits(surface(xo, yo, workers=4), single)
    assert_same_bits(surface(xo, yo), single)
    linear = lumutil.ScatteredSurface(*data, method="linear", fill="nearest")
    assert_same_bits(linear(xo, yo, workers=3), linear(xo, yo, workers=1))
    with pytest.raises(ValueError, match="workers"):
        surface(xo, yo, workers=0)


def test_input_errors_name_the_points(rng):
    x, y, z = scattered(rng, 30)
    before = lumutil._live_surfaces()
    dup = x.copy(), y.copy()
    dup[0][17], dup[1][17] = x[4], y[4]
    with pytest.raises(ValueError, match=r"1 point\(s\) repeated .* at indices 4, 17 .*dedupe"):
        lumutil.ScatteredSurface(dup[0], dup[1], z)
    line = x.copy(), y.copy()
    line[0][:3], line[1][:3] = [0.0, 1.0, 2.0], [0.0, 1.0, 2.0]
    with pytest.raises(ValueError, match=r"first three points \(indices 0, 1, 2\) are collinear.*index 3"):
        lumutil.ScatteredSurface(line[0], line[1], z)
    with pytest.raises(ValueError, match="all points lie on one straight line"):
        lumutil.ScatteredSurface(np.arange(12.0), 2 * np.arange(12.0), np.ones(12))
    with pytest.raises(ValueError, match="at least 10 distinct points, got 9"):
        lumutil.ScatteredSurface(x[:9], y[:9], z[:9])
    with pytest.raises(ValueError, match=r"z\[5\] is nan"):
        lumutil.ScatteredSurface(x, y, np.where(np.arange(30) == 5, np.nan, z))
    with pytest.raises(ValueError, match="differ in length"):
        lumutil.ScatteredSurface(x, y, z[:-1])
    with pytest.raises(ValueError, match="method"):
        lumutil.ScatteredSurface(x, y, z, method="cubic")
    with pytest.raises(ValueError, match="fill='extend' needs method='smooth'"):
        lumutil.ScatteredSurface(x, y, z, method="linear", fill="extend")
    with pytest.raises(ValueError, match="dedupe"):
        lumutil.ScatteredSurface(x, y, z, dedupe="last")
    with pytest.raises(ValueError, match="expected 30 values"):
        lumutil.ScatteredSurface(x, y, z).with_values(z[:3])
    gc.collect()
    assert lumutil._live_surfaces() == before


def test_dedupe_and_reorder_equal_the_cleaned_data(rng):
    x, y, z = scattered(rng, 40)
    # Points 7 and 30 coincide with point 2.
    x[[7, 30]], y[[7, 30]] = x[2], y[2]
    xo, yo = queries(rng, 60)
    keep = [i for i in range(40) if i not in (7, 30)]
    merged = z.copy()
    merged[2] = (z[2] + z[7] + z[30]) / 3.0
    by_mean = lumutil.ScatteredSurface(x, y, z, dedupe="mean")
    assert by_mean.point_index.tolist() == keep
    expected = lumutil.ScatteredSurface(x[keep], y[keep], merged[keep])
    assert_same_bits(by_mean(xo, yo), expected(xo, yo))
    by_first = lumutil.ScatteredSurface(x, y, z, dedupe="first")
    assert_same_bits(by_first(xo, yo), lumutil.ScatteredSurface(x[keep], y[keep], z[keep])(xo, yo))
    # with_values takes one value per input point and merges them the same way.
    assert_same_bits(by_mean.with_values(2 * z)(xo, yo), lumutil.ScatteredSurface(x[keep], y[keep], 2 * merged[keep])(xo, yo))

    # Collinear first three points: the first point off their line moves to third place.
    x, y, z = scattered(rng, 25)
    x[:4], y[:4] = [0.1, 0.2, 0.3, 0.4], [0.1, 0.2, 0.3, 0.45]
    moved = lumutil.ScatteredSurface(x, y, z, reorder=True)
    order = [0, 1, 3, 2] + list(range(4, 25))
    assert moved.point_index.tolist() == order
    assert_same_bits(moved(xo, yo), lumutil.ScatteredSurface(x[order], y[order], z[order])(xo, yo))
    assert_same_bits(moved.with_values(z + 1)(xo, yo), lumutil.ScatteredSurface(x[order], y[order], z[order] + 1)(xo, yo))


def barycentric_reference(surface, px, py):
    """Linear interpolation by a brute-force search over the triangles."""
    x, y, z, tri = surface.x, surface.y, surface.z, surface.triangles
    out = np.full(px.shape, np.nan)
    for k, (qx, qy) in enumerate(zip(px, py)):
        for a, b, c in tri:
            d = (x[b] - x[a]) * (y[c] - y[a]) - (x[c] - x[a]) * (y[b] - y[a])
            l1 = ((x[b] - qx) * (y[c] - qy) - (x[c] - qx) * (y[b] - qy)) / d
            l2 = ((x[c] - qx) * (y[a] - qy) - (x[a] - qx) * (y[c] - qy)) / d
            l3 = 1.0 - l1 - l2
            if min(l1, l2, l3) >= -1e-12:
                out[k] = l1 * z[a] + l2 * z[b] + l3 * z[c]
                break
    return out


def nearest_border_reference(surface, px, py):
    """Value at the nearest point of the border chain, by a scan of all segments."""
    x, y, z = surface.x, surface.y, surface.z
    out = []
    for qx, qy in zip(px, py):
        best = (np.inf, 0.0)
        for a, b in surface.border:
            dx, dy = x[b] - x[a], y[b] - y[a]
            u = min(max(((qx - x[a]) * dx + (qy - y[a]) * dy) / (dx * dx + dy * dy), 0.0), 1.0)
            d = (qx - x[a] - u * dx) ** 2 + (qy - y[a] - u * dy) ** 2
            if d < best[0]:
                best = (d, (1 - u) * z[a] + u * z[b])
        out.append(best[1])
    return np.array(out)


def test_linear_method(rng):
    x, y, z = scattered(rng, 80)
    linear = lumutil.ScatteredSurface(x, y, z, method="linear")
    assert linear.fill == "nan"
    # Exact at the data, equal to an independent barycentric evaluation inside.
    assert_same_bits(linear(x, y), z)
    px, py = queries(rng, 300)
    got = linear(px, py)
    expected = barycentric_reference(linear, px, py)
    assert np.array_equal(np.isnan(got), np.isnan(expected))
    np.testing.assert_allclose(got[~np.isnan(got)], expected[~np.isnan(expected)], rtol=0, atol=1e-12)
    assert got[~np.isnan(got)].min() >= z.min() and got[~np.isnan(got)].max() <= z.max()
    # A plane is reproduced.
    plane = linear.with_values(1.0 + 2.0 * x - 3.0 * y)
    inside = ~np.isnan(got)
    np.testing.assert_allclose(plane(px, py)[inside], 1.0 + 2.0 * px[inside] - 3.0 * py[inside], atol=1e-12)
    # Nearest fill: the border value, within the data range; NaN fill marks the same points.
    nearest = lumutil.ScatteredSurface(x, y, z, method="linear", fill="nearest")
    filled = nearest(px, py)
    assert_same_bits(filled[inside], got[inside])
    assert not np.isnan(filled).any() and filled.min() >= z.min() and filled.max() <= z.max()
    far_x, far_y = np.array([5.0, -2.0, 0.5]), np.array([0.5, -1.0, 3.0])
    np.testing.assert_allclose(nearest(far_x, far_y), nearest_border_reference(nearest, far_x, far_y), atol=1e-12)


def test_smooth_fill_choices(rng):
    x, y, z = scattered(rng, 150)
    px, py = queries(rng, 400)
    extend = lumutil.ScatteredSurface(x, y, z)
    masked = lumutil.ScatteredSurface(x, y, z, fill="nan")
    linear = lumutil.ScatteredSurface(x, y, z, method="linear")
    outside = np.isnan(linear(px, py))
    got = masked(px, py)
    assert_same_bits(np.isnan(got), outside)
    assert_same_bits(got[~outside], extend(px, py)[~outside])
    nearest_surface = lumutil.ScatteredSurface(x, y, z, fill="nearest")
    nearest = nearest_surface(px, py)
    assert_same_bits(nearest[~outside], extend(px, py)[~outside])
    assert not np.isnan(nearest).any()
    # The same choices on a grid, whose rows go through the library in padded blocks.
    xg, yg = np.linspace(-0.2, 1.2, 70), np.linspace(-0.2, 1.2, 40)
    inside = ~np.isnan(linear.grid(xg, yg))
    plain = extend.grid(xg, yg)
    masked_grid = masked.grid(xg, yg)
    assert_same_bits(np.isnan(masked_grid), ~inside)
    assert_same_bits(masked_grid[inside], plain[inside])
    nearest_grid = nearest_surface.grid(xg, yg)
    assert_same_bits(nearest_grid[inside], plain[inside])
    gx, gy = np.meshgrid(xg, yg)
    np.testing.assert_allclose(nearest_grid[~inside], nearest_surface(gx[~inside], gy[~inside]), rtol=0, atol=1e-12)


def test_overshoot_reports_excursions(rng):
    x, y, z = scattered(rng, 60)
    surface = lumutil.ScatteredSurface(x, y, z)
    lo, hi = z.min(), z.max()
    report = surface.overshoot(np.array([lo - 1.0, hi + 2.0, (lo + hi) / 2, np.nan]))
    assert (report.count, report.below, report.above) == (2, 1.0, 2.0)
    assert report.fraction == 2 / 3 and report.data_min == lo and report.data_max == hi
    assert surface.overshoot([lo - 0.1], margin=0.5).count == 0
    # A plane stays within its range inside the hull.
    plane = surface.with_values(2.0 * x + y)
    grid = lumutil.ScatteredSurface(x, y, 2.0 * x + y, fill="nan").grid(np.linspace(0, 1, 40), np.linspace(0, 1, 40))
    assert plane.overshoot(grid, margin=1e-9).count == 0
    with pytest.raises(ValueError, match="margin"):
        surface.overshoot([0.0], margin=-1.0)


def test_bundled_survey_sample():
    table = np.genfromtxt(data_path("survey_points.csv"), delimiter=",", skip_header=2)
    x, y, z = table.T
    with pytest.raises(ValueError, match="repeated with the same x and y"):
        lumutil.ScatteredSurface(x, y, z)
    surface = lumutil.ScatteredSurface(x, y, z, dedupe="mean")
    assert surface.n < len(x)
    grid = surface.grid(np.linspace(x.min(), x.max(), 30), np.linspace(y.min(), y.max(), 20))
    assert grid.shape == (20, 30) and np.isfinite(grid).all()
