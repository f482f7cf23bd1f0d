// The open document: one file's bytes, their parsed image and the state that
// belongs to them. The desktop program's listing window and the command-line
// tool both work through it; it never touches a toolkit. Its parts: the trace
// session (trace()), the worker threads that fill its stores (workers()) and
// the observers it tells of changes and of the parts' events.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/comment_container.h"
#include "analysis/reference_stores.h"
#include "analysis/return_manager.h"
#include "document/document_observer.h"
#include "document/document_workers.h"
#include "document/trace_session.h"
#include "image/image_info.h"
#include "image/tls_menu.h"
#include "image/undo_record.h"
#include "listing/annotate.h"
#include "listing/listing_rows.h"

class Host;

// Results of TDocument::LoadFile.
enum LoadResult : int {
  LOAD_OK = 0,
  LOAD_CANNOT_OPEN = 1,
  LOAD_NO_SIZE = 2,
  LOAD_NO_MEMORY = 3,
  LOAD_NO_ACCESS = 4,
  LOAD_SHORT_READ = 5,
};

// The listing's view state (top line, modes, cursor, scroll bar).
using TViewState = TListingState;

// Byte editing in the listing; the cursor and its nibble are the view's.
struct TEditState {
  int mode = 0;  // 0 none, 1 hex digits, 2 text
};

// The settings the document's operations read.
struct TDocumentSettings {
  bool createBackups = true;
  bool keepUndoAfterSave = true;
  bool startTracerAtTlsCallback = true;  // "Start tracer at 1. TLS callback"
  bool showEipOnLoad = true;             // "Show start EIP on load"
  bool noScan = false;                   // the command line's switch: no reference scan at load
  uint32_t minStringLength = 4;          // shortest run shown as a string line
  bool cursorFollowsView = false;        // scrolling pulls the cursor along
  bool extremeScan = false;              // decode at every byte position
};

constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 35;

// An enlarged copy that the 32-bit model could not open again is refused
// (caption "File error") before anything is written.
constexpr const char* kEnlargedTooLarge =
    "The enlarged file would be 4 GB or larger and couldn't be opened again!";

class TDocument : private TReturnView {
 public:
  explicit TDocument(Host& host);
  ~TDocument() override;

  void setPath(const std::string& path) { path_ = path; }
  const std::string& path() const { return path_; }

  // Reads the file named by path() and parses it. fullReset: a file the user
  // opened (history cleared, own exports named, scan started); false when a
  // project brings its own names, references and history.
  int LoadFile(bool fullReset);

  bool isLoaded() const { return loaded_; }
  // The file's bytes followed by 16 zero bytes.
  const uint8_t* buffer() const { return buffer_.data(); }
  // For traced instructions only: they write the buffer directly, without
  // undo. Everything the user changes goes through ChangeMemory.
  uint8_t* tracedBuffer() { return buffer_.data(); }
  uint32_t fileSize() const { return fileSize_; }
  const TImageInfo& image() const { return image_; }
  TImageInfo& image() { return image_; }

  bool fileChanged() const { return fileChanged_; }
  bool projectChanged() const { return projectChanged_; }

  void setProjectChanged(bool changed) { projectChanged_ = changed; }

  TViewState& view() { return view_; }
  const TViewState& view() const { return view_; }
  TDocumentSettings& settings() { return settings_; }

  std::string titleText() const;
  Host& host() const { return host_; }

  // ---- editing, undo and redo -------------------------------------------
  // Replaces count bytes at offset: recorded for undo, file marked changed,
  // image re-parsed, listeners told. An invalid call is reported and ignored.
  void ChangeMemory(uint32_t offset, const uint8_t* src, uint32_t count);
  void undo();
  void redo();
  bool undoAvailable() const;
  bool redoAvailable() const;
  const TUndoRecord& undoRecord() const { return undo_; }
  TEditState& edit() { return edit_; }
  // A character typed while byte editing is on (modes 1 and 2).
  void typeCharacter(uint8_t c);
  // Turns the relocation covering rva into an absolute entry; false when none.
  bool removeRelocationAt(uint32_t rva);

