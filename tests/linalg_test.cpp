// Dense matrix record and the raw-array matrix operations. Unusable sizes and
// NaN entries are pinned in bad_input_test.cpp.
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
using Values = std::vector<double>;
const double kInf = std::numeric_limits<double>::infinity();

DenseMatrix makeMatrix(int rows, int cols, const Values& values) {
  DenseMatrix m(rows, cols);
  for (std::size_t i = 0; i < values.size(); ++i) m.data[i] = values[i];
  return m;
}
Values contents(const DenseMatrix& m) { return Values(m.data, m.data + m.rows * m.cols); }
Values randomValues(std::mt19937& rng, int count, double range = 1.0) {
  std::uniform_real_distribution<double> uniform(-range, range);
  Values v(count);
  for (double& x : v) x = uniform(rng);
  return v;
}

TEST(DenseMatrix, ConstructionCopyAndTranspose) {
  const DenseMatrix flat(0, 3), single(0, 0);
  EXPECT_EQ(flat.rows * 10 + flat.cols, 13u);
  EXPECT_EQ(single.rows * 10 + single.cols, 11u);
  EXPECT_EQ(contents(flat), Values(3, 0.0));
  // 65536 x 65536 would wrap the 32-bit element count to zero.
  EXPECT_THROW(DenseMatrix(65536, 65536), std::bad_array_new_length);

  DenseMatrix m = makeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
  DenseMatrix copy(m);
  copy.row(0)[1] = 99.0;
  EXPECT_EQ(m.row(0)[1], 2.0);
  EXPECT_EQ(&m.transpose(), &m);
  EXPECT_EQ(m.rows * 10 + m.cols, 32u);
  EXPECT_EQ(contents(m), (Values{1, 4, 2, 5, 3, 6}));
  EXPECT_EQ(contents(m.transpose()), (Values{1, 2, 3, 4, 5, 6}));
}

TEST(DenseMatrix, MultiplyMatchesMatrixMultiplyBitwiseAndIgnoresBadSizes) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 20; ++trial) {
    const int m = 1 + trial % 5, n = 1 + trial % 7, p = 1 + trial % 4;
    const Values av = randomValues(rng, m * n), bv = randomValues(rng, n * p);
    DenseMatrix product = makeMatrix(m, p, Values(m * p, 5.0));  // stale contents are cleared
    EXPECT_EQ(&product.multiply(makeMatrix(m, n, av), makeMatrix(n, p, bv)), &product);
    Values expected(m * p);
    MatrixMultiply(av.data(), bv.data(), m, n, p, expected.data());
    EXPECT_EQ(contents(product), expected) << m << "x" << n << "x" << p;
  }
  const DenseMatrix a = makeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
  DenseMatrix wrong = makeMatrix(3, 2, Values(6, -1.0));
  wrong.multiply(a, a);
  EXPECT_EQ(contents(wrong), Values(6, -1.0));
}

