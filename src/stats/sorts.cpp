// The library's two in-place ascending sorts of its own.
//
// Qsort: an iterative quicksort on float arrays (median-of-three pivot, explicit
// stack, insertion sort for short segments).
//
// sortAscending: sorts a permutation of positions with a quicksort whose split
// point moves by a varying fraction of the segment, then moves each double once
// along the cycles of that permutation.
//
// Both are deterministic step by step: the order in which equal keys end up is
// part of the result callers see, so the steps below must not be "simplified".
#include <VORN_LumUtility.h>

#include <vector>

namespace {

// Qsort finishes segments of at most this many elements (hi - lo <= 16) by
// insertion sort.
constexpr unsigned kQsortInsertionSpan = 16;
// Pending segments of Qsort. The larger part of every split is pushed and the
// smaller one continued, so each push at least halves the current segment: 32
// entries cover any range an unsigned int can express.
constexpr int kQsortStack = 32;

void swapFloats(float* a, unsigned i, unsigned j)
{
    const float t = a[i];
    a[i] = a[j];
    a[j] = t;
}

}  // namespace

void Qsort(float* const a, unsigned int lo, unsigned int hi)
{
    // An empty or one-element range is already sorted; an inverted range would
    // run off the array, so it is refused the same way.
    if (lo >= hi) return;

    unsigned stackLo[kQsortStack];
    unsigned stackHi[kQsortStack];
    int top = 0;

    for (;;) {
        if (hi - lo > kQsortInsertionSpan) {
            // Median of three: afterwards a[lo] <= a[mid] <= a[hi], so a[lo] and
            // a[hi] stop the scans below. lo + (hi - lo) / 2 equals (lo + hi) / 2
            // but cannot wrap around for ranges near the top of unsigned int.
            if (a[lo] > a[hi]) swapFloats(a, lo, hi);
            const unsigned mid = lo + (hi - lo) / 2;
            if (a[lo] > a[mid]) swapFloats(a, lo, mid);
            if (a[mid] > a[hi]) swapFloats(a, mid, hi);
            const float p = a[mid];

            // Hoare partition; each scan moves at least one place, so it resumes
            // from the positions just swapped.
            unsigned i = lo;
            unsigned j = hi;
            for (;;) {
                do ++i; while (a[i] < p);
                do --j; while (a[j] > p);
                if (j <= i) break;
                swapFloats(a, i, j);
            }

            // Left part [lo, j], right part [j + 1, hi]: keep the smaller one.
            if (j - lo + 1 < hi - j) {
                stackLo[top] = j + 1;
                stackHi[top] = hi;
                ++top;
                hi = j;
            } else {
                stackLo[top] = lo;
                stackHi[top] = j;
                ++top;
                lo = j + 1;
            }
            continue;
        }

        // Short segment: move each element left past every strictly greater one.
        for (unsigned k = lo + 1; k <= hi && k > lo; ++k) {
            const float t = a[k];
            unsigned m = k;
            while (m > lo && a[m - 1] > t) {
                a[m] = a[m - 1];
                --m;
            }
            a[m] = t;
        }

        if (top == 0) return;
        --top;
        lo = stackLo[top];
        hi = stackHi[top];
    }
}

namespace {

// Split fraction of sortAscending: each call starts at 0.375 and, every time the
// leftmost segment is split again, moves up by 5/128 until it passes the
// single-precision threshold 0.58984369f (widened), then falls back by 28/128.
// All values are exact binary fractions, so the sequence is the same in any
// precision.
constexpr double kSplitStart = 0.375;
constexpr double kSplitCeiling = 0.5898436903953552;  // 0.58984369f widened
constexpr double kSplitStepUp = 0.0390625;
constexpr double kSplitStepDown = 0.21875;
// Segments with j - i below this are finished by insertion sort (up to 11
// elements).
constexpr int kInsertionSpan = 11;
// Pending segments. The larger part is always pushed, so the stack depth stays
// below log2(n) <= 31 for any int n; 64 leaves ample room.
constexpr int kPendingStack = 64;

}  // namespace

