#include "document/assembler_bridge.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "asm/opcode_abi.h"
#include "base/host.h"
#include "base/le_read.h"
#include "document/document.h"
#include "image/pe_layout.h"
#include "image/raw_convert.h"
#include "persist/settings.h"

namespace {

// The directory of the running program, or "" when it cannot be read.
std::string programDirectory() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  path[n] = 0;
  char* slash = std::strrchr(path, '/');
  if (!slash) return {};
  *slash = 0;
  return path;
}

// A loaded library, released when this goes.
class TLoadedLibrary {
 public:
  explicit TLoadedLibrary(const std::string& path)
      : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) {
      const char* e = dlerror();
      error_ = e ? e : "cannot be loaded";
    }
  }
  ~TLoadedLibrary() {
    if (handle_) dlclose(handle_);
  }
  TLoadedLibrary(const TLoadedLibrary&) = delete;
  TLoadedLibrary& operator=(const TLoadedLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }
  void* symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

 private:
  void* handle_;
  std::string error_;
};

// The dialog's own test of the buffer: "MZ", a positive e_lfanew inside the
// file and "PE" there.
bool isPeFile(const uint8_t* buffer, uint32_t size) {
  if (size < mz_header::kSize || buffer[0] != 'M' || buffer[1] != 'Z') return false;
  const int32_t lfanew = int32_t(readLe32(buffer + mz_header::kPeHeaderOffset));
  return lfanew > 0 && uint32_t(lfanew) + 1 < size && buffer[lfanew] == 'P' &&
         buffer[lfanew + 1] == 'E';
}

// The bytes written for an assembled result: padded with NOPs to fillTo.
std::vector<uint8_t> bytesToWrite(const TAssemblerBridge::TResult& r, uint32_t fillTo) {
  std::vector<uint8_t> bytes(r.bytes, r.bytes + r.length);
  if (r.length > 0 && bytes.size() < fillTo) bytes.resize(fillTo, 0x90);
  return bytes;
}

}  // namespace

TAssemblerBridge::TAssemblerBridge(std::string libraryPath)
    : libraryPath_(std::move(libraryPath)) {}

std::vector<std::string> TAssemblerBridge::searchPath() const {
  if (!libraryPath_.empty()) return {libraryPath_};
  std::vector<std::string> paths;
  const std::string dir = programDirectory();
  if (!dir.empty()) {
    paths.push_back(dir + "/" OPCODE_LIBRARY_NAME);
    paths.push_back(dir + "/../lib/" OPCODE_LIBRARY_NAME);
  }
  paths.push_back(OPCODE_LIBRARY_NAME);
  return paths;
}

TAssemblerBridge::TResult TAssemblerBridge::assemble(const char* text, uint32_t address,
                                                     bool code16) const {
  TResult r;
  for (const std::string& path : searchPath()) {
    r.library = path;
    TLoadedLibrary lib(path);
    if (!lib.loaded()) {
      r.status = Status::NoLibrary;
      r.detail = lib.error();
      continue;
    }
    auto entry = reinterpret_cast<TOpcodeEntry>(lib.symbol("opcode"));
    if (!entry) {
      r.status = Status::NoEntry;
      r.detail = path + " has no function opcode";
      return r;
    }
    if (code16) {
      if (auto entry16 = reinterpret_cast<TOpcodeEntry>(lib.symbol("opcode16"))) entry = entry16;
    }
    r.detail.clear();
    r.length = entry(r.bytes, text, address);
    if (r.length < 0 || r.length > kAsmOutputCap) r.length = 0;  // a foreign library's nonsense
    if (r.length > 0) {
      r.status = Status::Assembled;
      return r;
    }
    r.status = Status::Refused;
    if (auto explain = reinterpret_cast<TOpcodeExplainEntry>(lib.symbol("opcode_explain"))) {
      uint8_t scratch[kAsmOutputCap];
      char reason[200] = "";
      explain(scratch, text, address, code16 ? 16 : 32, reason, sizeof reason);
      reason[sizeof reason - 1] = 0;
      r.reason = reason;
    }
    return r;
  }
  return r;
}

uint32_t assemblerAddress(const TDocument& doc, uint32_t fileOffset) {
  if (doc.view().fileOffsets || !isPeFile(doc.buffer(), doc.fileSize())) return fileOffset;
  const uint32_t memory = rawFileOffsetToMemory(fileOffset, doc.buffer(), doc.fileSize());
  return memory ? memory : fileOffset;
}

