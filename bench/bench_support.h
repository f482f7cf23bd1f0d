// What the benchmarks share: the file they measure, its code sections, and a
// console reporter that ends with ratios of the runs' processor times.
#pragma once
#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "image/image_info.h"

// Debian's i686 libstdc++-6.dll, the largest mingw DLL at hand.
inline constexpr const char* kDefaultBenchFile =
    "/usr/lib/gcc/i686-w64-mingw32/12-win32/libstdc++-6.dll";

// OXU_BENCH_FILE, or else the default file.
std::string benchFilePath();

// The file's bytes as they are; empty when it cannot be read.
std::vector<uint8_t> readWholeFile(const std::string& path);

// [begin, end) file ranges of the sections flagged as code or executable, in
// section order, cut at the file's end.
std::vector<std::pair<uint32_t, uint32_t>> codeRanges(const TImageInfo& image, uint32_t fileSize);

// The benchmark file read once, parsed, with its code ranges.
struct TBenchFile {
  std::string path;
  std::vector<uint8_t> bytes;  // the file and 16 zero bytes, for the decoder's read-ahead
  uint32_t size = 0;
  TImageInfo image;
  std::vector<std::pair<uint32_t, uint32_t>> code;
};
const TBenchFile& benchFile();

// Console output, then the summary a benchmark prints from the times of its
// runs, by name. The time of a run is its processor time, or for a run that
// measures itself (UseManualTime) the time it reported, or for a run timed by
// the clock on the wall (UseRealTime) that time; repetitions'
// aggregates are left out, so a name holds its last run.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  using TSummary = std::function<void(const TRatioReporter&)>;
  explicit TRatioReporter(TSummary summary) : summary_(std::move(summary)) {}

  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

  // times(a) / times(b) into q, when both ran and b's time is above zero.
  bool quotient(const std::string& a, const std::string& b, double& q) const;
  // The time of run `name` in its own time unit, when it ran.
  bool timeOf(const std::string& name, double& t) const;
  // A counter of run `name`, when it ran and has it.
  bool counterOf(const std::string& name, const std::string& counter, double& value) const;
  // "what   N.NNx faster" (the peer's time over ours), `what` padded to
  // `width`; nothing when either did not run.
  void printFaster(int width, const char* what, const std::string& ours,
                   const std::string& peer) const;

 private:
  TSummary summary_;
  std::map<std::string, double> times_;
  std::map<std::string, std::map<std::string, double>> counters_;
};

// Runs every benchmark named on the command line with the reporter.
int runBenchmarks(int argc, char** argv, TRatioReporter::TSummary summary);
