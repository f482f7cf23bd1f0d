// The section-enlarged save of a file whose .bss (raw size 0) gets 64 MiB of
// raw data: the padding goes out in 128-byte pieces through the save's
// buffered writer. The peer puts the same number of bytes on disk with one
// write() (and the same fsync and rename). Times are processor times.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "base/le_read.h"
#include "bench_support.h"
#include "image/section_enlarge.h"
#include "support/fixtures.h"
#include "support/pe_builder.h"

namespace {

constexpr uint32_t kBssSize = 64u << 20;

struct TInput {
  std::vector<uint8_t> bytes;
  TImageInfo image;
};

const TInput& input() {
  static const TInput* in = [] {
    TPeBuilder b;
    b.addSection(".text", 0x1000, 0x100, 0x200);
    b.addSection(".bss", 0x2000, kBssSize, 0, 0xC0000080).rawOffset = 0;
    b.addSection(".reloc", 0x2000 + kBssSize, 0x10, 0x200, 0x42000040);
    auto* made = new TInput;
    made->bytes = b.build();
    writeLe32(&made->bytes[b.peOffset + 0x3C], 0x200);  // FileAlignment
    made->image.parseImage(made->bytes.data(), uint32_t(made->bytes.size()), "bss.exe");
    return made;
  }();
  return *in;
}

void BM_EnlargedSave(benchmark::State& state) {
  TempDir dir;
  const TInput& in = input();
  uint64_t size = 0;
  for (auto _ : state) {
    const TEnlargeLayout layout = planSectionEnlarged(in.bytes.data(), uint32_t(in.bytes.size()),
                                                      in.image);
    const TSaveOutcome o = saveThroughTemporary(dir.file("big.exe"), false, [&](const TWriter& w) {
      return layout.problem == EnlargeProblem::None &&
             writeSectionEnlarged(in.bytes.data(), layout, w);
    });
    if (o.error != SaveError::None) state.SkipWithError("the enlarged save failed");
    size = layout.outputSize;
  }
  state.SetBytesProcessed(int64_t(state.iterations() * size));
}
BENCHMARK(BM_EnlargedSave)->Unit(benchmark::kMillisecond);

void BM_OneWrite(benchmark::State& state) {
  TempDir dir;
  const std::vector<uint8_t> bytes(input().bytes.size() + kBssSize, 0);
  const std::string temp = dir.file("big.tmp"), path = dir.file("big.exe");
  for (auto _ : state) {
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool ok = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()) &&
                    ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) state.SkipWithError("the write failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * bytes.size()));
}
BENCHMARK(BM_OneWrite)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return runBenchmarks(argc, argv, [](const TRatioReporter& times) {
    double q;
    if (times.quotient("BM_EnlargedSave", "BM_OneWrite", q))
      std::printf(
          "enlarged save (64 MiB of padding in 128-byte pieces): %.2fx the time of one write()\n",
          q);
  });
}
