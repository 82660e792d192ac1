// Chart figures of four stages and the entry cursor.
#include "chart/ChartStats.h"
#include "exam/CExamData.h"
#include "exam/CToothPosition.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace kvr;

namespace {

// Four stages of a mouth with some missing teeth, implants and unmeasured sites.
std::array<ChartStageData, 4> makeStages() {
    std::mt19937 rng(42);
    std::array<ChartStageData, 4> stages;
    for (ChartStageData& s : stages) {
        s.HasData = true;
        for (int t = 0; t < 32; ++t) {
            const unsigned r = rng() % 20;
            s.ToothStatus[t] = r == 0 ? kMissingTooth : r == 1 ? kImplant : r == 2 ? kPontic : 0;
            s.Plaque[t] = std::uint8_t(rng() % 16);
            s.Mobility[t] = std::uint8_t(rng() % 4);
        }
        for (int i = 0; i < 192; ++i) {
            s.Ppd[i] = rng() % 10 == 0 ? kNoValue : std::uint8_t(rng() % 14);
            s.Bop[i] = s.Ppd[i] == kNoValue ? kNoValue : std::uint8_t(rng() % 3 == 0);
        }
    }
    return stages;
}

void BM_AllFiguresOfFourStages(benchmark::State& state) {
    const auto stages = makeStages();
    for (auto _ : state) {
        for (const ChartStageData& s : stages) {
            QString present = PresentToothText(s), implants = ImplantText(s);
            QString total, mean, low, mid, high;
            const SiteBytes depths = PocketDepthInput(s);
            SummarizePocketDepths(depths, 4, 7, 1, total, mean, low, mid, high);
            const auto sheet = BandHeadings(1, 4, 7, false);
            const auto screen = BandHeadings(1, 4, 7, true);
            QString bop = BopText(s), pcr = PcrText(s);
            ToothAreas pesa, pisa;
            CalcPisa(depths, BleedingInput(s), pesa, pisa);
            QString pesaText = PisaSumText(pesa[32]), pisaText = PisaSumText(pisa[32]);
            benchmark::DoNotOptimize(present);
            benchmark::DoNotOptimize(implants);
            benchmark::DoNotOptimize(high);
            benchmark::DoNotOptimize(sheet);
            benchmark::DoNotOptimize(screen);
            benchmark::DoNotOptimize(bop);
            benchmark::DoNotOptimize(pcr);
            benchmark::DoNotOptimize(pesaText);
            benchmark::DoNotOptimize(pisaText);
        }
    }
}
BENCHMARK(BM_AllFiguresOfFourStages)->Unit(benchmark::kMicrosecond);

CToothPosition makeCursor() {
    CToothPosition c;
    for (int i = 0; i < 6; ++i)
        c.setBPocketPosition(i, true);
    c.setNBuiStatus(3, kMissingTooth);
    c.setNBuiStatus(12, kImplant);
    c.setNBuiStatus(20, kPontic);
    return c;
}

const QString kSiteOrder = "BMBCBDLMLCLDBMBCBDLMLCLDBMBCBDLMLCLDBMBCBDLMLCLD";

void BM_CursorMakeMove(benchmark::State& state) {
    CToothPosition c = makeCursor();
    const QString text = state.range(0) == 0 ? QString("URB8ULB1ULL8URL1LRL8LLL1LLB8LRB1") : kSiteOrder;
    for (auto _ : state) {
        c.MakeMove(1, qint16(state.range(0)), text);
        benchmark::DoNotOptimize(c.nPos6Tooth(191));
    }
}
BENCHMARK(BM_CursorMakeMove)->Arg(0)->Arg(1);

void BM_CursorFullSixSiteWalk(benchmark::State& state) {
    CToothPosition c = makeCursor();
    c.MakeMove(1, 1, kSiteOrder);
    for (auto _ : state) {
        int visited = c.MoveFirst6() ? 1 : 0;
        while (c.MoveNext6())
            ++visited;
        benchmark::DoNotOptimize(visited);
    }
}
BENCHMARK(BM_CursorFullSixSiteWalk);

} // namespace

BENCHMARK_MAIN();