TAsmEdit editAssemblerCommand(TDocument& doc, uint32_t fileOffset, const std::string& text,
                              const TAssemblerBridge& bridge, uint32_t fillTo) {
  TAsmEdit edit;
  if (!doc.isLoaded()) return edit;
  edit.address = assemblerAddress(doc, fileOffset);
  const TAssemblerBridge::TResult r = bridge.assemble(text.c_str(), edit.address,
                                                      doc.view().bits16);
  Host& host = doc.host();
  switch (r.status) {
    case TAssemblerBridge::Status::NoLibrary:
      host.message(
          std::string(
              "Please make sure that " OPCODE_LIBRARY_NAME
              " is in the OXU-Dasm directory!\nIf you don't have that file, you can download it "
              "at\n") +
              kWebAddress,
          "Unable to load " OPCODE_LIBRARY_NAME "!!", MsgIcon::Exclamation);
      edit.result = AsmEditResult::NoLibrary;
      return edit;
    case TAssemblerBridge::Status::NoEntry:
      host.message(r.library + " has no function opcode(out, text, address)!",
                   "Unable to use " OPCODE_LIBRARY_NAME "!!", MsgIcon::Exclamation);
      edit.result = AsmEditResult::NoEntry;
      return edit;
    default: break;
  }
  edit.length = r.length;
  edit.reason = r.reason;
  if (uint64_t(fileOffset) + uint64_t(r.length) > doc.fileSize()) {
    host.message("Command is too long!", "End of file has been reached", MsgIcon::Exclamation);
    edit.result = AsmEditResult::TooLong;
    return edit;
  }
  if (r.length == 0) {
    host.message("Please enter another one or click cancel!", "Unknown command", MsgIcon::None);
    edit.result = AsmEditResult::Unknown;
    return edit;
  }
  // The padding ends with the old line, which lies inside the file.
  const std::vector<uint8_t> bytes = bytesToWrite(r, fillTo);
  const uint32_t n = uint64_t(fileOffset) + bytes.size() <= doc.fileSize() ? uint32_t(bytes.size())
                                                                           : uint32_t(r.length);
  doc.ChangeMemory(fileOffset, bytes.data(), n);
  edit.length = int(n);
  edit.result = AsmEditResult::Written;
  return edit;
}

uint32_t listingLineLength(const TDocument& doc, uint32_t fileOffset) {
  if (!doc.isLoaded() || fileOffset >= doc.fileSize()) return 0;
  const uint32_t next = linesForward(doc.view(), doc.listingContext(), fileOffset, 1);
  return next > fileOffset ? next - fileOffset : 0;
}

std::string assemblerPreview(const TDocument& doc, uint32_t fileOffset, const std::string& text,
                             const TAssemblerBridge& bridge, uint32_t fillTo) {
  if (!doc.isLoaded() || text.find_first_not_of(" \t") == std::string::npos) return {};
  const TAssemblerBridge::TResult r =
      bridge.assemble(text.c_str(), assemblerAddress(doc, fileOffset), doc.view().bits16);
  switch (r.status) {
    case TAssemblerBridge::Status::NoLibrary: return OPCODE_LIBRARY_NAME " cannot be loaded";
    case TAssemblerBridge::Status::NoEntry: return r.detail;
    case TAssemblerBridge::Status::Refused: return r.reason.empty() ? "not accepted" : r.reason;
    case TAssemblerBridge::Status::Assembled: break;
  }
  static const char hex[] = "0123456789ABCDEF";
  std::string shown;
  for (uint8_t b : bytesToWrite(r, fillTo)) {
    if (!shown.empty()) shown += ' ';
    shown += hex[b >> 4];
    shown += hex[b & 15];
  }
  shown += r.length == 1 ? "  (1 byte" : "  (" + std::to_string(r.length) + " bytes";
  if (uint32_t(r.length) < fillTo)
    shown += " and " + std::to_string(fillTo - uint32_t(r.length)) + " NOPs";
  shown += ")";
  if (uint64_t(fileOffset) + uint64_t(r.length) > doc.fileSize())
    shown += ": past the end of the file";
  return shown;
}