void sortAscending(int n, double* x)
{
    if (n < 1) return;

    // p[1 .. n] holds 1-based positions into x; xv(k) is the value at p[k].
    std::vector<int> perm(static_cast<std::size_t>(n) + 1);
    int* const p = perm.data();
    for (int k = 1; k <= n; ++k) p[k] = k;
    auto xv = [x, p](int k) { return x[p[k] - 1]; };
    auto swapPos = [p](int a, int b) {
        const int t = p[a];
        p[a] = p[b];
        p[b] = t;
    };

    double r = kSplitStart;
    int i = 1;
    int j = n;
    int stackI[kPendingStack];
    int stackJ[kPendingStack];
    int top = 0;

    enum class Step { A, B, C, D, Done };
    Step step = Step::A;
    while (step != Step::Done) {
        switch (step) {
        case Step::A:
            // Reached only for the leftmost segment (i = 1).
            if (i == j) {
                step = Step::D;
                break;
            }
            if (r > kSplitCeiling)
                r -= kSplitStepDown;
            else
                r += kSplitStepUp;
            step = Step::B;
            break;

        case Step::B: {
            const int s = i + static_cast<int>(static_cast<double>(j - i) * r);
            // Order the entries at i, s and j so that xv(i) <= xv(s) <= xv(j);
            // the ends then stop the scans.
            if (xv(i) > xv(s)) swapPos(i, s);
            if (xv(j) < xv(s)) {
                swapPos(j, s);
                if (xv(i) > xv(s)) swapPos(i, s);
            }
            const double v = xv(s);
            int k = i;
            int l = j;
            for (;;) {
                do --l; while (xv(l) > v);
                do ++k; while (xv(k) < v);
                if (k > l) break;
                swapPos(k, l);
            }
            if (l - i > j - k) {
                stackI[top] = i;
                stackJ[top] = l;
                ++top;
                i = k;
            } else {
                stackI[top] = k;
                stackJ[top] = j;
                ++top;
                j = l;
            }
            step = Step::C;
            break;
        }

        case Step::C:
            if (j - i >= kInsertionSpan) {
                step = Step::B;
                break;
            }
            if (i == 1) {
                // The leftmost segment has no lower bound to its left, so it is
                // always split further instead of being insertion-sorted.
                step = Step::A;
                break;
            }
            // Insertion sort of p[i .. j]. The entry at i - 1 belongs to an
            // earlier lower part and stops the scan; the test m > 1 only keeps a
            // NaN-spoilt order from reading before the array.
            for (int q = i + 1; q <= j; ++q) {
                const int t = p[q];
                const double tv = x[t - 1];
                if (tv < xv(q - 1)) {
                    int m = q;
                    do {
                        p[m] = p[m - 1];
                        --m;
                    } while (m > 1 && xv(m - 1) > tv);
                    p[m] = t;
                }
            }
            step = Step::D;
            break;

        case Step::D:
            if (top == 0) {
                step = Step::Done;
                break;
            }
            --top;
            i = stackI[top];
            j = stackJ[top];
            step = Step::C;
            break;

        case Step::Done:
            break;
        }
    }

    // Move each value once: follow every cycle of the permutation from its first
    // unvisited position, holding the first value aside. Visited entries are
    // marked by negating them.
    for (int k = 1; k <= n; ++k) {
        if (p[k] < 0) continue;
        if (p[k] == k) {
            p[k] = -k;
            continue;
        }
        const double held = x[k - 1];
        int cur = k;
        for (;;) {
            const int next = p[cur];
            p[cur] = -next;
            if (next == k) {
                x[cur - 1] = held;
                break;
            }
            x[cur - 1] = x[next - 1];
            cur = next;
        }
    }
    for (int k = 1; k <= n; ++k) p[k] = -p[k];
}
