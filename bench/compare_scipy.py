#!/usr/bin/python3
"""Times the scattered-data surface of VORN_LumUtility against scipy.

The same data go through both in one run: n uniform random points in the unit
square with Franke's function as values, then
  preparation  the library's sdbi3p_ mode 1 (one output point) against
               building scipy's CloughTocher2DInterpolator;
  grid         a 1000 x 1000 grid over the unit square through sdsf3p_ mode 3
               against evaluating the interpolator on the same nodes;
  random       10,000 random points through Calculate_ against the
               interpolator at the same points.
Each time is the median of --repeat runs, as wall-clock and as process CPU
time (the ratio uses CPU time, which other load on the machine disturbs
less). Single thread throughout. The library is called through ctypes;
scipy is used where /usr/bin/python3 has it (Debian's python3-scipy).

Usage: bench/compare_scipy.py [--lib path/to/VORN_LumUtility.so]
                              [--sizes 1000,10000,100000] [--large] [--repeat 3]
"""

import argparse
import ctypes
import glob
import os
import statistics
import subprocess
import sys
import time

for var in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(var, "1")

import numpy as np  # noqa: E402

try:
    from scipy.interpolate import CloughTocher2DInterpolator
except ImportError:  # the library is still timed
    CloughTocher2DInterpolator = None

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GRID = 1000
RANDOM_POINTS = 10000


def franke(x, y):
    return (0.75 * np.exp(-((9 * x - 2) ** 2 + (9 * y - 2) ** 2) / 4)
            + 0.75 * np.exp(-((9 * x + 1) ** 2) / 49 - (9 * y + 1) / 10)
            + 0.5 * np.exp(-((9 * x - 7) ** 2 + (9 * y - 3) ** 2) / 4)
            - 0.2 * np.exp(-((9 * x - 4) ** 2) - (9 * y - 7) ** 2))


class Library:
    """The three drivers, found by name in the shared library's symbol table
    (they are C++ functions, so their linker names carry the parameter types)."""

    def __init__(self, path):
        self.dll = ctypes.CDLL(path)
        names = subprocess.run(["nm", "-D", "--defined-only", path], check=True, capture_output=True,
                               text=True).stdout.split()
        def symbol(prefix):
            found = [s for s in names if s.startswith(prefix)]
            if len(found) != 1:
                sys.exit(f"{path}: expected one symbol starting {prefix}, found {found}")
            return getattr(self.dll, found[0])
        self.sdbi3p = symbol("_Z7sdbi3p_")
        self.calculate = symbol("_Z10Calculate_")
        self.sdsf3p = symbol("_Z7sdsf3p_")
        self.sdbi3p.restype = self.calculate.restype = self.sdsf3p.restype = ctypes.c_int

    @staticmethod
    def ptr(array):
        kind = ctypes.c_double if array.dtype == np.float64 else ctypes.c_int
        return array.ctypes.data_as(ctypes.POINTER(kind))


def ints(*values):
    return [np.array([v], dtype=np.int32) for v in values]


def timed(function, repeat):
    """Median wall-clock and CPU seconds of `repeat` calls, and the last result."""
    walls, cpus, result = [], [], None
    for _ in range(repeat):
        w, c = time.perf_counter(), time.process_time()
        result = function()
        walls.append(time.perf_counter() - w)
        cpus.append(time.process_time() - c)
    return statistics.median(walls), statistics.median(cpus), result


