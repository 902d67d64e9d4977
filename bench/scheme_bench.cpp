// The scheme reader and writer must stay linear in their input, hostile input included: files
// are hand-edited, and the reader meets whatever the apply verb is pointed at.
#include <benchmark/benchmark.h>

#include <string>

#include "core/pointer_roles.h"
#include "core/pointer_settings.h"
#include "core/scheme.h"
#include "platform/memory_registry.h"
#include "platform/portable_path_rules.h"

namespace {

using namespace pivora;

void Parse(benchmark::State& state, const std::string& file) {
  for (auto _ : state) benchmark::DoNotOptimize(ParseScheme(file));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
  state.SetComplexityN(static_cast<std::int64_t>(file.size()));
}

// Well-formed sections, repeated.
void BM_ParseSections(benchmark::State& state) {
  std::string file = "\xEF\xBB\xBF";
  while (file.size() < static_cast<std::size_t>(state.range(0))) {
    file += "[SizeNWSE]\r\nPath=..\\Shared\\Pointers\\diagonal-resize.cur\r\n\r\n";
  }
  Parse(state, file);
}

// One line with no line end, as long as the file.
void BM_ParseSingleLine(benchmark::State& state) {
  Parse(state, "[Arrow]\r\nPath=" + std::string(static_cast<std::size_t>(state.range(0)), 'p'));
}

// Nothing but headers: each is compared with every role name.
void BM_ParseHeaders(benchmark::State& state) {
  std::string file;
  while (file.size() < static_cast<std::size_t>(state.range(0))) file += "[SizeNES]\n";
  Parse(state, file);
}

// Malformed UTF-8 throughout.
void BM_ParseMalformed(benchmark::State& state) {
  std::string file;
  while (file.size() < static_cast<std::size_t>(state.range(0))) file += "\xC3\xE2\x82\xF0\x9F\n";
  Parse(state, file);
}

class NoReloader final : public PointerReloader {
 public:
  void ReloadPointers() override {}
};

// Fifteen stored paths of the given length, half in the scheme's folder.
void BM_Compose(benchmark::State& state) {
  MemoryRegistry registry;
  NoReloader reloader;
  CPointerSettings store(registry, reloader);
  KeyHandle key = 0;
  registry.Create(root_key::kCurrentUser, u"Control Panel\\Cursors", key_access::kReadWrite, key);
  const auto length = static_cast<std::size_t>(state.range(0));
  for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
    const std::u16string path = (role % 2 == 0 ? u"D:\\Pointers\\" : u"E:\\Other\\") +
                                std::u16string(length, u'n') + u".cur";
    registry.SetValue(key, PointerRoles[role].valueName, 2, path.c_str(),
                      static_cast<std::uint32_t>((path.size() + 1) * 2));
  }
  registry.Close(key);
  const PortablePathRules paths;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string file = ComposeScheme(u"D:\\Pointers\\Blue.crs", store, paths);
    bytes = file.size();
    benchmark::DoNotOptimize(file);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.SetComplexityN(static_cast<std::int64_t>(length));
}

BENCHMARK(BM_ParseSections)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 10 << 20)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_ParseSingleLine)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 10 << 20)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_ParseHeaders)->RangeMultiplier(4)->Range(1 << 12, 10 << 20)->Complexity(benchmark::oN);
BENCHMARK(BM_ParseMalformed)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 10 << 20)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_Compose)->RangeMultiplier(4)->Range(16, 1 << 16)->Complexity(benchmark::oN);

}  // namespace
