// Dense matrix record and the raw-array matrix operations.
#include <VORN_LumUtility.h>

#include "linalg/dense_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>
#include <random>
#include <vector>

namespace {

using lum::DenseMatrix;

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

DenseMatrix makeMatrix(int rows, int cols, const std::vector<double>& values) {
  DenseMatrix m(rows, cols);
  for (std::size_t i = 0; i < values.size(); ++i) m.data[i] = values[i];
  return m;
}

std::vector<double> contents(const DenseMatrix& m) {
  return std::vector<double>(m.data, m.data + m.rows * m.cols);
}

std::vector<double> randomValues(std::mt19937& rng, std::size_t count) {
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> values(count);
  for (double& v : values) v = uniform(rng);
  return values;
}

// Laplace expansion along the first row: an independent slow determinant.
// `scale` receives the same expansion with every term taken in magnitude,
// which bounds the rounding error of any elimination.
double cofactorDeterminant(const std::vector<std::vector<double>>& m, double& scale) {
  const std::size_t n = m.size();
  if (n == 1) {
    scale = std::fabs(m[0][0]);
    return m[0][0];
  }
  double det = 0.0;
  scale = 0.0;
  for (std::size_t c = 0; c < n; ++c) {
    std::vector<std::vector<double>> minor;
    for (std::size_t r = 1; r < n; ++r) {
      std::vector<double> row;
      for (std::size_t k = 0; k < n; ++k)
        if (k != c) row.push_back(m[r][k]);
      minor.push_back(row);
    }
    double minorScale = 0.0;
    const double sign = c % 2 == 0 ? 1.0 : -1.0;
    det += sign * m[0][c] * cofactorDeterminant(minor, minorScale);
    scale += std::fabs(m[0][c]) * minorScale;
  }
  return det;
}

// ---------------------------------------------------------------------------
// DenseMatrix
// ---------------------------------------------------------------------------

TEST(DenseMatrix, SizeConstructionTurnsZeroDimensionsIntoOneAndZeroFills) {
  const DenseMatrix flat(0, 3);
  EXPECT_EQ(flat.rows, 1u);
  EXPECT_EQ(flat.cols, 3u);
  EXPECT_EQ(contents(flat), std::vector<double>(3, 0.0));

  const DenseMatrix single(0, 0);
  EXPECT_EQ(single.rows, 1u);
  EXPECT_EQ(single.cols, 1u);
  EXPECT_EQ(single.data[0], 0.0);

  const DenseMatrix tall(4, 2);
  EXPECT_EQ(contents(tall), std::vector<double>(8, 0.0));
}

TEST(DenseMatrix, SizesWhoseElementCountCannotBeFormedAreRefused) {
  // 65536 x 65536 would wrap the 32-bit element count to zero.
  EXPECT_THROW(DenseMatrix(65536, 65536), std::bad_array_new_length);
  EXPECT_THROW(DenseMatrix(-1, 3), std::bad_array_new_length);
  EXPECT_THROW(DenseMatrix(3, -2), std::bad_array_new_length);
}

TEST(DenseMatrix, CopyIsDeepAndRowAddressesRowMajorStorage) {
  DenseMatrix original = makeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(original.row(1)[0], 4.0);
  EXPECT_EQ(original.row(1)[2], 6.0);
  EXPECT_EQ(original.row(0) + 3, original.row(1));

  DenseMatrix copy(original);
  EXPECT_NE(copy.data, original.data);
  copy.row(0)[1] = 99.0;
  EXPECT_EQ(original.row(0)[1], 2.0);
  EXPECT_EQ(copy.rows, 2u);
  EXPECT_EQ(copy.cols, 3u);
  EXPECT_EQ(contents(copy), (std::vector<double>{1, 99, 3, 4, 5, 6}));
}

TEST(DenseMatrix, TransposeSwapsShapeAndElementsAndTwiceRestores) {
  DenseMatrix m = makeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(&m.transpose(), &m);
  EXPECT_EQ(m.rows, 3u);
  EXPECT_EQ(m.cols, 2u);
  EXPECT_EQ(contents(m), (std::vector<double>{1, 4, 2, 5, 3, 6}));
  m.transpose();
  EXPECT_EQ(m.rows, 2u);
  EXPECT_EQ(m.cols, 3u);
  EXPECT_EQ(contents(m), (std::vector<double>{1, 2, 3, 4, 5, 6}));
}

TEST(DenseMatrix, MultiplyGivesTheProductAndAgreesBitwiseWithMatrixMultiply) {
  const DenseMatrix a = makeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
  const DenseMatrix b = makeMatrix(3, 2, {7, 8, 9, 10, 11, 12});
  DenseMatrix c(2, 2);
  EXPECT_EQ(&c.multiply(a, b), &c);
  EXPECT_EQ(contents(c), (std::vector<double>{58, 64, 139, 154}));

  // A used result record is cleared element by element, not accumulated into.
  c.multiply(a, b);
  EXPECT_EQ(contents(c), (std::vector<double>{58, 64, 139, 154}));

  std::mt19937 rng(7);
  for (int trial = 0; trial < 20; ++trial) {
    const int m = 1 + trial % 5, n = 1 + trial % 7, p = 1 + trial % 4;
    const std::vector<double> av = randomValues(rng, m * n), bv = randomValues(rng, n * p);
    DenseMatrix product(m, p);
    product.multiply(makeMatrix(m, n, av), makeMatrix(n, p, bv));
    std::vector<double> expected(m * p);
    MatrixMultiply(av.data(), bv.data(), m, n, p, expected.data());
    EXPECT_EQ(contents(product), expected) << m << "x" << n << "x" << p;
  }
}

TEST(DenseMatrix, MultiplyWithDisagreeingSizesLeavesTheResultAlone) {
  const DenseMatrix a = makeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
  const DenseMatrix b = makeMatrix(3, 2, {7, 8, 9, 10, 11, 12});
  DenseMatrix wrongRows = makeMatrix(3, 2, {-1, -1, -1, -1, -1, -1});
  EXPECT_EQ(&wrongRows.multiply(a, b), &wrongRows);
  EXPECT_EQ(contents(wrongRows), std::vector<double>(6, -1.0));

  DenseMatrix inner(2, 2);
  inner.multiply(a, a);  // 2x3 times 2x3: inner sizes differ
  EXPECT_EQ(contents(inner), std::vector<double>(4, 0.0));
}

TEST(DenseMatrix, SolveSmallSystemsExactly) {
  DenseMatrix a1 = makeMatrix(1, 1, {4.0});
  DenseMatrix b1 = makeMatrix(1, 1, {3.0});
  EXPECT_EQ(a1.solve(b1, 0.0), 1);
  EXPECT_EQ(b1.data[0], 0.75);

  // x + y = 3, x - y = 1  ->  x = 2, y = 1; two right-hand sides at once.
  DenseMatrix a2 = makeMatrix(2, 2, {1, 1, 1, -1});
  DenseMatrix b2 = makeMatrix(2, 2, {3, 4, 1, 0});
  EXPECT_EQ(a2.solve(b2, 0.0), 1);
  EXPECT_EQ(contents(b2), (std::vector<double>{2, 2, 1, 2}));
}

TEST(DenseMatrix, SolveUnderZeroToleranceDividesByAZeroPivot) {
  DenseMatrix a = makeMatrix(2, 2, {1, 2, 2, 4});
  DenseMatrix b = makeMatrix(2, 1, {1, 1});
  EXPECT_EQ(a.solve(b, 0.0), 1);
  EXPECT_EQ(b.data[0], -kInf);
  EXPECT_EQ(b.data[1], kInf);
}

TEST(DenseMatrix, SolveRefusesMismatchedSizesWithoutTouchingAnything) {
  DenseMatrix nonSquare = makeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
  DenseMatrix b = makeMatrix(2, 1, {1, 1});
  EXPECT_EQ(nonSquare.solve(b, 0.0), 0);
  EXPECT_EQ(contents(nonSquare), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(contents(b), (std::vector<double>{1, 1}));

  DenseMatrix square = makeMatrix(2, 2, {1, 2, 3, 4});
  DenseMatrix tall = makeMatrix(3, 1, {1, 1, 1});
  EXPECT_EQ(square.solve(tall, 0.0), 0);
  EXPECT_EQ(contents(square), (std::vector<double>{1, 2, 3, 4}));
  EXPECT_EQ(contents(tall), (std::vector<double>{1, 1, 1}));
}

TEST(DenseMatrix, SolveFailsOnAPivotBelowToleranceAndAcceptsOneEqualToIt) {
  // Pivoting on the 2 scales row (2, 4) to (2, 2) and reduces (1, 3) to
  // (1, 1): the second pivot is 1.
  DenseMatrix a = makeMatrix(2, 2, {1, 3, 2, 4});
  DenseMatrix b = makeMatrix(2, 1, {5, 6});
  EXPECT_EQ(a.solve(b, 1.5), 0);
  EXPECT_EQ(contents(b), (std::vector<double>{5, 6}));
  // The first step was done: row (2, 4) scaled to (2, 2), row (1, 3) reduced
  // to (1, 1); column 0 is never cleared.
  EXPECT_EQ(contents(a), (std::vector<double>{1, 1, 2, 2}));

  DenseMatrix again = makeMatrix(2, 2, {1, 3, 2, 4});
  DenseMatrix rhs = makeMatrix(2, 1, {5, 6});
  EXPECT_EQ(again.solve(rhs, 1.0), 1);
  EXPECT_EQ(contents(rhs), (std::vector<double>{-1, 2}));
}

TEST(DenseMatrix, SolvePivotTieKeepsTheEarlierRow) {
  // |2| and |-2| tie in column 0; pivoting on row 0 leaves (2, 2) and
  // (-2, 6 + 2 * 2) in the consumed matrix, pivoting on row 1 would leave
  // (2, 4 - 2 * -3) and (-2, -3).
  DenseMatrix a = makeMatrix(2, 2, {2, 4, -2, 6});
  DenseMatrix b = makeMatrix(2, 1, {2, 8});
  EXPECT_EQ(a.solve(b, 0.0), 1);
  EXPECT_EQ(contents(a), (std::vector<double>{2, 2, -2, 10}));
  EXPECT_EQ(contents(b), (std::vector<double>{-1, 1}));
}

TEST(DenseMatrix, SolveRandomSystemsSatisfiesTheEquationsColumnByColumn) {
  std::mt19937 rng(11);
  for (int n = 1; n <= 8; ++n) {
    std::vector<double> av = randomValues(rng, n * n);
    for (int i = 0; i < n; ++i) av[i * n + i] += 0.5 * n;  // keep it well conditioned
    const std::vector<double> bv = randomValues(rng, n * 3);

    DenseMatrix a = makeMatrix(n, n, av);
    DenseMatrix b = makeMatrix(n, 3, bv);
    ASSERT_EQ(a.solve(b, 1e-12), 1);
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < 3; ++c) {
        double lhs = 0.0;
        for (int k = 0; k < n; ++k) lhs += av[r * n + k] * b.row(k)[c];
        EXPECT_NEAR(lhs, bv[r * 3 + c], 1e-12) << "n=" << n << " r=" << r << " c=" << c;
      }

    // Each column solved on its own gives the same bits: the elimination does
    // not depend on the other right-hand sides.
    for (int c = 0; c < 3; ++c) {
      DenseMatrix single = makeMatrix(n, n, av);
      DenseMatrix column(n, 1);
      for (int r = 0; r < n; ++r) column.data[r] = bv[r * 3 + c];
      ASSERT_EQ(single.solve(column, 0.0), 1);
      for (int r = 0; r < n; ++r) EXPECT_EQ(column.data[r], b.row(r)[c]);
    }
  }
}

// ---------------------------------------------------------------------------
// Fills, product and transpose on raw arrays
// ---------------------------------------------------------------------------

TEST(MatrixFills, IdentityAndZeroWriteExactlyNByN) {
  std::vector<double> m(10, 7.0);
  EyeMatrix(m.data(), 3);
  EXPECT_EQ(m, (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1, 7}));
  ZeroMatrix(m.data(), 3);
  EXPECT_EQ(m, (std::vector<double>{0, 0, 0, 0, 0, 0, 0, 0, 0, 7}));
  for (double v : m) EXPECT_FALSE(std::signbit(v));

