// Shared by the benchmarks: each run records its throughput under a name,
// and main prints the figures and the ratios against the baselines.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qb::bench {

inline std::map<std::string, double>& Figures() {
  static std::map<std::string, double> figures;
  return figures;
}

// Records a figure (a rate: higher is better) for the ratio table.
inline void Record(const std::string& name, double perSecond) {
  Figures()[name] = perSecond;
}

// Runs the registered benchmarks, then prints "<measured> / <baseline>" for each pair.
inline int RunAndCompare(int argc, char** argv,
                         const std::vector<std::pair<std::string, std::string>>& pairs,
                         const char* unit) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\n%-40s %16s %16s %8s\n", "measured vs baseline", unit, "baseline", "ratio");
  for (const auto& [measured, baseline] : pairs) {
    auto m = Figures().find(measured);
    auto b = Figures().find(baseline);
    if (m == Figures().end() || b == Figures().end() || b->second == 0) continue;
    std::printf("%-40s %16.1f %16.1f %8.3f\n", measured.c_str(), m->second, b->second,
                m->second / b->second);
  }
  return 0;
}

}  // namespace qb::bench
