// Writing files without ever leaving a half-written file in the user's place:
// everything goes to a temporary file beside the target, which is flushed and
// then renamed over it (after the old file was renamed to its backup name).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// The largest file the 32-bit model holds: its size and the 16 zero bytes
// kept behind it in memory must fit 32 bits.
inline constexpr uint64_t kLargestFileSize = 0xFFFFFFFFull - 16;

// The path with the file name's extension replaced by `extension` (".bak",
// ".map"), or with `extension` appended when the file name has none.
std::string replaceExtension(const std::string& path, const std::string& extension);

// The backup name of a path.
inline std::string backupPathFor(const std::string& path) { return replaceExtension(path, ".bak"); }

enum class SaveError {
  None,
  Open,   // the file could not be created
  Write,  // writing failed or was short
};

struct TSaveOutcome {
  SaveError error = SaveError::None;
  uint64_t failedAt = 0;      // output position of the failed request
  uint64_t failedLength = 0;  // its length
};

// Streams the new contents: `produce` is called once with a writer that
// returns false when a write fails (produce must then stop and return false).
// Small writes are gathered into large ones; a failure is reported for the
// request that reached the disk (its position and length).
using TWriter = std::function<bool(const uint8_t* data, uint64_t size)>;
using TProducer = std::function<bool(const TWriter& write)>;

// Writes to a temporary file next to `path`, then (with makeBackup) renames
// an existing file to its backup name and the temporary file to `path`.
// The file's permission bits are kept. On any failure the file at `path`
// is left as it was.
TSaveOutcome saveThroughTemporary(const std::string& path, bool makeBackup,
                                  const TProducer& produce);
