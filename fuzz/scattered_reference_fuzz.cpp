// The fast scattered-data stages against their straightforward versions (the
// yardsticks in tests/scattered/reference/) on decoded point sets of up to a
// few hundred points:
//   - the mesh stages (insertion, triangle table, border chain, thin-triangle
//     removal) leave the same iwork, counts and statuses wherever the
//     straightforward insertion walk succeeds;
//   - sdpd3p_ writes the same bits to every output and scratch array;
//   - after a full sdbi3p_ preparation, redoing the derivative columns with
//     the straightforward stages (and the refinement by the full list walk)
//     gives the same work and iwork, and the straightforward location and
//     evaluation give the same zOut; sdsf3p_ gives the same grid as the
//     straightforward row-by-row blocks.
#include <VORN_LumUtility.h>

#include "fuzz_input.h"
#include "scattered_points.h"

#include "reference/derivative_columns_reference.h"
#include "reference/location_reference.h"
#include "reference/mesh_reference.h"
#include "reference/partials_reference.h"
#include "reference/refinement_reference.h"
#include "scattered/triangulation.h"
#include "scattered/work_layout.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using namespace lum::scattered;
namespace ref = lum::scattered::reference;
using lumfuzz::Input;
using lumfuzz::PointSet;

constexpr int kIntGuard = -7;
constexpr double kGuard = -7.5;

template <typename T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

bool allFinite(const PointSet& p)
{
    for (int i = 0; i < p.size(); ++i)
        if (!std::isfinite(p.x[i]) || !std::isfinite(p.y[i])) return false;
    return true;
}

// The mesh stages as the driver runs them, into a fresh iwork.
struct MeshRun {
    std::vector<int> iwork;
    int triStatus = -77, listStatus = -77, triCount = -7, borderCount = -7, adjFree = -7;
};

template <typename Triangulate, typename AndList>
MeshRun runMeshStages(Triangulate triangulate, AndList andList, int n, const double* x, const double* y)
{
    MeshRun w;
    w.iwork.assign(static_cast<std::size_t>(kIworkColumns) * n, kIntGuard);
    int* iw = w.iwork.data();
    triangulate(&n, x, y, column(iw, kAdjNodeCol, n), column(iw, kAdjNextCol, n), column(iw, kAdjLastCol, n),
                &w.adjFree, &w.triStatus);
    if (w.triStatus != 0) return w;
    std::copy_n(column(iw, kAdjNodeCol, n), w.adjFree - 1, column(iw, kAdjNodeCopyCol, n));
    std::copy_n(column(iw, kAdjNextCol, n), w.adjFree - 1, column(iw, kAdjNextCopyCol, n));
    std::copy_n(column(iw, kAdjLastCol, n), n, column(iw, kAdjLastCopyCol, n));
    andList(&n, x, y, &w.triCount, column(iw, kTriVertexCol, n), &w.borderCount, column(iw, kBorderSegCol, n),
            &w.listStatus, column(iw, kAdjNodeCol, n), column(iw, kAdjNextCol, n), column(iw, kAdjLastCol, n),
            column(iw, kTriTableCol, n), column(iw, kBorderTriCol, n));
    return w;
}

void compareMesh(PointSet& p)
{
    const int n = p.size();
    const MeshRun slow = runMeshStages(ref::sdTriangulate, ref::sdTriangulateAndList, n, p.x.data(), p.y.data());
    // Where the straightforward walk gives up on inconsistent tests (nearly
    // collinear input), the fast insertion may still succeed.
    if (slow.triStatus != 0) return;
    const MeshRun fast = runMeshStages(sdTriangulate, sdTriangulateAndList, n, p.x.data(), p.y.data());
    LUM_FUZZ_CHECK(fast.triStatus == 0 && fast.adjFree == slow.adjFree);
    LUM_FUZZ_CHECK(fast.listStatus == slow.listStatus);
    LUM_FUZZ_CHECK(fast.triCount == slow.triCount && fast.borderCount == slow.borderCount);
    LUM_FUZZ_CHECK(sameBits(fast.iwork, slow.iwork));
}

void comparePartials(PointSet& p)
{
    int n = p.size();
    const std::size_t nn = static_cast<std::size_t>(n);
    struct Arrays {
        std::vector<double> partials, cubic, plane, distSq;
        std::vector<int> distOrder, nearest, fitCount, fitDegree;
        explicit Arrays(std::size_t n)
            : partials(5 * n, kGuard), cubic(9 * n, kGuard), plane(2 * n, kGuard), distSq(n, kGuard),
              distOrder(n, kIntGuard), nearest(9 * n, kIntGuard), fitCount(n, kIntGuard), fitDegree(n, kIntGuard)
        {
        }
    } fast(nn), slow(nn);
    sdpd3p_(&n, p.x.data(), p.y.data(), p.z.data(), fast.partials.data(), fast.cubic.data(), fast.plane.data(),
            fast.distSq.data(), fast.distOrder.data(), fast.nearest.data(), fast.fitCount.data(),
            fast.fitDegree.data());
    ref::sdpd3p(&n, p.x.data(), p.y.data(), p.z.data(), slow.partials.data(), slow.cubic.data(), slow.plane.data(),
                slow.distSq.data(), slow.distOrder.data(), slow.nearest.data(), slow.fitCount.data(),
                slow.fitDegree.data());
    LUM_FUZZ_CHECK(sameBits(fast.nearest, slow.nearest) && sameBits(fast.distSq, slow.distSq));
    LUM_FUZZ_CHECK(sameBits(fast.distOrder, slow.distOrder));
    LUM_FUZZ_CHECK(sameBits(fast.fitCount, slow.fitCount) && sameBits(fast.fitDegree, slow.fitDegree));
    LUM_FUZZ_CHECK(sameBits(fast.cubic, slow.cubic) && sameBits(fast.plane, slow.plane));
    LUM_FUZZ_CHECK(sameBits(fast.partials, slow.partials));
}

