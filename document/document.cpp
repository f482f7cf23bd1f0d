#include "document/document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "base/host.h"
#include "base/text_format.h"
#include "image/exports.h"
#include "image/file_save.h"
#include "image/raw_convert.h"
#include "image/section_enlarge.h"

namespace {

constexpr uint32_t kBufferTail = 16;  // zero bytes behind the file for reads past its end

class FileHandle {
 public:
  explicit FileHandle(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

std::string baseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int hexDigit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string windowTitle(const std::string& path) {
  if (path.empty())
    return wsString("OXU-Dasm - 32/16-bit disassembler v%i.%.2i ALPHA ", kVersionMajor,
                    kVersionMinor);
  return wsString("OXU-Dasm - 32/16-bit disassembler v%i.%.2i ALPHA - [%s]", kVersionMajor,
                  kVersionMinor, path.c_str());
}

TDocument::TDocument(Host& host) : host_(host), history_(host, this) { image_.setHost(&host); }

TDocument::~TDocument() = default;

// ---- loading ----------------------------------------------------------------

void TDocument::closeFile() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  fileSize_ = 0;
  loaded_ = false;
  fileChanged_ = projectChanged_ = false;
  view_.topOffset = 0;
  view_.highlight = NOT_IN_FILE;
  view_.cursor = 0;
  view_.nibble = 0;
  edit_ = TEditState{};
  annotator_.reset();
  names_.clear();
  undo_.reset();
  image_.parseImage(nullptr, 0, std::string());
}

int TDocument::LoadFile(bool fullReset) {
  // The scan reads its own copy, but it fills this document's stores; and
  // names loaded for the old file must not land in the new one's store.
  workers_.stopFileWorkers();
  if (loaded_) closeFile();
  if (fullReset) history_.clear();

  FileHandle file(path_);
  struct stat st {};
  // A directory opens fine on this platform but is no file to read.
  if (file.fd() < 0 || ::fstat(file.fd(), &st) != 0 || S_ISDIR(st.st_mode)) {
    host_.message(path_, "File error: Couldn't open file:", MsgIcon::Warning);
    return LOAD_CANNOT_OPEN;
  }
  if (!S_ISREG(st.st_mode) || st.st_size < 0) {
    host_.message("Couldn't get file size!", "File error", MsgIcon::Warning);
    return LOAD_NO_SIZE;
  }
  // Sizes, offsets and addresses are 32-bit throughout: a larger file cannot
  // be described, and cutting its size would show a different file.
  static_assert(kLargestFileSize + kBufferTail == 0xFFFFFFFFull);
  if (static_cast<uint64_t>(st.st_size) > kLargestFileSize) {
    host_.message("The file is 4 GB or larger and can't be opened!", "File error",
                  MsgIcon::Warning);
    return LOAD_NO_SIZE;
  }
  const uint32_t size = static_cast<uint32_t>(st.st_size);
  std::vector<uint8_t> bytes;
  try {
    bytes.assign(size_t(size) + kBufferTail, 0);
  } catch (const std::bad_alloc&) {
    host_.message("Couldn't allocate memory!", "Memory error", MsgIcon::Warning);
    return LOAD_NO_MEMORY;
  }
  size_t done = 0;
  while (done < size) {
    ssize_t got = ::read(file.fd(), bytes.data() + done, size - done);
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  if (done != size) {
    host_.message("Couldn't load file into memory!", "File error", MsgIcon::Warning);
    return LOAD_SHORT_READ;
  }

  buffer_ = std::move(bytes);
  fileSize_ = size;
  loaded_ = true;
  host_.setStatusField(StatusField::FileSize, wsString("%i bytes", size));

  image_.parseImage(buffer_.data(), fileSize_, baseName(path_));
  annotator_ = std::make_unique<TListingAnnotator>(image_, buffer_.data(), fileSize_, names_,
                                                   &stores_.strings, &stores_.locks);

  view_.hexDump = false;
  if (image_.isPE()) {
    view_.bits16 = false;
    view_.fileOffsets = false;
  } else {
    // Memory addresses of a file without PE headers would be made up.
    view_.bits16 = true;
    view_.fileOffsets = true;
  }
  trace_.resetTracer(false);
  if (fullReset) {
    nameOwnExports();
    if (!settings_.noScan) workers_.startReferenceScan();
  }
  updateScrollBar(view_, listingContext());
  return LOAD_OK;
}

void TDocument::nameOwnExports() {
  for (const auto& e : ownExportNames(image_)) names_.add(e.address, e.name, REPLACE_ALWAYS);
}

std::string TDocument::titleText() const { return windowTitle(loaded_ ? path_ : std::string()); }

// ---- editing ----------------------------------------------------------------

void TDocument::ChangeMemory(uint32_t offset, const uint8_t* src, uint32_t count) {
  if (!loaded_ || !src || count < 1 || uint64_t(offset) + count > fileSize_) {
    host_.message("Invalid ChangeMemory() call", "Warning!", MsgIcon::Warning);
    return;
  }
  undo_.recordChange(offset, buffer_.data() + offset, count);
  std::copy(src, src + count, buffer_.data() + offset);
  afterBufferChange(offset);
  fileChanged_ = true;
}

void TDocument::afterBufferChange(uint32_t offset) {
  image_.parseImage(buffer_.data(), fileSize_, image_.fileName());
  observers_.changed(offset);
}

bool TDocument::undoAvailable() const { return loaded_ && undo_.canUndo(); }
bool TDocument::redoAvailable() const { return loaded_ && undo_.canRedo(); }

void TDocument::exchangeUndoEntry(uint32_t index) {
  TUndoEntry& e = undo_.entry(static_cast<int>(index));
  if (e.offset >= fileSize_) return;  // recorded for a file of another size: nothing to exchange
  uint8_t& b = buffer_[e.offset];
  // The low nibble is where typing goes on when only it differs.
  view_.nibble = edit_.mode != 2 && (e.byte >> 4) == (b >> 4) && e.byte != b ? 1 : 0;
  std::swap(e.byte, b);
  view_.cursor = e.offset;
  ensureVisible(e.offset);
  afterBufferChange(e.offset);
}

void TDocument::undo() {
  if (!undoAvailable()) return;
  const int index = undo_.stepBack();
  fileChanged_ = !undo_.atSavedPosition();
  exchangeUndoEntry(static_cast<uint32_t>(index));
}

void TDocument::redo() {
  if (!redoAvailable()) return;
  // Positions first, so that listeners told by the exchange see the new state.
  const int index = undo_.stepForward();
  fileChanged_ = !undo_.atSavedPosition();
  exchangeUndoEntry(static_cast<uint32_t>(index));
}

void TDocument::typeCharacter(uint8_t c) {
  if (!loaded_ || edit_.mode == 0 || view_.cursor >= fileSize_) return;
  const bool lastByte = view_.cursor + 1 >= fileSize_;
  // In the code listing every edit mode types hex digits.
  if (edit_.mode == 1 || !view_.hexDump) {
    const int d = hexDigit(c);
    if (d < 0) return;
    const uint8_t old = buffer_[view_.cursor];
    const uint8_t now = view_.nibble == 0 ? uint8_t((d << 4) | (old & 0x0F))
                                          : uint8_t((old & 0xF0) | d);
    const uint32_t at = view_.cursor;
    ChangeMemory(at, &now, 1);
    if (view_.nibble == 0) {
      view_.nibble = 1;
    } else if (!lastByte) {
      view_.nibble = 0;
      ++view_.cursor;
      ensureVisible(view_.cursor);
    }
    return;
  }
  if (c == 8 || c == 9) return;
  ChangeMemory(view_.cursor, &c, 1);
  if (!lastByte) {
    ++view_.cursor;
    ensureVisible(view_.cursor);
  }
}

bool TDocument::removeRelocationAt(uint32_t rva) {
  const TRelocationTable* table = image_.relocationTable();
  const TRelocationBlock* block;
  uint32_t k;
  if (!table || !table->find(rva, block, k)) return false;
  const uint64_t e = uint64_t(block->blockOffset) + 8 + 2ull * k;
  if (e + 1 >= fileSize_) return false;
  const uint8_t high = buffer_[e + 1] & 0x0F;  // type 0: an absolute entry the loader skips
  ChangeMemory(static_cast<uint32_t>(e + 1), &high, 1);
  return true;
}

// ---- saving -------------------------------------------------------------------

bool TDocument::SaveFile() {
  if (!loaded_) {
    host_.message("What shall I save???", "File's not opened ;)", MsgIcon::Warning);
    return false;
  }
  const TSaveOutcome o =
      saveThroughTemporary(path_, settings_.createBackups,
                           [&](const TWriter& write) { return write(buffer_.data(), fileSize_); });
  if (o.error == SaveError::Open) {
    host_.message(path_, "File error: Couldn't open file:", MsgIcon::Warning);
    return false;
  }
  if (o.error == SaveError::Write) {
    host_.message("Couldn't write the buffer into the file", "File error", MsgIcon::Warning);
    return false;
  }
  fileChanged_ = false;
  if (!settings_.keepUndoAfterSave) undo_.dropHistory();
  undo_.markSaved();
  return true;
}

bool TDocument::saveFileAs() {
  auto path = host_.chooseSaveFile("Save file as...", "All files (*.*)", path_);
  return path && saveFileAs(*path);
}

bool TDocument::saveFileAs(const std::string& path) {
  path_ = path;
  return SaveFile();
}

bool TDocument::saveSectionEnlarged() {
  auto path = host_.chooseSaveFile("Save file as section enlarged file...", "All files (*.*)",
                                   path_);
  return path && SaveFileAsSecEnlarged(*path);
}

bool TDocument::SaveFileAsSecEnlarged(const std::string& path) {
  if (!loaded_) {
    host_.message("What shall I save???", "File's not opened ;)", MsgIcon::Warning);
    return false;
  }
  if (!image_.isPE()) {
    host_.message("This only works with PE files, yet!", "Not a PE file!", MsgIcon::Information);
    return false;
  }
  const TEnlargeLayout layout = planSectionEnlarged(buffer_.data(), fileSize_, image_);
  const TSaveOutcome o = saveThroughTemporary(path, settings_.createBackups, [&](const TWriter& w) {
    return layout.problem == EnlargeProblem::None &&
           writeSectionEnlarged(buffer_.data(), layout, w);
  });
  if (o.error == SaveError::Open) {
    host_.message(path, "File error: Couldn't open file:", MsgIcon::Warning);
    return false;
  }
  const char* const writeFailed =
      "Couldn't write the buffer into the file (filepos=%.8X, bytestowrite=%.8X)";
  switch (layout.problem) {
    case EnlargeProblem::NotPe:
      host_.message("Not PE?!?!?", "TDWin::SaveFileAsSecEnlarged() : Strange assert result",
                    MsgIcon::Warning);
      return false;
    case EnlargeProblem::ZeroAlignment:
      host_.message("File align may not be zero!",
                    "TDWin::SaveFileAsSecEnlarged(): File align is zero", MsgIcon::Warning);
      return false;
    case EnlargeProblem::Overlap:
      host_.message(wsString(writeFailed, uint32_t(layout.failedAt), uint32_t(layout.failedLength)),
                    "File error", MsgIcon::Warning);
      return false;
    case EnlargeProblem::TooLarge:
      host_.message(kEnlargedTooLarge, "File error", MsgIcon::Warning);
      return false;
    case EnlargeProblem::None: break;
  }
  if (o.error == SaveError::Write) {
    host_.message(wsString(writeFailed, uint32_t(o.failedAt), uint32_t(o.failedLength)),
                  "File error", MsgIcon::Warning);
    return false;
  }
  fileChanged_ = false;
  if (!settings_.keepUndoAfterSave) undo_.dropHistory();
  undo_.markSaved();
  path_ = path;
  LoadFile(true);
  return true;
}

bool TDocument::CanClose() {
  auto saveProjectNow = [&] { return projectSaver_ ? projectSaver_() : !projectChanged_; };
  if (fileChanged_ && projectChanged_) {
    switch (host_.message("Do you want to save?", "File and project have been changed!",
                          MsgIcon::Question, MsgButtons::YesNoCancel)) {
      case MsgAnswer::Yes:
        if (!SaveFile()) return false;
        return saveProjectNow();
      case MsgAnswer::No: return true;
      default: return false;
    }
  }
  if (fileChanged_) {
    switch (host_.message("Do you want to save?", "File has been changed!", MsgIcon::Question,
                          MsgButtons::YesNoCancel)) {
      case MsgAnswer::Yes: return SaveFile();
      case MsgAnswer::No: return true;
      default: return false;
    }
  }
  if (projectChanged_) {
    switch (host_.message("Do you want to save?", "Project has been changed!", MsgIcon::Question,
                          MsgButtons::YesNoCancel)) {
      case MsgAnswer::Yes: return saveProjectNow();
      case MsgAnswer::No: return true;
      default: return false;
    }
  }
  return true;
}

// ---- navigation ---------------------------------------------------------------

void TDocument::gotoOffset(uint32_t offset, int linesAbove) {
  ::gotoOffset(view_, listingContext(), offset, linesAbove < 0 ? 0 : uint32_t(linesAbove));
}

void TDocument::ensureVisible(uint32_t offset) {
  if (!loaded_ || offset >= fileSize_) return;
  const TListingContext ctx = listingContext();
  const uint32_t rows = visibleRows_ ? visibleRows_ : 1;
  const uint32_t bottom = view_.hexDump ? view_.topOffset + 16 * rows
                                        : linesForward(view_, ctx, view_.topOffset, rows);
  if (offset >= view_.topOffset && offset < bottom) return;
  ::gotoLineOf(view_, ctx, offset, 0);
}

TListingContext TDocument::listingContext() const {
  TListingContext ctx;
  ctx.lines.buffer = buffer_.empty() ? nullptr : buffer_.data();
  ctx.lines.size = fileSize_;
  ctx.lines.image = &image_;
  ctx.lines.annotator = annotator_.get();
  ctx.lines.host = &host_;
  ctx.lines.markRelocations = view_.markRelocations;
  ctx.lines.minStringLength = settings_.minStringLength;
  ctx.cursorFollowsView = settings_.cursorFollowsView;
  trace_.describe(ctx.lines);
  ctx.names = &names_;
  ctx.jumpCalls = &stores_.jumpCalls;
  ctx.locks = &stores_.locks;
  ctx.host = &host_;
  return ctx;
}

void TDocument::goBack(uint32_t n) {
  if (history_.count() == 0) return;
  const ReturnEntry e = history_.removeReturnsDownto(n);
  view_.hexDump = e.hexDump == 1;
  gotoOffset(e.address, 0);
}

uint32_t TDocument::shownAddress(uint32_t fileOffset) const {
  return ::shownAddress(fileOffset, buffer_.data(), fileSize_, !view_.fileOffsets, &image_);
}