TEST(DenseMatrix, SolvePivotingAndToleranceRules) {
  // A zero pivot under tolerance 0.0 is divided by.
  DenseMatrix a = makeMatrix(2, 2, {1, 2, 2, 4}), b = makeMatrix(2, 1, {1, 1});
  EXPECT_EQ(a.solve(b, 0.0), 1);
  EXPECT_EQ(contents(b), (Values{-kInf, kInf}));

  // |2| and |-2| tie: the earlier row pivots, leaving (2, 4/2) and
  // (-2, 6 + 2 * 2) in the consumed matrix.
  DenseMatrix tie = makeMatrix(2, 2, {2, 4, -2, 6}), tieRhs = makeMatrix(2, 1, {2, 8});
  EXPECT_EQ(tie.solve(tieRhs, 0.0), 1);
  EXPECT_EQ(contents(tie), (Values{2, 2, -2, 10}));
  EXPECT_EQ(contents(tieRhs), (Values{-1, 1}));

  // After pivoting on the 2 the second pivot is exactly 1: 1.5 refuses it
  // (right-hand side untouched, first step done), 1.0 accepts it.
  DenseMatrix refused = makeMatrix(2, 2, {1, 3, 2, 4}), rhs = makeMatrix(2, 1, {5, 6});
  EXPECT_EQ(refused.solve(rhs, 1.5), 0);
  EXPECT_EQ(contents(rhs), (Values{5, 6}));
  EXPECT_EQ(contents(refused), (Values{1, 1, 2, 2}));
  DenseMatrix accepted = makeMatrix(2, 2, {1, 3, 2, 4});
  EXPECT_EQ(accepted.solve(rhs, 1.0), 1);
  EXPECT_EQ(contents(rhs), (Values{-1, 2}));

  // Several right-hand sides share one elimination: x + y = (3, 4), x - y = (1, 0).
  DenseMatrix sums = makeMatrix(2, 2, {1, 1, 1, -1}), two = makeMatrix(2, 2, {3, 4, 1, 0});
  EXPECT_EQ(sums.solve(two, 0.0), 1);
  EXPECT_EQ(contents(two), (Values{2, 2, 1, 2}));

  DenseMatrix nonSquare = makeMatrix(2, 3, {1, 2, 3, 4, 5, 6}), three = makeMatrix(3, 1, {});
  EXPECT_EQ(nonSquare.solve(b, 0.0), 0);
  EXPECT_EQ(accepted.solve(three, 0.0), 0);
  EXPECT_EQ(contents(nonSquare), (Values{1, 2, 3, 4, 5, 6}));
}

TEST(MatrixOperations, FillsProductAndTranspose) {
  Values m(10, 7.0);
  EyeMatrix(m.data(), 3);
  EXPECT_EQ(m, (Values{1, 0, 0, 0, 1, 0, 0, 0, 1, 7}));
  ZeroMatrix(m.data(), 3);
  EXPECT_EQ(m, (Values{0, 0, 0, 0, 0, 0, 0, 0, 0, 7}));
  const double a[] = {1, 2, 3, 4, 5, 6}, b[] = {7, 8, 9, 10, 11, 12};
  Values c(4);
  MatrixMultiply(a, b, 2, 3, 2, c.data());
  EXPECT_EQ(c, (Values{58, 64, 139, 154}));
  Values t(a, a + 6);
  MatrixTransform(t.data(), 2, 3);
  EXPECT_EQ(t, (Values{1, 4, 2, 5, 3, 6}));
}

double determinantOf(const std::vector<Values>& rows, double det = 1.0) {
  double m[4][4] = {};
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size(); ++c) m[r][c] = rows[r][c];
  MatrixDeterminant(det, m, static_cast<int>(rows.size()));
  return det;
}

// Laplace expansion along the first row; `scale` gets the same expansion in
// magnitudes, a bound for the rounding error of any elimination.
double cofactorDeterminant(const std::vector<Values>& m, double& scale) {
  if (m.size() == 1) {
    scale = std::fabs(m[0][0]);
    return m[0][0];
  }
  double det = 0.0;
  scale = 0.0;
  for (std::size_t c = 0; c < m.size(); ++c) {
    std::vector<Values> minor;
    for (std::size_t r = 1; r < m.size(); ++r) {
      minor.emplace_back(m[r]);
      minor.back().erase(minor.back().begin() + c);
    }
    double minorScale;
    det += (c % 2 ? -1.0 : 1.0) * m[0][c] * cofactorDeterminant(minor, minorScale);
    scale += std::fabs(m[0][c]) * minorScale;
  }
  return det;
}

