#!/usr/bin/python3
"""Grid scattered data with lumutil and with scipy's CloughTocher2DInterpolator.

Uses the bundled survey sample (data/survey_points.csv): its point locations
carry Franke's test function, so the accuracy of each interpolant can be
measured against the exact values on a grid inside the data hull; then a
larger set of uniform random points measures the speed. With matplotlib, the
survey's own heights are gridded by each method and drawn side by side.

Run from a build tree:  PYTHONPATH=build/python /usr/bin/python3 python/examples/compare_scipy.py
"""

import argparse
import glob
import os
import sys
import time

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))

try:
    import lumutil
except ImportError:
    built = sorted(glob.glob(os.path.join(ROOT, "build*", "**", "python", "lumutil*.so"), recursive=True))
    if not built:
        sys.exit("lumutil is not importable: build with -DLUM_PYTHON=ON and set PYTHONPATH=<build>/python")
    sys.path.insert(0, os.path.dirname(built[0]))
    import lumutil

try:
    from scipy.interpolate import CloughTocher2DInterpolator, LinearNDInterpolator
except ImportError:  # the comparison then shows lumutil alone
    CloughTocher2DInterpolator = LinearNDInterpolator = None


def franke(x, y):
    """Franke's bivariate test function on the unit square."""
    return (
        0.75 * np.exp(-((9 * x - 2) ** 2 + (9 * y - 2) ** 2) / 4)
        + 0.75 * np.exp(-((9 * x + 1) ** 2) / 49 - (9 * y + 1) / 10)
        + 0.5 * np.exp(-((9 * x - 7) ** 2 + (9 * y - 3) ** 2) / 4)
        - 0.2 * np.exp(-((9 * x - 4) ** 2) - (9 * y - 7) ** 2)
    )


def load_survey(path):
    """x, y, z columns of a CSV file with a header row; '#' lines are comments."""
    with open(path) as f:
        rows = [line.strip().split(",") for line in f if line.strip() and not line.startswith("#")]
    header, values = rows[0], np.array(rows[1:], dtype=float)
    return tuple(values[:, header.index(name)] for name in ("x", "y", "z"))


def best_time(run, repeats):
    """Smallest wall time of `repeats` runs, and the last result."""
    best, result = np.inf, None
    for _ in range(repeats):
        start = time.perf_counter()
        result = run()
        best = min(best, time.perf_counter() - start)
    return best, result


def methods(workers):
    """(name, build(x, y, z), evaluate(model, xg, yg) -> (ny, nx) grid)."""
    table = [
        (
            "lumutil smooth",
            lambda x, y, z: lumutil.ScatteredSurface(x, y, z, dedupe="mean"),
            lambda s, xg, yg: s.grid(xg, yg, workers=workers),
        ),
        (
            "lumutil linear",
            lambda x, y, z: lumutil.ScatteredSurface(x, y, z, method="linear", dedupe="mean"),
            lambda s, xg, yg: s.grid(xg, yg, workers=workers),
        ),
    ]
    if CloughTocher2DInterpolator is not None:
        mesh = lambda xg, yg: np.meshgrid(xg, yg)  # noqa: E731  rows follow y, as lumutil's grid
        table += [
            (
                "scipy CloughTocher",
                lambda x, y, z: CloughTocher2DInterpolator(np.column_stack([x, y]), z),
                lambda f, xg, yg: f(*mesh(xg, yg)),
            ),
            (
                "scipy linear",
                lambda x, y, z: LinearNDInterpolator(np.column_stack([x, y]), z),
                lambda f, xg, yg: f(*mesh(xg, yg)),
            ),
        ]
    return table


def accuracy(x, y, size, workers):
    """Errors against Franke's function at the grid nodes inside the hull."""
    u = (x - x.min()) / (x.max() - x.min())
    v = (y - y.min()) / (y.max() - y.min())
    z = franke(u, v)
    g = np.linspace(0.0, 1.0, size)
    exact = franke(*np.meshgrid(g, g))
    inside = ~np.isnan(lumutil.ScatteredSurface(u, v, z, method="linear", dedupe="mean").grid(g, g))
    print(f"Accuracy on Franke's function at the {len(np.unique(np.column_stack([u, v]), axis=0))} "
          f"distinct survey locations, {inside.sum()} of {size}x{size} grid nodes inside the hull:")
    print(f"  {'method':<20}{'RMS error':>12}{'max error':>12}{'range excess':>14}")
    for name, build, evaluate in methods(workers):
        grid = evaluate(build(u, v, z), g, g)
        err = grid[inside] - exact[inside]
        excess = max(0.0, grid[inside].max() - z.max(), z.min() - grid[inside].min())
        print(f"  {name:<20}{np.sqrt(np.mean(err ** 2)):>12.5f}{np.abs(err).max():>12.5f}{excess:>14.5f}")


