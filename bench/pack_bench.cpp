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

// INFs whose references would multiply their size: a 250,000-character string named 4,000
// times in one field (262 KB), and 1 MiB of lines that each name a 4,000-character string in
// every field. Read as a ratio to the driver's INF of 1 MiB.
void BM_DecideAmplifiedInf(benchmark::State& state) {
  const bool lines = state.range(0) != 0;
  std::string inf = "; cursors\r\n[DefaultInstall]\r\nAddReg=R\r\n[R]\r\n";
  if (lines) {
    while (inf.size() < (1u << 20) - 8000) inf += "HKCU,%L%,%L%,,%L%\r\n";
    inf += "[Strings]\r\nL = \"" + std::string(4000, 'b') + "\"\r\n";
  } else {
    inf += "HKCU,\"Control Panel\\Cursors\",Arrow,,\"";
    for (int i = 0; i < 4000; ++i) inf += "%L%";
    inf += "\"\r\n[Strings]\r\nL = \"" + std::string(250000, 'a') + "\"\r\n";
  }
  Read(state, inf, !lines);
}

// An install section naming one AddReg section 20,000 times, that section holding 100,000
// one-field lines (340 KB), against the same-sized INF naming its section once.
void BM_DecideRepeatedSectionInf(benchmark::State& state) {
  const bool repeated = state.range(0) != 0;
  std::string inf = "; cursors\r\n[DefaultInstall]\r\nAddReg=R";
  for (int i = 1; repeated && i < 20000; ++i) inf += ",R";
  inf += "\r\n[R]\r\n";
  while (inf.size() < 340000) inf += "x\r\n";
  inf += "HKCU,\"Control Panel\\Cursors\",Arrow,,a.cur\r\n";
  Read(state, inf, true);
}

BENCHMARK(BM_DecideDriverInf)->RangeMultiplier(4)->Range(4 << 10, 1 << 20)->Complexity();
BENCHMARK(BM_DecideAmplifiedInf)->Arg(0)->Arg(1);
BENCHMARK(BM_DecideRepeatedSectionInf)->Arg(0)->Arg(1);
BENCHMARK(BM_ReadPackInf)->RangeMultiplier(4)->Range(4 << 10, 1 << 20)->Complexity();

}  // namespace