  std::vector<double> untouched(4, 7.0);
  for (int n : {0, -1, -5}) {
    EyeMatrix(untouched.data(), n);
    ZeroMatrix(untouched.data(), n);
  }
  EXPECT_EQ(untouched, std::vector<double>(4, 7.0));
}

TEST(MatrixMultiplyTest, ProductAndDegenerateInnerSize) {
  const double a[] = {1, 2, 3, 4, 5, 6};
  const double b[] = {7, 8, 9, 10, 11, 12};
  double c[5] = {-1, -1, -1, -1, -1};
  MatrixMultiply(a, b, 2, 3, 2, c);
  EXPECT_EQ(std::vector<double>(c, c + 5), (std::vector<double>{58, 64, 139, 154, -1}));

  MatrixMultiply(a, b, 2, 0, 2, c);
  EXPECT_EQ(std::vector<double>(c, c + 5), (std::vector<double>{0, 0, 0, 0, -1}));

  double d[2] = {-1, -1};
  MatrixMultiply(a, b, 0, 3, 2, d);
  MatrixMultiply(a, b, 2, 3, -1, d);
  EXPECT_EQ(d[0], -1.0);
  EXPECT_EQ(d[1], -1.0);
}

TEST(MatrixTransformTest, TransposesInPlace) {
  std::vector<double> m{1, 2, 3, 4, 5, 6};
  MatrixTransform(m.data(), 2, 3);
  EXPECT_EQ(m, (std::vector<double>{1, 4, 2, 5, 3, 6}));

  std::mt19937 rng(3);
  const std::vector<double> original = randomValues(rng, 35);
  std::vector<double> work = original;
  MatrixTransform(work.data(), 5, 7);
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 7; ++c) EXPECT_EQ(work[c * 5 + r], original[r * 7 + c]);
  MatrixTransform(work.data(), 7, 5);
  EXPECT_EQ(work, original);
}