// Output points inside, on and around the data.
void decodeOutputs(Input& in, const PointSet& p, std::vector<double>& x, std::vector<double>& y)
{
    const int n = p.size();
    const int count = in.range(1, 80);
    for (int k = 0; k < count; ++k) {
        const int i = in.range(0, n - 1), j = in.range(0, n - 1);
        const double f = in.range(-16, 48) / 32.0;
        switch (in.range(0, 3)) {
        case 0:  // a data point
            x.push_back(p.x[i]);
            y.push_back(p.y[i]);
            break;
        case 1:  // on the line through two data points, often on an edge or outside
            x.push_back(p.x[i] + f * (p.x[j] - p.x[i]));
            y.push_back(p.y[i] + f * (p.y[j] - p.y[i]));
            break;
        case 2:  // near a data point, by a few ulps
            x.push_back(std::nextafter(p.x[i], in.flag() ? 1e308 : -1e308));
            y.push_back(std::nextafter(p.y[i], in.flag() ? 1e308 : -1e308));
            break;
        default:
            x.push_back(in.number());
            y.push_back(in.number());
            break;
        }
    }
}

void compareSurface(Input& in, PointSet& p)
{
    int n = p.size();
    const std::size_t nn = static_cast<std::size_t>(n);
    std::vector<double> xOut, yOut;
    decodeOutputs(in, p, xOut, yOut);
    int outCount = static_cast<int>(xOut.size());
    std::vector<double> work(kWorkColumns * nn, kGuard), zOut(xOut.size(), kGuard);
    std::vector<int> iwork(kIworkColumns * nn, kIntGuard);
    int mode = 1, status = -1, borderCount = 0, triCount = 0;
    sdbi3p_(&mode, &n, p.x.data(), p.y.data(), p.z.data(), &outCount, xOut.data(), yOut.data(), zOut.data(), &status,
            work.data(), iwork.data(), &borderCount, &triCount);
    if (status != 0) return;

    // The derivative columns again, by the straightforward stages.
    std::vector<double> refWork, refZ(xOut.size(), kGuard);
    std::vector<int> refIwork;
    ref::redoDerivativeColumns(n, p.x.data(), p.y.data(), p.z.data(), work, iwork, refWork, refIwork);
    LUM_FUZZ_CHECK(sameBits(work, refWork));
    LUM_FUZZ_CHECK(sameBits(iwork, refIwork));
    ref::interpolateBlocks(n, p.x.data(), p.y.data(), p.z.data(), refWork.data(), refIwork.data(), triCount,
                           borderCount, outCount, xOut.data(), yOut.data(), refZ.data());
    LUM_FUZZ_CHECK(sameBits(zOut, refZ));

    // A small grid through sdsf3p_ on the same data: the same preparation,
    // and the straightforward rows of blocks.
    std::vector<double> xGrid(xOut.begin(), xOut.begin() + std::min<std::size_t>(xOut.size(), 60));
    std::vector<double> yGrid(yOut.rbegin(), yOut.rbegin() + std::min<std::size_t>(yOut.size(), 7));
    int xCount = static_cast<int>(xGrid.size()), yCount = static_cast<int>(yGrid.size());
    std::vector<double> gridWork(work.size(), kGuard), zGrid(xGrid.size() * yGrid.size(), kGuard),
        zGridRef(zGrid.size(), kGuard);
    std::vector<int> gridIwork(iwork.size(), kIntGuard);
    sdsf3p_(&mode, &n, p.x.data(), p.y.data(), p.z.data(), &xCount, xGrid.data(), &yCount, yGrid.data(),
            zGrid.data(), &status, gridWork.data(), gridIwork.data());
    LUM_FUZZ_CHECK(status == 0);
    LUM_FUZZ_CHECK(sameBits(gridWork, work) && sameBits(gridIwork, iwork));
    ref::gridRows(n, p.x.data(), p.y.data(), p.z.data(), refWork.data(), refIwork.data(), triCount, borderCount,
                  xCount, xGrid.data(), yCount, yGrid.data(), zGridRef.data());
    LUM_FUZZ_CHECK(sameBits(zGrid, zGridRef));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    // The straightforward stages cost n^2: a few hundred points at most.
    int n = in.range(10, 60);
    if (in.byte() > 230) n = in.range(60, 250);
    PointSet p = lumfuzz::decodePoints(in, n);
    comparePartials(p);
    if (!allFinite(p)) return 0;  // refused before any mesh work
    if (!p.duplicates) compareMesh(p);
    compareSurface(in, p);
    return 0;
}
