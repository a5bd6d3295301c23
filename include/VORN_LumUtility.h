// VORN_LumUtility: numerical routines for measured data, angles and coordinates.
//
// Rules every function shares
// - The caller owns every array and vector it passes; the library allocates only
//   temporaries and releases them before returning.
// - Positions count from 0, except in the scattered-data family (sdbi3p_,
//   Calculate_, sdpd3p_, sdsf3p_), whose arguments are all pointers and whose
//   stored point, triangle and segment numbers count from 1.
// - Failures are reported by a bool result (false), an int code, a status
//   argument, or a bool& flag that the library only ever clears. Degenerate
//   numbers (empty selections, zero divisors, singular systems) are not errors:
//   they give the IEEE result of the formula (NaN, infinity, -0.0).
// - Lengths and index ranges are the caller's duty unless a comment says that
//   the function checks them. The library throws nothing of its own; standard
//   exceptions (std::bad_alloc, std::length_error, std::out_of_range) pass through.
// - Concurrency: every function may run concurrently on distinct data. The
//   scattered-data family keeps only its remembered counts between calls
//   (process-wide atomics); its section says which of its calls may overlap.
//
// Units: degrees for the spherical conversions, mlaRotateAroundAxis and
// solveVectorsRelAng; radians for rotation_x/y/z; arc-seconds in the encoder
// calibration table.
#ifndef VORN_LUMUTILITY_H
#define VORN_LUMUTILITY_H

#include <vector>

#if defined(_WIN32)
#define LUM_API __declspec(dllexport)
#else
#define LUM_API __attribute__((visibility("default")))
#endif

// ---------------------------------------------------------------------------
// Sample statistics on vectors. Sums start at 0.0 and run in index order.
// ---------------------------------------------------------------------------

// Mean of all elements (NaN when empty).
LUM_API double mean(std::vector<double> v);
// Population variance about the caller's centre m: sum (m - x)^2 / N.
LUM_API double variance(std::vector<double> v, double m);
// Square root of variance(v, m) (divisor N).
LUM_API double stdDev(std::vector<double> v, double m);
// Mean of the first min(n, size) elements (NaN for none, -0.0 for n < 0).
LUM_API double calAvg(int n, const std::vector<double>& v);
// calAvg of v[first .. min(last, size) - 1]; first < 0 throws std::out_of_range,
// first past the clamped end throws std::length_error.
LUM_API double calAvg2(int first, int last, const std::vector<double>& v);
// Sample standard deviation (divisor c - 1) of the first c = min(n, size) elements.
LUM_API double calStdev(int n, const std::vector<double>& v);
// calStdev of v[first .. min(last, size) - 1]; range errors as calAvg2.
LUM_API double calStdev2(int first, int last, const std::vector<double>& v);
// One pass of k-sigma clipping over the first c elements: mean of the elements
// strictly inside (mean - k*s, mean + k*s); the plain mean when none is inside.
LUM_API double calAvgSigma(int n, const std::vector<double>& v, double k);
// calAvgSigma of v[first .. min(last, size) - 1]; range errors as calAvg2.
LUM_API double calAvgSigma2(int first, int last, const std::vector<double>& v, double k);

// ---------------------------------------------------------------------------
// Masked statistics, median and sorts. A null mask selects every sample.
// ---------------------------------------------------------------------------

// Mean of the selected samples among x[0 .. n-1]; 0.0 when none is selected.
LUM_API double avg(const int& n, const double* x, const bool* mask);
// Sample standard deviation (divisor m - 1) of the m selected samples; 0.0 when
// none is selected, NaN when one is.
LUM_API double stdev(const int& n, const double* x, const bool* mask);
// Median of v[first .. last], both ends included; an invalid range throws
// std::out_of_range.
LUM_API double median(std::vector<double> v, int first, int last);
// Position (0, 1 or 2) of the middle one of a, b, c; lowest position on ties,
// 3 when nothing compares equal (NaN input).
LUM_API int mid_value(float a, float b, float c);
// Sorts a[lo .. hi] (both included) ascending in place; lo >= hi does nothing.
LUM_API void Qsort(float* const a, unsigned int lo, unsigned int hi);
// Sorts x[0 .. n-1] ascending in place; n <= 0 does nothing. Calls may overlap
// on distinct arrays.
LUM_API void sortAscending(int n, double* x);

// ---------------------------------------------------------------------------
// Outlier rejection. Kept samples are appended to `cleaned`, their 0-based
// positions written to `kept`.
// ---------------------------------------------------------------------------