TEST(MatrixTransformTest, ZeroDimensionLeavesTheArrayAndNegativeSizesThrow) {
  std::vector<double> m{1, 2, 3};
  MatrixTransform(m.data(), 0, 3);
  MatrixTransform(m.data(), 3, 0);
  MatrixTransform(m.data(), -2, 0);
  EXPECT_EQ(m, (std::vector<double>{1, 2, 3}));
  EXPECT_THROW(MatrixTransform(m.data(), -1, 3), std::bad_array_new_length);
  EXPECT_THROW(MatrixTransform(m.data(), -1, -3), std::bad_array_new_length);
  EXPECT_THROW(MatrixTransform(m.data(), 65536, 65537), std::bad_array_new_length);
  EXPECT_EQ(m, (std::vector<double>{1, 2, 3}));
}

// ---------------------------------------------------------------------------
// MatrixDeterminant
// ---------------------------------------------------------------------------

double determinantOf(std::vector<std::vector<double>> rows, double det = 1.0) {
  double m[4][4] = {};
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size(); ++c) m[r][c] = rows[r][c];
  MatrixDeterminant(det, m, static_cast<int>(rows.size()));
  return det;
}

TEST(MatrixDeterminantTest, MultipliesIntoTheCallersValue) {
  EXPECT_EQ(determinantOf({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}), 1.0);
  EXPECT_EQ(determinantOf({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 2.0), 2.0);
  EXPECT_EQ(determinantOf({{2, 1}, {1, 3}}, 3.0), 15.0);

  double det = 5.0;
  double m[4][4] = {};
  MatrixDeterminant(det, m, 0);
  EXPECT_EQ(det, 5.0);
}

TEST(MatrixDeterminantTest, RowExchangeAndSmallPivotRules) {
  EXPECT_EQ(determinantOf({{0, 1}, {1, 0}}), -1.0);
  // A small but nonzero pivot is used in place: no exchange, sign kept.
  EXPECT_EQ(determinantOf({{1e-7, 0}, {0, 1}}), 1e-7);
  // A pivot within 1e-6 of 1.0 is neither divided out nor multiplied in.
  EXPECT_EQ(determinantOf({{1.0000005, 0}, {0, 2}}), 2.0);
  // The first nonzero entry below is taken, not the largest: 1.0000005 then
  // falls under the 1.0 shortcut, which pivoting on the 3 would have avoided.
  EXPECT_EQ(determinantOf({{0, 1, 0}, {1.0000005, 0, 0}, {3, 0, 1}}), -1.0);
  EXPECT_EQ(determinantOf({{0, 0, 1, 0}, {0, 0, 0, 1}, {1, 0, 0, 0}, {0, 1, 0, 0}}), 1.0);
  EXPECT_EQ(determinantOf({{0, 1, 0}, {2, 0, 0}, {0, 0, 4}}), -8.0);
  // A NaN counts as nonzero: it is exchanged up and, failing the 1.0 test,
  // never multiplied in.
  EXPECT_EQ(determinantOf({{0, 1}, {kNaN, 0}}), -1.0);
}

TEST(MatrixDeterminantTest, SingularAndOversizedMatrices) {
  EXPECT_EQ(determinantOf({{0, 1, 2}, {0, 3, 4}, {0, 5, 6}}, 7.0), 0.0);
  EXPECT_EQ(determinantOf({{1, 2}, {2, 4}}), 0.0);

  double det = 1.0;
  double m[5][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0, 0, 0, 0}};
  MatrixDeterminant(det, m, 5);
  EXPECT_TRUE(std::isnan(det));
}

