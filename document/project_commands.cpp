#include "document/project_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "analysis/scanner.h"
#include "base/host.h"
#include "document/document.h"
#include "image/file_save.h"

namespace {

constexpr const char* kProjectFilter = "Project files (*.oxu)";

// Opens for reading and keeps only regular files: a directory opens fine
// here but is nothing to read, and a pipe would block the open.
bool canOpenForReading(const std::string& path) {
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return ok;
}

enum class TReadFile { Ok, CannotOpen, ReadFailed };

TReadFile readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return TReadFile::CannotOpen;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return TReadFile::CannotOpen;
  }
  bytes.clear();
  TReadFile result = TReadFile::Ok;
  try {
    if (S_ISREG(st.st_mode)) bytes.reserve(static_cast<size_t>(st.st_size));
    uint8_t chunk[1 << 16];
    for (;;) {
      const ssize_t got = ::read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        result = TReadFile::ReadFailed;
        break;
      }
      if (got == 0) break;
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
  } catch (const std::bad_alloc&) {
    result = TReadFile::ReadFailed;
  }
  ::close(fd);
  return result;
}

// The analysed file as the project names it: its full path, so that the
// project finds it from any current directory.
std::string fullPath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  return ec ? path : full.string();
}

std::string afterLastSlash(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void repaint(const TDocument& doc) { doc.observers().projectProgress(); }

// The analysed file named by the project. Returns PROJECT_LOADED to go on.
int useProjectFile(TDocument& doc, const std::string& stored) {
  Host& host = doc.host();
  // Paths on this system differ by case, so only the exact path is the same file.
  if (doc.isLoaded() && (stored == doc.path() || stored == fullPath(doc.path())))
    return PROJECT_LOADED;
  std::string chosen;
  if (canOpenForReading(stored)) {
    chosen = stored;
  } else if (const std::string local = afterLastSlash(stored); canOpenForReading(local)) {
    chosen = local;
  } else {
    auto picked = host.chooseOpenFile("File not found! Please select file to use with project...",
                                      "All files (*.*)", afterLastSlash(stored));
    if (!picked) return PROJECT_CANCELLED;
    chosen = *picked;
  }
  host.setStatusText("Loading file...");
  doc.setPath(chosen);
  // A project brings its own names, references and history: no full reset.
  if (doc.LoadFile(false) != LOAD_OK) return PROJECT_CANNOT_OPEN;
  repaint(doc);
  return PROJECT_LOADED;
}

void applyViewSettings(TDocument& doc, const TProjectHeader& h) {
  TViewState& v = doc.view();
  if (h.autoStrings != (v.detectStrings ? 1 : 0)) v.detectStrings = !v.detectStrings;
  if (h.programOffsets != (v.fileOffsets ? 0 : 1)) v.fileOffsets = h.programOffsets != 1;
  if (h.hexDump == 1) {
    v.hexDump = true;
  } else if (h.hexDump == 0) {
    const uint8_t width = v.bits16 ? 16 : 32;
    if (v.hexDump || h.codeWidth != width) {
      v.hexDump = false;
      v.bits16 = h.codeWidth == 16;
    }
  }
}

// Fills one reference store under its lock flag, so that readers on other
// threads leave it alone while it is incomplete.
template <class F>
int fillLocked(TDocument& doc, TRefStoreKind kind, F&& fill) {
  TStoreLocks& locks = doc.stores().locks;
  locks.lock(kind);
  const int rc = fill();
  locks.unlock(kind);
  repaint(doc);
  return rc;
}

}  // namespace

// ---- loading ------------------------------------------------------------------------

std::string defaultProjectPath(const TDocument& doc) {
  return replaceExtension(doc.path(), ".oxu");
}

int LoadProject(TDocument& doc, TProjectState& state) {
  std::vector<uint8_t> bytes;
  switch (readWholeFile(state.path, bytes)) {
    case TReadFile::CannotOpen:
      doc.host().message(state.path, "File error: Couldn't open file:", MsgIcon::Exclamation);
      return PROJECT_CANNOT_OPEN;
    case TReadFile::ReadFailed:
      // Nothing of the file could be taken: the header's read failed.
      bytes.clear();
      break;
    case TReadFile::Ok: break;
  }
  return LoadProject(doc, state, bytes.data(), bytes.size());
}