def timings(points, size, repeats, workers, seed):
    """Preparation and grid evaluation times on uniform random points."""
    rng = np.random.default_rng(seed)
    x, y = rng.random(points), rng.random(points)
    z = franke(x, y)
    g = np.linspace(0.0, 1.0, size)
    print(f"Timings, {points} uniform random points, {size}x{size} grid "
          f"(best of {repeats}; lumutil workers={workers}):")
    print(f"  {'method':<20}{'prepare s':>12}{'grid s':>12}")
    rows = {}
    for name, build, evaluate in methods(workers):
        prep, model = best_time(lambda: build(x, y, z), repeats)
        grid_time, _ = best_time(lambda: evaluate(model, g, g), repeats)
        rows[name] = (prep, grid_time)
        print(f"  {name:<20}{prep:>12.4f}{grid_time:>12.4f}")
    if "scipy CloughTocher" in rows:
        ours, theirs = rows["lumutil smooth"], rows["scipy CloughTocher"]
        print(f"  lumutil smooth / scipy CloughTocher: prepare x{ours[0] / theirs[0]:.2f}, "
              f"grid x{ours[1] / theirs[1]:.2f}")


def picture(x, y, z, size, workers, path):
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not available: no picture")
        return
    xg = np.linspace(x.min(), x.max(), size)
    yg = np.linspace(y.min(), y.max(), size)
    panels = [(name, evaluate(build(x, y, z), xg, yg)) for name, build, evaluate in methods(workers)]
    panels = [p for p in panels if p[0] != "scipy linear"]
    fig, axes = plt.subplots(1, len(panels), figsize=(5 * len(panels), 4.6), constrained_layout=True)
    axes = np.atleast_1d(axes)
    for ax, (name, grid) in zip(axes, panels):
        # One colour scale, the data's range, so that overshoot shows as saturation.
        image = ax.imshow(grid, origin="lower", extent=(xg[0], xg[-1], yg[0], yg[-1]),
                          vmin=z.min(), vmax=z.max(), cmap="viridis")
        ax.plot(x, y, "k.", markersize=2)
        ax.set_title(name)
        ax.set_aspect("equal")
    fig.colorbar(image, ax=list(axes), shrink=0.8, label="height (m)")
    fig.savefig(path, dpi=90)
    print(f"picture written to {path}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=os.path.join(ROOT, "data", "survey_points.csv"))
    parser.add_argument("--points", type=int, default=10000, help="random points for the timings")
    parser.add_argument("--grid", type=int, default=500, help="grid size for the timings")
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--workers", type=int, default=-1)
    parser.add_argument("--output", default="compare_scipy.png", help="picture file ('' for none)")
    args = parser.parse_args()

    print(f"lumutil {lumutil.__version__}; numpy {np.__version__}; "
          + ("scipy " + __import__("scipy").__version__ if CloughTocher2DInterpolator else "scipy not available"))
    x, y, z = load_survey(args.data)
    accuracy(x, y, 200, args.workers)
    smooth = lumutil.ScatteredSurface(x, y, z, dedupe="mean")
    g = smooth.grid(np.linspace(x.min(), x.max(), 200), np.linspace(y.min(), y.max(), 200))
    report = smooth.overshoot(g)
    print(f"Survey heights, smooth surface on its bounding box: {report.count} of {g.size} nodes outside "
          f"[{report.data_min:.3f}, {report.data_max:.3f}], by at most {max(report.below, report.above):.3f}")
    timings(args.points, args.grid, args.repeats, args.workers, seed=1)
    if args.output:
        picture(x, y, z, 200, args.workers, args.output)


if __name__ == "__main__":
    main()