TEST(MatrixDeterminantTest, AgreesWithCofactorExpansionOnRandomMatrices) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> uniform(-3.0, 3.0);
  for (int trial = 0; trial < 400; ++trial) {
    const int n = 1 + trial % 4;
    std::vector<std::vector<double>> rows(n, std::vector<double>(n));
    for (auto& row : rows)
      for (double& v : row) v = uniform(rng);
    if (trial % 5 == 0) rows[0][0] = 0.0;  // force a row exchange
    double scale = 0.0;
    const double expected = cofactorDeterminant(rows, scale);
    const double actual = determinantOf(rows);
    EXPECT_NEAR(actual, expected, 1e-12 * scale) << "trial " << trial << " n=" << n;
    // Scaling the incoming value by a power of two scales the result exactly.
    EXPECT_EQ(determinantOf(rows, 0.25), actual * 0.25);
  }
}

// ---------------------------------------------------------------------------
// MatrixInverse
// ---------------------------------------------------------------------------

TEST(MatrixInverseTest, DiagonalAndExchangeMatricesGiveNegativeZeros) {
  double diagonal[] = {2, 0, 0, 4};
  ASSERT_TRUE(MatrixInverse(diagonal, 2));
  EXPECT_EQ(diagonal[0], 0.5);
  EXPECT_EQ(diagonal[3], 0.25);
  EXPECT_EQ(diagonal[1], 0.0);
  EXPECT_EQ(diagonal[2], 0.0);
  EXPECT_TRUE(std::signbit(diagonal[1]));
  EXPECT_TRUE(std::signbit(diagonal[2]));

  double exchange[] = {0, 1, 1, 0};
  ASSERT_TRUE(MatrixInverse(exchange, 2));
  EXPECT_EQ(exchange[1], 1.0);
  EXPECT_EQ(exchange[2], 1.0);
  EXPECT_TRUE(std::signbit(exchange[0]));
  EXPECT_TRUE(std::signbit(exchange[3]));
}