int LoadProject(TDocument& doc, TProjectState&, const uint8_t* data, size_t size) {
  Host& host = doc.host();
  TProjectReader in(data, size, host);
  int rc = in.readHeader();
  if (rc != PROJECT_LOADED) return rc;

  if ((rc = in.enterSection(PS_FILENAME)) != PROJECT_LOADED) return rc;
  std::string stored;
  bool tooLong = false;
  if ((rc = in.readFileName(stored, tooLong)) != PROJECT_LOADED) return rc;
  if (tooLong) {
    host.message("Filename too long, will be ignored!", "Warning!", MsgIcon::Exclamation);
  } else if ((rc = useProjectFile(doc, stored)) != PROJECT_LOADED) {
    return rc;
  }
  applyViewSettings(doc, in.header());
  repaint(doc);

  if ((rc = in.enterSection(PS_COMMENTS)) != PROJECT_LOADED) return rc;
  doc.names().clear();
  repaint(doc);
  rc = in.readComments(doc.names());
  repaint(doc);
  if (rc != PROJECT_LOADED) return rc;

  if ((rc = in.enterSection(PS_FIXEDREGS)) != PROJECT_LOADED) return rc;
  bool fixedMarks = false;
  rc = in.readFixedRegs(doc.trace().regs(), fixedMarks);
  if (fixedMarks) {
    doc.trace().setFixedRegistersShown(true);
    doc.observers().fixedRegistersRequested();
  }
  if (rc != PROJECT_LOADED) return rc;

  TReferenceStores& stores = doc.stores();
  if ((rc = in.enterSection(PS_JUMPANDCALLREFS)) != PROJECT_LOADED) return rc;
  rc = fillLocked(doc, TRefStoreKind::JumpCall, [&] { return in.readJumpCalls(stores.jumpCalls); });
  if (rc != PROJECT_LOADED) return rc;

  if ((rc = in.enterSection(PS_IMPORTREFS)) != PROJECT_LOADED) return rc;
  rc = fillLocked(doc, TRefStoreKind::Import, [&] { return in.readImports(stores.imports); });
  if (rc != PROJECT_LOADED) return rc;

  if ((rc = in.enterSection(PS_STRINGREFS)) != PROJECT_LOADED) return rc;
  rc = fillLocked(doc, TRefStoreKind::String, [&] { return in.readStrings(stores.strings); });
  if (rc != PROJECT_LOADED) return rc;

  if ((rc = in.enterSection(PS_MENUREFS)) != PROJECT_LOADED) return rc;
  rc = fillLocked(doc, TRefStoreKind::Menu, [&] { return in.readMenus(stores.menus); });
  if (rc != PROJECT_LOADED) return rc;

  if ((rc = in.enterSection(PS_RETURNS)) != PROJECT_LOADED) return rc;
  if ((rc = in.readReturns(doc.history())) != PROJECT_LOADED) return rc;

  reportReferenceCounts(stores, host);
  doc.trace().showEip(true);
  repaint(doc);
  return PROJECT_LOADED;
}

bool startProjectLoad(TDocument& doc, TProjectState& state) {
  if (!doc.CanClose()) return false;
  doc.workers().stopFileWorkers();
  doc.setProjectChanged(false);
  // The load reads its own copy of the state: it may outlive the caller's.
  doc.workers().projectLoader().start([&doc, state] {
    TProjectState own = state;
    return LoadProject(doc, own);
  });
  return true;
}

bool CmFileLoadProject(TDocument& doc, TProjectState& state) {
  if (!doc.CanClose()) return false;
  auto path = doc.host().chooseOpenFile("Load project...", kProjectFilter, defaultProjectPath(doc));
  if (!path) return false;
  state.path = *path;
  return startProjectLoad(doc, state);
}

// ---- saving ---------------------------------------------------------------------------

int SaveProject(TDocument& doc, TProjectState& state) {
  Host& host = doc.host();
  const TViewState& v = doc.view();
  TProjectHeader header;
  header.position = v.topOffset;
  header.codeWidth = v.bits16 ? 16 : 32;
  header.hexDump = v.hexDump ? 1 : 0;
  header.programOffsets = v.fileOffsets ? 0 : 1;
  header.autoStrings = v.detectStrings ? 1 : 0;
  // The names are copied under one hold of the names lock.
  const std::vector<TComment> names = doc.names().snapshot();
  const std::vector<uint8_t> bytes =
      buildProjectFile(header, fullPath(doc.path()),
                       {names, doc.trace().regs(), doc.stores(), doc.history()});

  // Written beside the old project and renamed over it: a failed save leaves
  // the previous project as it was.
  const TSaveOutcome out = saveThroughTemporary(state.path, false, [&](const TWriter& write) {
    return write(bytes.data(), bytes.size());
  });
  if (out.error == SaveError::Open) {
    host.message(state.path, "File error: Couldn't create file:", MsgIcon::Exclamation);
    return 0;
  }
  if (out.error == SaveError::Write) {
    host.message("File error while writing project file!", "TDWin::SaveProject()",
                 MsgIcon::Exclamation);
    return 0;
  }
  doc.setProjectChanged(false);
  return 1;
}

bool otherThreadsActive(TDocument& doc, TProjectState&) {
  if (!doc.workers().anyRunning()) return false;
  doc.host().message("Project saving, while other threads\nare running, isn't supported yet!",
                     "Other threads still active!", MsgIcon::Information);
  return true;
}

namespace {

bool saveProjectAs(TDocument& doc, TProjectState& state) {
  auto path = doc.host().chooseSaveFile("Save project as...", kProjectFilter,
                                        defaultProjectPath(doc));
  if (!path) return false;
  state.path = *path;
  return SaveProject(doc, state) == 1;
}

}  // namespace

bool CmFileSaveProject(TDocument& doc, TProjectState& state) {
  if (otherThreadsActive(doc, state)) return false;
  if (state.path.empty()) return saveProjectAs(doc, state);
  return SaveProject(doc, state) == 1;
}

bool CmFileSaveProjectAs(TDocument& doc, TProjectState& state) {
  if (otherThreadsActive(doc, state)) return false;
  return saveProjectAs(doc, state);
}

void installProjectCommands(TDocument& doc, TProjectState& state) {
  doc.setProjectSaver([&doc, &state] {
    CmFileSaveProject(doc, state);
    return !doc.projectChanged();
  });
}