def run_size(lib, n, repeat, rows):
    rng = np.random.default_rng(12345 + n)
    x, y = rng.random(n), rng.random(n)
    z = franke(x, y)
    xr, yr = rng.random(RANDOM_POINTS), rng.random(RANDOM_POINTS)
    g = np.linspace(0.0, 1.0, GRID)
    work = np.zeros(17 * n)
    iwork = np.zeros(39 * n, dtype=np.int32)
    p = Library.ptr
    prepare_repeat = repeat if n <= 100000 else 1

    # Library: full preparation through sdbi3p_ with one output point.
    mode, count, one, status, border, tri = ints(1, n, 1, -1, 0, 0)
    px, py, pz = np.array([0.5]), np.array([0.5]), np.zeros(1)
    def prepare():
        lib.sdbi3p(p(mode), p(count), p(x), p(y), p(z), p(one), p(px), p(py), p(pz), p(status), p(work),
                   p(iwork), p(border), p(tri))
        if status[0] != 0:
            sys.exit(f"sdbi3p_ failed with status {status[0]} at n = {n}")
    lib_prep = timed(prepare, prepare_repeat)

    # Library: the grid through sdsf3p_ mode 3 after its own preparation.
    gz = np.zeros(GRID * GRID)
    nx, ny = ints(GRID, GRID)
    corner = np.zeros(1)
    lib.sdsf3p(p(mode), p(count), p(x), p(y), p(z), p(one), p(g), p(one), p(g), p(corner), p(status), p(work),
               p(iwork))
    reuse, = ints(3)
    def grid():
        lib.sdsf3p(p(reuse), p(count), p(x), p(y), p(z), p(nx), p(g), p(ny), p(g), p(gz), p(status), p(work),
                   p(iwork))
        return gz.reshape(GRID, GRID).copy()
    lib_grid = timed(grid, repeat)

    # Library: random points through Calculate_ on the prepared surface.
    zr = np.zeros(RANDOM_POINTS)
    outs, = ints(RANDOM_POINTS)
    def random_points():
        lib.calculate(p(mode), p(count), p(x), p(y), p(z), p(outs), p(xr), p(yr), p(zr), p(status), p(work),
                      p(iwork), ctypes.c_int(border[0]), ctypes.c_int(tri[0]))
        return zr.copy()
    lib_random = timed(random_points, repeat)

    sci = [None, None, None]
    if CloughTocher2DInterpolator is not None:
        points = np.column_stack([x, y])
        sci[0] = timed(lambda: CloughTocher2DInterpolator(points, z), prepare_repeat)
        interpolator = sci[0][2]
        gx, gy = np.meshgrid(g, g)  # row j holds y = g[j], x fastest, like sdsf3p_
        sci[1] = timed(lambda: interpolator(gx, gy), repeat)
        sci[2] = timed(lambda: interpolator(xr, yr), repeat)

    truth = franke(*np.meshgrid(g, g))
    for stage, mine, theirs in (("preparation", lib_prep, sci[0]), (f"grid {GRID}x{GRID}", lib_grid, sci[1]),
                                (f"{RANDOM_POINTS} random points", lib_random, sci[2])):
        rows.append((n, stage, mine, theirs))
    inside = np.isfinite(sci[1][2]) if sci[1] else np.ones_like(truth, dtype=bool)
    lib_err = np.sqrt(np.mean((lib_grid[2][inside] - truth[inside]) ** 2))
    sci_err = np.sqrt(np.mean((sci[1][2][inside] - truth[inside]) ** 2)) if sci[1] else float("nan")
    rows.append((n, f"rms error on the grid: library {lib_err:.2e}, scipy {sci_err:.2e}", None, None))


def default_library():
    found = sorted(glob.glob(os.path.join(REPO, "build*", "src", "VORN_LumUtility.so")), key=os.path.getmtime)
    return found[-1] if found else None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--lib", default=default_library(), help="path of VORN_LumUtility.so (Release build)")
    parser.add_argument("--sizes", default="1000,10000,100000", help="comma-separated point counts")
    parser.add_argument("--large", action="store_true", help="also n = 1,000,000")
    parser.add_argument("--repeat", type=int, default=3, help="runs per timing (median)")
    args = parser.parse_args()
    if not args.lib or not os.path.exists(args.lib):
        sys.exit("no VORN_LumUtility.so found: build the library and pass --lib")
    lib = Library(args.lib)
    sizes = [int(s) for s in args.sizes.split(",") if s]
    if args.large:
        sizes.append(1000000)
    if CloughTocher2DInterpolator is None:
        print("scipy not found for this python: library times only (apt-get install python3-scipy)")

    rows = []
    for n in sizes:
        run_size(lib, n, args.repeat, rows)

    print(f"library: {args.lib}")
    print(f"{'n':>8}  {'stage':<22} {'library wall':>12} {'cpu':>8}  {'scipy wall':>10} {'cpu':>8}  "
          f"{'library/scipy (cpu)':>19}")
    for n, stage, mine, theirs in rows:
        if mine is None:
            print(f"{n:>8}  {stage}")
            continue
        line = f"{n:>8}  {stage:<22} {mine[0]:>11.4f}s {mine[1]:>7.4f}s"
        if theirs is not None:
            line += f"  {theirs[0]:>9.4f}s {theirs[1]:>7.4f}s  {mine[1] / theirs[1]:>19.2f}"
        print(line)


if __name__ == "__main__":
    main()
