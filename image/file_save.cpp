#include "image/file_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/le_read.h"
#include "image/image_info.h"

std::string replaceExtension(const std::string& path, const std::string& extension) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    return path.substr(0, dot) + extension;
  return path + extension;
}

namespace {

bool writeAll(int fd, const uint8_t* data, uint64_t size) {
  while (size > 0) {
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(size, 1u << 30));
    const ssize_t n = ::write(fd, data, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<uint64_t>(n);
  }
  return true;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

TSaveOutcome saveThroughTemporary(const std::string& path, bool makeBackup,
                                  const TProducer& produce) {
  TSaveOutcome outcome;
  if (path.empty()) {
    outcome.error = SaveError::Open;
    return outcome;
  }
  std::string temp = path + ".oxu-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    outcome.error = SaveError::Open;
    return outcome;
  }
  // A patched program keeps its permissions (an executable stays executable).
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) {
    if (S_ISDIR(old.st_mode)) {
      ::close(fd);
      ::unlink(temp.c_str());
      outcome.error = SaveError::Open;
      return outcome;
    }
    ::fchmod(fd, old.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }

  uint64_t written = 0;
  const TWriter writer = [&](const uint8_t* data, uint64_t size) {
    if (!writeAll(fd, data, size)) {
      outcome.failedAt = written;
      outcome.failedLength = size;
      return false;
    }
    written += size;
    return true;
  };
  bool ok = produce(writer);
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    ::unlink(temp.c_str());
    outcome.error = SaveError::Write;
    if (outcome.failedLength == 0) outcome.failedAt = written;
    return outcome;
  }

  const std::string backup = makeBackup ? backupPathFor(path) : std::string();
  bool movedToBackup = false;
  if (makeBackup && backup != path) {
    // As before: failures to make the backup are not reported.
    ::unlink(backup.c_str());
    movedToBackup = ::rename(path.c_str(), backup.c_str()) == 0;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    if (movedToBackup) ::rename(backup.c_str(), path.c_str());
    ::unlink(temp.c_str());
    outcome.error = SaveError::Write;
    outcome.failedAt = 0;
    outcome.failedLength = written;
    return outcome;
  }
  // Make the rename itself durable.
  const int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return outcome;
}

TEnlargeResult writeSectionEnlarged(const uint8_t* buffer, uint32_t size, const TImageInfo& image,
                                    const TWriter& write, bool& writeFailed) {
  TEnlargeResult r;
  writeFailed = false;
  const uint32_t p = size >= 0x40 ? readLe32(buffer + 0x3C) : 0;
  if (p == 0 || uint64_t(size) <= uint64_t(p) + 140 || readLe16(buffer + p) != 0x4550) {
    r.problem = EnlargeProblem::NotPe;
    return r;
  }
  const uint32_t align = readLe32(buffer + p + 0x3C);
  if (align == 0) {
    r.problem = EnlargeProblem::ZeroAlignment;
    return r;
  }
  const uint64_t table = uint64_t(p) + 0x78 + 8ull * readLe32(buffer + p + 0x74);

  std::vector<SectionInfo> order = image.sections();
  std::stable_sort(order.begin(), order.end(), [](const SectionInfo& a, const SectionInfo& b) {
    return a.rawOffset < b.rawOffset;
  });
  const size_t count = order.size();
  std::vector<uint64_t> newRawSize(count);
  std::vector<bool> enlarged(count);
  for (size_t j = 0; j < count; ++j) {
    enlarged[j] = order[j].rawSize < order[j].virtualSize;
    newRawSize[j] = enlarged[j] ? (uint64_t(order[j].virtualSize) + align - 1) / align * align
                                : order[j].rawSize;
  }

  uint64_t out = 0;
  auto emit = [&](const uint8_t* data, uint64_t n) {
    if (!write(data, n)) {
      writeFailed = true;
      return false;
    }
    out += n;
    return true;
  };

  // Headers up to the section table, unchanged. The table itself may lie
  // (partly) past the end of the file: then what the file lacks is zeros.
  const uint64_t headerPart = std::min<uint64_t>(table, size);
  if (!emit(buffer, headerPart)) return r;
  static const uint8_t zeros[4096] = {};
  for (uint64_t left = table - headerPart; left > 0;) {
    const uint64_t n = std::min<uint64_t>(left, sizeof zeros);
    if (!emit(zeros, n)) return r;
    left -= n;
  }

  uint64_t position = count ? order[0].rawOffset : 0;
  for (size_t j = 0; j < count; ++j) {
    uint8_t h[40] = {};
    std::memcpy(h, order[j].name, 8);
    writeLe32(h + 8, order[j].virtualSize);
    writeLe32(h + 12, order[j].rva);
    writeLe32(h + 16, static_cast<uint32_t>(newRawSize[j]));
    writeLe32(h + 20, static_cast<uint32_t>(position));
    writeLe32(h + 36, order[j].characteristics);
    if (!emit(h, 40)) return r;
    position += newRawSize[j];
  }

  uint64_t source = table + 40ull * count;
  uint64_t required = 0;
  for (size_t j = 0; j <= count; ++j) {
    const uint64_t end = j < count ? order[j].rawOffset : size;
    // Raw data before what was already copied, or beyond the end of the file.
    if (end < source || end > size) {
      r.problem = EnlargeProblem::Overlap;
      r.position = out;
      r.length = static_cast<uint32_t>(end - source);
      return r;
    }
    if (!emit(buffer + source, end - source)) return r;
    for (uint64_t done = end - source; done < required;) {
      const uint64_t n = std::min<uint64_t>(required - done, 128);
      if (!emit(zeros, n)) return r;
      done += n;
    }
    source = end;
    required = j < count && enlarged[j] ? newRawSize[j] : 0;
  }
  return r;
}