TEST(MatrixDeterminantTest, ExchangeShortcutAndSingularRules) {
  EXPECT_EQ(determinantOf({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 2.0), 2.0);
  EXPECT_EQ(determinantOf({{2, 1}, {1, 3}}, 3.0), 15.0);
  EXPECT_EQ(determinantOf({{0, 1}, {1, 0}}), -1.0);
  EXPECT_EQ(determinantOf({{1e-7, 0}, {0, 1}}), 1e-7);      // small pivot kept in place
  EXPECT_EQ(determinantOf({{1.0000005, 0}, {0, 2}}), 2.0);  // pivot near 1 not divided out
  // The first nonzero entry pivots, not the largest: 1.0000005 then falls
  // under the shortcut, which pivoting on the 3 would have avoided.
  EXPECT_EQ(determinantOf({{0, 1, 0}, {1.0000005, 0, 0}, {3, 0, 1}}), -1.0);
  EXPECT_EQ(determinantOf({{0, 0, 1, 0}, {0, 0, 0, 1}, {1, 0, 0, 0}, {0, 1, 0, 0}}), 1.0);
  EXPECT_EQ(determinantOf({{0, 1, 2}, {0, 3, 4}, {0, 5, 6}}, 7.0), 0.0);
}

TEST(MatrixDeterminantTest, AgreesWithCofactorExpansionOnRandomMatrices) {
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 400; ++trial) {
    const int n = 1 + trial % 4;
    std::vector<Values> rows;
    for (int r = 0; r < n; ++r) rows.push_back(randomValues(rng, n, 3.0));
    if (trial % 5 == 0) rows[0][0] = 0.0;  // force a row exchange
    double scale;
    const double expected = cofactorDeterminant(rows, scale);
    const double actual = determinantOf(rows);
    EXPECT_NEAR(actual, expected, 1e-12 * scale) << "trial " << trial;
    EXPECT_EQ(determinantOf(rows, 0.25), actual * 0.25);  // incoming value scales exactly
  }
}

TEST(MatrixInverseTest, ExactInversesNegativeZerosAndPivotLimit) {
  double diagonal[] = {2, 0, 0, 4};
  ASSERT_TRUE(MatrixInverse(diagonal, 2));
  EXPECT_EQ(Values(diagonal, diagonal + 4), (Values{0.5, 0, 0, 0.25}));
  EXPECT_TRUE(std::signbit(diagonal[1]) && std::signbit(diagonal[2]));
  double exchange[] = {0, 1, 1, 0};
  ASSERT_TRUE(MatrixInverse(exchange, 2));
  EXPECT_EQ(Values(exchange, exchange + 4), (Values{0, 1, 1, 0}));
  EXPECT_TRUE(std::signbit(exchange[0]) && std::signbit(exchange[3]));

  // Every step pivots off the diagonal, so the exchanges and their undoing
  // all matter; powers of two keep the arithmetic exact.
  const int target[4] = {2, 0, 3, 1};
  const double scale[4] = {8, 0.5, 2, 4};
  Values a(16, 0.0);
  for (int r = 0; r < 4; ++r) a[r * 4 + target[r]] = scale[r];
  ASSERT_TRUE(MatrixInverse(a.data(), 4));
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_EQ(a[r * 4 + c], target[c] == r ? 1.0 / scale[c] : 0.0) << r << "," << c;

  // 2^-53 vanishes next to 1.0; the next double above it does not.
  double atLimit[] = {std::ldexp(1.0, -53)}, aboveLimit[] = {std::nextafter(atLimit[0], 1.0)};
  double dependent[] = {1, 2, 4, 2, 4, 8, 1, 1, 1};
  EXPECT_FALSE(MatrixInverse(atLimit, 1));
  EXPECT_TRUE(MatrixInverse(aboveLimit, 1));
  EXPECT_FALSE(MatrixInverse(dependent, 3));
}

TEST(MatrixInverseTest, RandomMatricesTimesTheirInverseGiveTheIdentity) {
  std::mt19937 rng(99);
  for (int n = 1; n <= 9; ++n) {
    for (int trial = 0; trial < 5; ++trial) {
      const Values a = randomValues(rng, n * n);
      Values inverse = a, product(n * n);
      ASSERT_TRUE(MatrixInverse(inverse.data(), n));
      MatrixMultiply(a.data(), inverse.data(), n, n, n, product.data());
      for (int i = 0; i < n * n; ++i)  // these matrices are conditioned far below 1e5
        EXPECT_NEAR(product[i], i % (n + 1) == 0 ? 1.0 : 0.0, 1e-9) << "n=" << n;
    }
  }
}

}  // namespace