TEST(MatrixInverseTest, ScaledPermutationInvertsExactly) {
  // Every step pivots off the diagonal, so both exchanges and their undoing
  // are exercised; powers of two keep the arithmetic exact.
  const int n = 4;
  const int target[n] = {2, 0, 3, 1};
  const double scale[n] = {8, 0.5, 2, 4};
  std::vector<double> a(n * n, 0.0);
  for (int r = 0; r < n; ++r) a[r * n + target[r]] = scale[r];
  ASSERT_TRUE(MatrixInverse(a.data(), n));
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const double expected = target[c] == r ? 1.0 / scale[c] : 0.0;
      EXPECT_EQ(a[r * n + c], expected) << r << "," << c;
    }
}

TEST(MatrixInverseTest, RandomMatricesTimesTheirInverseGiveTheIdentity) {
  std::mt19937 rng(99);
  for (int n = 1; n <= 9; ++n) {
    for (int trial = 0; trial < 5; ++trial) {
      const std::vector<double> a = randomValues(rng, n * n);
      std::vector<double> inverse = a;
      ASSERT_TRUE(MatrixInverse(inverse.data(), n));
      std::vector<double> product(n * n);
      MatrixMultiply(a.data(), inverse.data(), n, n, n, product.data());
      double worst = 0.0;
      for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
          worst = std::max(worst, std::fabs(product[r * n + c] - (r == c ? 1.0 : 0.0)));
      // Random [-1, 1) matrices of this size have condition numbers well
      // under 1e5, so the residual stays far below 1e-9.
      EXPECT_LT(worst, 1e-9) << "n=" << n << " trial " << trial;
    }
  }
}

TEST(MatrixInverseTest, SingularMatricesAndDegenerateSizes) {
  double tiny[] = {1e-17, 0, 0, 1e-17};
  EXPECT_FALSE(MatrixInverse(tiny, 2));

  double zero[] = {0, 0, 0, 0};
  EXPECT_FALSE(MatrixInverse(zero, 2));

  double dependent[] = {1, 2, 4, 2, 4, 8, 1, 1, 1};
  EXPECT_FALSE(MatrixInverse(dependent, 3));

  // 2^-53 vanishes next to 1.0; the next double above it does not.
  double atLimit[] = {std::ldexp(1.0, -53)};
  EXPECT_FALSE(MatrixInverse(atLimit, 1));
  double aboveLimit[] = {std::nextafter(std::ldexp(1.0, -53), 1.0)};
  EXPECT_TRUE(MatrixInverse(aboveLimit, 1));
  EXPECT_EQ(aboveLimit[0], 1.0 / std::nextafter(std::ldexp(1.0, -53), 1.0));

  double untouched[] = {3.0};
  EXPECT_TRUE(MatrixInverse(untouched, 0));
  EXPECT_FALSE(MatrixInverse(untouched, -1));
  EXPECT_EQ(untouched[0], 3.0);
}

}  // namespace
