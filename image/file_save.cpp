#include "image/file_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

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

// Gathers small writes (headers, padding pieces) into requests of this size.
class TBufferedOutput {
 public:
  static constexpr size_t kCapacity = 1 << 16;
  explicit TBufferedOutput(int fd) : fd_(fd) { pending_.reserve(kCapacity); }

  bool write(const uint8_t* data, uint64_t size) {
    if (pending_.size() + size <= kCapacity) {
      pending_.insert(pending_.end(), data, data + size);
      return true;
    }
    if (!flush()) return false;
    if (size < kCapacity) return write(data, size);
    return request(data, size);
  }
  bool flush() {
    const bool ok = request(pending_.data(), pending_.size());
    pending_.clear();
    return ok;
  }
  uint64_t written() const { return written_; }
  uint64_t failedAt() const { return failedAt_; }
  uint64_t failedLength() const { return failedLength_; }

 private:
  bool request(const uint8_t* data, uint64_t size) {
    if (!writeAll(fd_, data, size)) {
      failedAt_ = written_;
      failedLength_ = size;
      return false;
    }
    written_ += size;
    return true;
  }
  int fd_;
  std::vector<uint8_t> pending_;
  uint64_t written_ = 0, failedAt_ = 0, failedLength_ = 0;
};

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

  TBufferedOutput output(fd);
  const TWriter writer = [&](const uint8_t* data, uint64_t size) {
    return output.write(data, size);
  };
  bool ok = produce(writer) && output.flush();
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  const uint64_t written = output.written();
  if (!ok) {
    ::unlink(temp.c_str());
    outcome.error = SaveError::Write;
    outcome.failedAt = output.failedLength() ? output.failedAt() : written;
    outcome.failedLength = output.failedLength();
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
