// Reading INFs for cursor packs must stay linear in their size: the menu of every INF decides
// "pack or not" by reading it (a driver INF of up to 1 MiB is read whole to find it is none).
#include <benchmark/benchmark.h>

#include <string>

#include "core/cursor_pack.h"

namespace {

using namespace pivora;

void Read(benchmark::State& state, const std::string& bytes, bool pack) {
  for (auto _ : state) {
    const std::optional<CursorPack> read = ReadCursorPack(DecodeInfText(bytes));
    if (read.has_value() != pack) state.SkipWithError("read the wrong way");
    benchmark::DoNotOptimize(read);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.SetComplexityN(static_cast<std::int64_t>(bytes.size()));
}

// A driver's INF: models, files, registry lines and strings, and no pointer.
void BM_DecideDriverInf(benchmark::State& state) {
  std::string inf =
      "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Display\r\n\r\n[DefaultInstall.NTamd64]\r\n"
      "CopyFiles=Driver.Files\r\nAddReg=Driver.Reg\r\n\r\n[Driver.Reg]\r\n";
  for (int line = 0; inf.size() < static_cast<std::size_t>(state.range(0)) / 2; ++line) {
    inf += "HKR,\"Settings\\Display" + std::to_string(line) + "\",Value,0x00010001,%Setting%\r\n";
  }
  inf += "[Strings]\r\n";
  for (int line = 0; inf.size() < static_cast<std::size_t>(state.range(0)); ++line) {
    inf += "Device" + std::to_string(line) + " = \"A display adapter, model " +
           std::to_string(line) + "\"\r\n";
  }
  Read(state, inf, false);
}

// A pack's INF, its strings section grown by comments and unused strings.
void BM_ReadPackInf(benchmark::State& state) {
  std::string inf =
      "[DefaultInstall]\r\nAddReg=Scheme.Reg\r\n[Scheme.Reg]\r\n"
      "HKCU,\"Control "
      "Panel\\Cursors\\Schemes\",\"%NAME%\",,\"%10%\\%DIR%\\a.cur,%10%\\%DIR%\\b.cur\"\r\n"
      "[Strings]\r\nNAME = \"Pack\"\r\nDIR = \"Cursors\\Pack\"\r\n";
  for (int line = 0; inf.size() < static_cast<std::size_t>(state.range(0)); ++line) {
    inf += "; unused string " + std::to_string(line) + "\r\nS" + std::to_string(line) +
           "\t= \"text \"\"quoted\"\" here\"\r\n";
  }
  Read(state, inf, true);
}

BENCHMARK(BM_DecideDriverInf)->RangeMultiplier(4)->Range(4 << 10, 1 << 20)->Complexity();
BENCHMARK(BM_ReadPackInf)->RangeMultiplier(4)->Range(4 << 10, 1 << 20)->Complexity();

}  // namespace
