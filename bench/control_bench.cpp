// Table transfers against the simulated camera: a full FPN table each way
// through the FPGA registers, and stored in the CIS EEPROM, with the number
// of control transfers each makes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "QDX_API.h"
#include "QDX_SIM.h"

namespace {

constexpr std::size_t kFpnBytes = 82416;

template <typename F>
void measureTransfer(benchmark::State& state, F&& transfer)
{
    if (!qdx::bench::startLibrary()) {
        state.SkipWithError("simulated camera not connected");
        QDX_Term();
        return;
    }
    std::vector<unsigned char> table(kFpnBytes, 0x11);
    const int before = QDXSim_GetRequestCount(-1);
    for (auto _ : state) {
        if (transfer(table.data()) != 0)
            state.SkipWithError("transfer failed");
    }
    state.counters["control_transfers"] =
        static_cast<double>(QDXSim_GetRequestCount(-1) - before) / static_cast<double>(state.iterations());
    QDX_Term();
}

void BM_SetFpnTable(benchmark::State& state)
{
    measureTransfer(state, [](unsigned char* t) { return QDX_Set_FPN_Table(t); });
}
BENCHMARK(BM_SetFpnTable)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GetFpnTable(benchmark::State& state)
{
    measureTransfer(state, [](unsigned char* t) { return QDX_Get_FPN_Table(t); });
}
BENCHMARK(BM_GetFpnTable)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveCisFpnTable(benchmark::State& state)
{
    measureTransfer(state, [](unsigned char* t) { return QDX_Save_CIS_FPN_Table(t, 64); });
}
BENCHMARK(BM_SaveCisFpnTable)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

QDX_SIM_BENCHMARK_MAIN()