// Sliding-window median test: a sample is rejected when it lies more than
// k * 1.4826 * MAD from the median of its window of half-width w. A negative
// w is taken as 0 (every sample kept).
LUM_API void removeOutlierFuncMedian(const std::vector<double>& data, std::vector<double>& cleaned,
                                     std::vector<int>& kept, int w, double k);
// Iterated modified Thompson tau test, removing at most trunc(N * fraction)
// samples; `flag` is cleared when the spread stays too large.
LUM_API void removeOutlierFuncTau(const std::vector<double>& data, std::vector<double>& cleaned,
                                  std::vector<int>& kept, double fraction, bool& flag);

// ---------------------------------------------------------------------------
// Moving buffers and simple filters.
// ---------------------------------------------------------------------------

// Pushes x into the window array; n counts the samples so far including x.
// Returns the mean of the last min(n, w) samples; w = 0, n <= 0 or w < 0
// return x and write nothing.
LUM_API double MovingFilter(double* window, int n, int w, double x);
// Shifts buf[0 .. n-1] one place toward the front and stores x last; n <= 0
// writes nothing.
LUM_API void ShiftMovingBuffer(double* buf, int n, double x);
// One scalar Kalman step for measurement z: updates estimate and error variance.
LUM_API void KalmanFilter(double z, double& estimate, double& errorVariance);
// Replaces data by its moving average over an effective window; the result
// holds n - w values.
LUM_API void movingAverage(int window, std::vector<double>& data);

// ---------------------------------------------------------------------------
// Convolution, Gaussian and rate filters. A mask entry false marks a rejected
// sample; the filters only ever clear mask entries.
// ---------------------------------------------------------------------------

// Replaces samples outside [lower, upper] by `replacement` and clears their
// mask; false (nothing changed) if n < 1 or lower > upper.
LUM_API bool bandFilter(const int& n, const double& lower, const double& upper,
                        const double& replacement, double* signal, bool* mask);
// Correlates the signal (n samples) with the kernel (k taps, k odd), taps past
// the ends dropped; false (nothing written) if n < 1 or k is even or negative.
LUM_API bool convFilter(const int& n, const int& k, const double* kernel, const double* signal,
                        double* out);
// Writes k taps (k odd) of the normal density with standard deviation sigma
// (in samples) at offsets -k/2 .. k/2, not rescaled to sum to 1; false
// (nothing written) if k is even or negative.
LUM_API bool gaussianFilter(const int& k, const double& sigma, double* kernel);
// Writes a derivative-of-Gaussian kernel of k taps (k odd); false (nothing
// written) if k is even or negative.
LUM_API bool doGFilter(const int& k, const double& sigma, double* kernel);
// Rate-of-change rejection over a read-only vector; returns the mean of the
// samples still valid, 0.0 on failure or when none is. Reads through at(), so
// n past the vector's end throws std::out_of_range.
LUM_API double rateFilter(int n, const std::vector<double>& signal, int k);
// Rate-of-change rejection in place: clears the mask of rejected samples; true
// when all `passes` value passes ran.
LUM_API bool rateFilter(const int& n, const int& k, const int& passes, double* signal, bool* mask);

// ---------------------------------------------------------------------------
// Matrix operations on flat row-major arrays of doubles.
// ---------------------------------------------------------------------------

// Writes the n x n identity.
LUM_API void EyeMatrix(double* m, int n);
// Writes n x n zeros.
LUM_API void ZeroMatrix(double* m, int n);
// c (m x p) = a (m x n) * b (n x p).
LUM_API void MatrixMultiply(const double* a, const double* b, int m, int n, int p, double* c);
// Replaces the rows x cols matrix by its cols x rows transpose in the same
// array. A zero dimension leaves m unchanged; a negative dimension throws
// std::bad_array_new_length.
LUM_API void MatrixTransform(double* const m, int rows, int cols);
// Multiplies det by the determinant of the leading n x n block (n from 1 to 4)
// of m; n > 4 sets det to NaN.
LUM_API void MatrixDeterminant(double& det, double (*const m)[4], int n);
// Inverts the n x n matrix in place by Gauss-Jordan elimination with full
// pivoting; false if it is singular (the array is then left part-way through
// the elimination). n = 0 returns true, n < 0 returns false.
LUM_API bool MatrixInverse(double* a, int n);

// ---------------------------------------------------------------------------
// Least-squares polynomial fits. Coefficients ascend: element 0 is the constant.
// ---------------------------------------------------------------------------

