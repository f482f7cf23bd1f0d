#include "bench/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

std::string benchFilePath() {
  const char* env = std::getenv("OXU_BENCH_FILE");
  return env && *env ? env : kDefaultBenchFile;
}

std::vector<uint8_t> readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::pair<uint32_t, uint32_t>> codeRanges(const TImageInfo& image, uint32_t fileSize) {
  std::vector<std::pair<uint32_t, uint32_t>> ranges;
  for (const SectionInfo& s : image.sections())
    if ((s.characteristics & 0x20000020u) && s.rawOffset < fileSize)
      ranges.emplace_back(s.rawOffset,
                          uint32_t(
                              std::min<uint64_t>(uint64_t(s.rawOffset) + s.rawSize, fileSize)));
  return ranges;
}

const TBenchFile& benchFile() {
  static const TBenchFile file = [] {
    TBenchFile f;
    f.path = benchFilePath();
    f.bytes = readWholeFile(f.path);
    f.size = uint32_t(f.bytes.size());
    f.bytes.resize(f.bytes.size() + 16, 0);
    f.image.parseImage(f.bytes.data(), f.size, f.path);
    f.code = codeRanges(f.image, f.size);
    return f;
  }();
  return file;
}

void TRatioReporter::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& r : runs) {
    if (r.run_type != Run::RT_Iteration) continue;
    const std::string& name = r.run_name.function_name;
    times_[name] = r.run_name.time_type.empty() ? r.GetAdjustedCPUTime() : r.GetAdjustedRealTime();
    for (const auto& [key, counter] : r.counters) counters_[name][key] = counter.value;
  }
  ConsoleReporter::ReportRuns(runs);
}

void TRatioReporter::Finalize() {
  ConsoleReporter::Finalize();
  if (summary_) summary_(*this);
}

bool TRatioReporter::quotient(const std::string& a, const std::string& b, double& q) const {
  const auto ia = times_.find(a), ib = times_.find(b);
  if (ia == times_.end() || ib == times_.end() || ib->second <= 0) return false;
  q = ia->second / ib->second;
  return true;
}

bool TRatioReporter::timeOf(const std::string& name, double& t) const {
  const auto it = times_.find(name);
  if (it == times_.end()) return false;
  t = it->second;
  return true;
}

bool TRatioReporter::counterOf(const std::string& name, const std::string& counter,
                               double& value) const {
  const auto run = counters_.find(name);
  if (run == counters_.end()) return false;
  const auto it = run->second.find(counter);
  if (it == run->second.end()) return false;
  value = it->second;
  return true;
}

void TRatioReporter::printFaster(int width, const char* what, const std::string& ours,
                                 const std::string& peer) const {
  double q;
  if (quotient(peer, ours, q)) std::printf("%-*s %.2fx faster\n", width, what, q);
}

int runBenchmarks(int argc, char** argv, TRatioReporter::TSummary summary) {
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter(std::move(summary));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
