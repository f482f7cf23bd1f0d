// Writing files without ever leaving a half-written file in the user's place:
// everything goes to a temporary file beside the target, which is flushed and
// then renamed over it (after the old file was renamed to its backup name).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

class TImageInfo;

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
using TWriter = std::function<bool(const uint8_t* data, uint64_t size)>;
using TProducer = std::function<bool(const TWriter& write)>;

// Writes to a temporary file next to `path`, then (with makeBackup) renames
// an existing file to its backup name and the temporary file to `path`.
// The file's permission bits are kept. On any failure the file at `path`
// is left as it was.
TSaveOutcome saveThroughTemporary(const std::string& path, bool makeBackup,
                                  const TProducer& produce);

// ---- the section-enlarged copy ----------------------------------------------

enum class EnlargeProblem {
  None,
  NotPe,          // the buffer's headers are not PE after all
  ZeroAlignment,  // FileAlignment is 0
  Overlap,        // a section's raw data lies before bytes already written
};

struct TEnlargeResult {
  EnlargeProblem problem = EnlargeProblem::None;
  uint64_t position = 0;  // output position where an overlap was found
  uint64_t length = 0;    // the length of the chunk that could not be written (E - S)
};

// Writes the copy in which every section whose raw data is shorter than its
// virtual size gets raw data of its virtual size rounded up to the file
// alignment; the section table is rewritten in raw-offset order.
TEnlargeResult writeSectionEnlarged(const uint8_t* buffer, uint32_t size, const TImageInfo& image,
                                    const TWriter& write, bool& writeFailed);