// Fits a polynomial of `degree` to n interleaved points (x0, y0, x1, y1, ...);
// 1 on success, 0 (coefficients untouched) for a singular fit or bad counts.
LUM_API int JPolyfit(int n, double* points, int degree, double* coefficients);
// Value at x of the polynomial with degree + 1 coefficients; 0.0 for degree < 0.
LUM_API double PolyCalc(double x, double* coefficients, int degree);
// Least-squares polynomial of `degree` through the points (x[i], y[i]),
// i < y.size(): the first vector holds the observations y, the second the
// abscissae x (at least as many; extras ignored). 1 on success; 0 (coefficients
// untouched) for a singular fit, a negative degree or too few x values.
LUM_API int linearFit(std::vector<double> y, std::vector<double> x, int degree, double* coefficients);
// Polynomial fit to interleaved points that come in runs of repeated readings,
// with tau-test outlier rejection inside runs, across run means and on the
// straight-line residuals. Returns -1 and clears `flag` when the first fit
// fails, otherwise the second fit's result (1 or 0); the tau tests may also
// clear `flag`.
LUM_API int JPolyfitRemoverOutlier(int n, double* points, int degree, double* coefficients, bool& flag);

// ---------------------------------------------------------------------------
// Natural cubic splines. Four coefficients (a, b, c, d) per segment give
// a + b*u + c*u^2 + d*u^3, u measured from the segment's left knot.
// ---------------------------------------------------------------------------

// Coefficients (4n values, written in place, never resized) of the natural
// spline through n + 1 knots; does nothing if a vector is too short.
LUM_API void CubicSplines(std::vector<float>& x, std::vector<float>& y, int n,
                          std::vector<double>& coefficients);
// Coefficients (4n doubles) of the natural spline through n + 1 knots.
LUM_API void CubicSplines(float* x, float* y, int n, double* coefficients);
// Solves the N equations in rows 1..N (4 doubles per row: diagonal,
// super-diagonal, right-hand side, sub-diagonal) by elimination without
// pivoting into solution[1..N]; the eliminated rows are left in system. N = 0
// solves row 0 into solution[0]; N < 0 does nothing.
LUM_API void tridiag(double* system, int n, double* solution);
// Value of the spline at t, rounded to float. x holds the n + 1 knots, then the
// lowest and highest acceptable value and a divisor (n + 4 floats). *flag is set
// when t is outside [x[0], x[n]] or the value is outside the limits, and cleared
// otherwise. Boundary cases:
//   t below x[0] or above x[n]   -> t / divisor (single precision), flag set
//   t on a knot x[i], i < n      -> segment i
//   t == x[n]                    -> last segment
//   check == false or n <= 0     -> t unchanged, flag cleared
LUM_API float CalcSpline(bool check, float* x, double* coefficients, int n, float t, bool* flag);

// ---------------------------------------------------------------------------
// Coordinate geometry. v holds (x, y, z) in and (H, V, R) out, angles in degrees.
// ---------------------------------------------------------------------------

// Cartesian (x, y, z) to horizontal angle H, vertical angle V (degrees) and range R.
LUM_API void ConvertCartesianToSphericalCoordinates(double* v);
// As above, with H and V chosen nearest to the reference angles (degrees).
LUM_API void ConvertCartesianToSphericalCoordinates(double* v, float refH, float refV);
// As above, with H moved toward refH (degrees); the flag is not used.
LUM_API void ConvertCartesianToSphericalCoordinates(double* v, float refH, bool flag);
// out = a x b (3-vectors).
LUM_API void CrossMultiply(double* const a, double* const b, double* const out);
// m = 3 x 3 rotation about the x axis by angle (radians); returns 0.
LUM_API int rotation_x(double* m, double angle);
// m = 3 x 3 rotation about the y axis by angle (radians); returns 0.
LUM_API int rotation_y(double* m, double angle);
// m = 3 x 3 rotation about the z axis by angle (radians); returns 0.
LUM_API int rotation_z(double* m, double angle);
// out = in rotated by angle (degrees) about axis; the axis is normalised in place.
LUM_API void mlaRotateAroundAxis(double* const axis, double angle, double* const in, double* const out);
// out = unit vector at angleB (degrees) from b and angleC from c, the one of
// the two solutions nearer to ref; -1 (out untouched) when none exists or when
// b and c have parallel x-y projections.
LUM_API int solveVectorsRelAng(double* const ref, double* const b, double* const c, double angleB,
                               double angleC, double* const out);

// ---------------------------------------------------------------------------
// Grid interpolation and encoder calibration.
// ---------------------------------------------------------------------------

