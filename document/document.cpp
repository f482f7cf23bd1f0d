#include "document/document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "base/host.h"
#include "base/text_format.h"

namespace {

constexpr uint32_t kBufferTail = 16;  // zero bytes behind the file for reads past its end

class FileHandle {
 public:
  explicit FileHandle(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~FileHandle() { if (fd_ >= 0) ::close(fd_); }
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

}  // namespace

std::string windowTitle(const std::string& path) {
  if (path.empty())
    return wsString("OXU-Dasm - 32/16-bit disassembler v%i.%.2i ALPHA ", kVersionMajor,
                    kVersionMinor);
  return wsString("OXU-Dasm - 32/16-bit disassembler v%i.%.2i ALPHA - [%s]", kVersionMajor,
                  kVersionMinor, path.c_str());
}

TDocument::TDocument(Host& host) : host_(host) { image_.setHost(&host); }

void TDocument::closeFile() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  fileSize_ = 0;
  loaded_ = false;
  fileChanged_ = projectChanged_ = false;
  view_.topOffset = 0;
  image_.parseImage(nullptr, 0, std::string());
}

int TDocument::LoadFile(bool fullReset) {
  (void)fullReset;  // history, own-export names and the scan follow the reset
  if (loaded_) closeFile();

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
  if (static_cast<uint64_t>(st.st_size) > 0xFFFFFFFFull - kBufferTail) {
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

  if (image_.isPE()) {
    view_.mode = ViewMode::Code32;
    view_.fileOffsets = false;
  } else {
    view_.mode = ViewMode::Code16;
  }
  return LOAD_OK;
}

TFileCommands TDocument::fileCommands() const {
  TFileCommands c;
  if (!loaded_) return c;
  c.imageProperties = image_.isPE() != 0;
  c.exports = image_.exportsPresent() != 0;
  c.imports = image_.importsPresent() != 0;
  c.menus = image_.menusPresent() != 0;
  c.strings = image_.stringsPresent() != 0;
  c.tls = buildTlsMenu(image_);
  return c;
}

std::string TDocument::titleText() const { return windowTitle(loaded_ ? path_ : std::string()); }
