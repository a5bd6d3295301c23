// Outlier rejection throughput. The median filter should scale linearly in N
// for a fixed window (cost N * w log w).
#include <VORN_LumUtility.h>

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

// Smooth noisy signal with a share of planted spikes; fixed seed.
std::vector<double> signalWithSpikes(int n, double spikeShare)
{
    std::mt19937 rng(2024);
    std::normal_distribution<double> noise(0.0, 0.05);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) {
        x[i] = 10.0 + noise(rng);
        if (unit(rng) < spikeShare) x[i] += (unit(rng) < 0.5 ? -1.0 : 1.0) * (5.0 + 20.0 * unit(rng));
    }
    return x;
}

void BM_MedianBand(benchmark::State& state)
{
    const std::vector<double> x = signalWithSpikes(static_cast<int>(state.range(0)), 0.02);
    std::vector<double> cleaned;
    std::vector<int> kept;
    for (auto _ : state) {
        cleaned.clear();
        removeOutlierFuncMedian(x, cleaned, kept, 10, 3.0);
        benchmark::DoNotOptimize(kept.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MedianBand)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_TauTest(benchmark::State& state)
{
    const std::vector<double> x = signalWithSpikes(static_cast<int>(state.range(0)), 0.05);
    std::vector<double> cleaned;
    std::vector<int> kept;
    for (auto _ : state) {
        cleaned.clear();
        bool flag = true;
        removeOutlierFuncTau(x, cleaned, kept, 0.1, flag);
        benchmark::DoNotOptimize(kept.data());
    }
    state.counters["removed"] = static_cast<double>(x.size() - kept.size());
}
BENCHMARK(BM_TauTest)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