  // ---- observers ----------------------------------------------------------
  // The document tells its observers of changes and of its workers' and the
  // tracer's events; an observer is removed before it goes.
  void addObserver(TDocumentObserver& observer) { observers_.add(observer); }
  void removeObserver(TDocumentObserver& observer) { observers_.remove(observer); }
  // Told with the changed offset after every change, undo and redo step
  // (open dialogs and dump windows refresh themselves).
  using ChangeListener = std::function<void(uint32_t offset)>;
  int addChangeListener(ChangeListener listener) {
    return observers_.addChangeListener(std::move(listener));
  }
  void removeChangeListener(int id) { observers_.remove(id); }
  // For the parts and the project commands, which tell the observers too.
  const TDocumentObservers& observers() const { return observers_; }

  // ---- saving -------------------------------------------------------------
  bool SaveFile();
  // Asks for the path ("Save file as..."), then saves there.
  bool saveFileAs();
  bool saveFileAs(const std::string& path);
  // Asks for the path ("Save file as section enlarged file..."), then writes
  // the enlarged copy there and opens it.
  bool saveSectionEnlarged();
  bool SaveFileAsSecEnlarged(const std::string& path);
  // The three save questions before the document is given up.
  bool CanClose();
  // How the close question saves the project: true when it is no longer
  // changed afterwards. Without one, an unchanged project counts as saved.
  void setProjectSaver(std::function<bool()> save) { projectSaver_ = std::move(save); }

  // ---- parts --------------------------------------------------------------
  // The tracer and its session.
  TTraceSession& trace() { return trace_; }
  const TTraceSession& trace() const { return trace_; }
  // The reference scan, the symbol file loaders and the project loader.
  TDocumentWorkers& workers() { return workers_; }
  const TDocumentWorkers& workers() const { return workers_; }

  // ---- names and navigation ---------------------------------------------
  TCommentContainer& names() { return names_; }
  const TCommentContainer& names() const { return names_; }
  TReturnManager& history() { return history_; }
  const TReturnManager& history() const { return history_; }
  // Moves the listing so that offset is shown linesAbove lines below the top.
  void gotoOffset(uint32_t offset, int linesAbove = 0);
  // Scrolls only when offset is not shown.
  void ensureVisible(uint32_t offset);
  // Returns to history entry n (0 = newest) without recording a new entry.
  void goBack(uint32_t n);
  // The address shown for a file offset in the current address column.
  uint32_t shownAddress(uint32_t fileOffset) const override;
  // Rows the listing window shows (the desktop view sets it; 0: just the top line).
  void setVisibleRows(uint32_t rows) { visibleRows_ = rows; }
  uint32_t visibleRows() const { return visibleRows_; }
  // What the listing reads to paint, step and scroll.
  TListingContext listingContext() const;

  // ---- references ---------------------------------------------------------
  TReferenceStores& stores() { return stores_; }
  const TReferenceStores& stores() const { return stores_; }

 private:
  void closeFile();
  void afterBufferChange(uint32_t offset);
  void exchangeUndoEntry(uint32_t index);
  void nameOwnExports();
  // TReturnView
  uint32_t currentPosition() const override { return view_.topOffset; }
  bool showsHexDump() const override { return view_.hexDump; }
  bool showsProgramOffsets() const override { return !view_.fileOffsets; }

  Host& host_;
  // First: workers tell it until they have stopped.
  TDocumentObservers observers_;
  std::string path_;
  std::vector<uint8_t> buffer_;
  uint32_t fileSize_ = 0;
  bool loaded_ = false;
  bool fileChanged_ = false;
  bool projectChanged_ = false;
  TImageInfo image_;
  TViewState view_;
  TEditState edit_;
  TDocumentSettings settings_;
  TUndoRecord undo_;
  TCommentContainer names_;
  TReturnManager history_;
  uint32_t visibleRows_ = 0;
  TReferenceStores stores_;
  std::unique_ptr<TListingAnnotator> annotator_;
  std::function<bool()> projectSaver_;
  TTraceSession trace_{*this, observers_};
  // Last: its threads are stopped before the stores and names they fill go.
  TDocumentWorkers workers_{*this, observers_};
};

// "OXU-Dasm - 32/16-bit disassembler v2.35 ALPHA - [path]", or the short
// form with its trailing blank when no file is named.
std::string windowTitle(const std::string& path);