// Writes into lower and upper the bracketing nodes of the ascending grid of
// `count` nodes: upper is the first node not below value. Boundary cases:
//   below or at the first node   -> the first cell (grid[0], grid[1])
//   between two nodes            -> that cell
//   on an interior node          -> the cell below that node
//   on the last node             -> the last cell
//   above the last node, count < 1, or count == 1 -> lower and upper untouched
LUM_API void getNeighbours(double value, int count, double* grid, double& lower, double& upper);
// Trilinear interpolation at (x, y, z) in the library's built-in 3 x 3 x 2 table
// (x nodes -15, 0, 15; y nodes -10, 0, 10; z nodes -5, 5), each node's value the
// sum of its two tabulated components; 0.0 outside the box
// [-15, 15] x [-10, 10] x [-5, 5], whose faces count as inside.
LUM_API double getTrilinearInterpolation(double x, double y, double z);
// Trilinear blend of eight corner values at the fractions tx, ty, tz.
LUM_API double getTrilinearInterpolationNew(double* values, int* corners, double tx, double ty, double tz);
// Ordinate at x of the line through (x0, y0) and (x1, y1).
LUM_API double linearInterpolation(double x, double x0, double y0, double x1, double y1);
// Corrected encoder angle: the reading minus the table's correction
// (arc-seconds) interpolated at the reading's position; rounded to float.
LUM_API float encoderCalibration(double reading, unsigned int count, float* table);

// ---------------------------------------------------------------------------
// Scattered-data surface (x, y, z): Delaunay triangulation, estimated partial
// derivatives and a C1 quintic per triangle, extended outside the data hull.
// Every argument is a pointer; stored numbers count from 1. The outcome is in
// *status: 0 success, 1 fewer than 10 points, 2 re-use mode with another point
// count, 3 no output points (sdsf3p_: xCount < 1), 4 yCount < 1, 9 the
// triangulation failed (first three points collinear, a repeated point, a NaN
// or infinite data coordinate, or orientation tests that contradict each other
// on nearly collinear data). An output point with a NaN or infinite coordinate
// gets NaN in its zOut/zGrid entry.
// work holds 17 * pointCount doubles, iwork 39 * pointCount ints.
// Concurrency: calls on distinct work arrays may run at the same time. On one
// prepared surface, Calculate_ and the mode 3 calls of sdbi3p_ and sdsf3p_ only
// read xData, yData, zData, work and iwork, so any number of them may run at
// once, each with its own output array; the library starts no thread. A call
// that writes the work arrays (sdbi3p_ or sdsf3p_ in any mode other than 3, and
// sdpd3p_) must not overlap another call on the same arrays. Each driver's
// remembered pointCount, and the mesh counts that sdsf3p_ keeps for its modes 2
// and 3, are process-wide: a mode 2 or 3 call is checked against the same
// driver's last call in another mode, from whichever thread, and sdsf3p_ in
// mode 2 or 3 must not overlap a full sdsf3p_ preparation. A call allocates
// search indexes proportional to pointCount and releases them before it returns.
// ---------------------------------------------------------------------------

// Interpolates at outCount points. mode 1: full preparation; 2: same (x, y),
// new z; 3: reuse everything in work/iwork and the two counts.
LUM_API int sdbi3p_(int* mode, int* pointCount, double* xData, double* yData, double* zData, int* outCount,
                    double* xOut, double* yOut, double* zOut, int* status, double* work, int* iwork,
                    int* borderCount, int* triCount);
// Evaluates more points on a surface that sdbi3p_ prepared in work/iwork.
LUM_API int Calculate_(int* mode, int* pointCount, double* xData, double* yData, double* zData,
                       int* outCount, double* xOut, double* yOut, double* zOut, int* status, double* work,
                       int* iwork, int borderCount, int triCount);
// Estimates zx, zy, zxx, zxy, zyy at each of the pointCount data points (5 per
// point in partials) from local cubic (or lower) fits and a weighted mean over
// neighbouring fits; also fills cubicCoef (9n), planeCoef (2n), nearest (9n),
// fitCount and fitDegree (n each); distSq and distOrder (n each) are scratch.
// distSq and distOrder are left as the neighbour selection of the last point
// leaves them. Always returns 0; with fewer than 10 points nothing is written.
// Allocates O(n) temporary storage, released before it returns, and keeps no
// state between calls, so calls on distinct arrays may overlap.
LUM_API int sdpd3p_(int* pointCount, double* xData, double* yData, double* zData, double* partials,
                    double* cubicCoef, double* planeCoef, double* distSq, int* distOrder, int* nearest,
                    int* fitCount, int* fitDegree);
// Interpolates on the xCount x yCount grid (x fastest) into zGrid.
LUM_API int sdsf3p_(int* mode, int* pointCount, double* xData, double* yData, double* zData, int* xCount,
                    double* xGrid, int* yCount, double* yGrid, double* zGrid, int* status, double* work,
                    int* iwork);

#endif  // VORN_LUMUTILITY_H
