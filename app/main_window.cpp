#include "app/main_window.h"

#include <QAction>
#include <algorithm>
#include <iterator>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "app/about_dlg.h"
#include "app/commands.h"
#include "app/goto_dlg.h"
#include "app/icons.h"
#include "app/qt_host.h"
#include "app/ret_combo.h"
#include "app/status_bar.h"
#include "app/trace_vis_window.h"
#include "base/host.h"
#include "document/document.h"
#include "document/project_commands.h"
#include "persist/profile_file.h"

namespace {

// The listing's client area as the window opens.
constexpr int kListingWidth = 600;
constexpr int kListingHeight = 360;
// A dropped file's path must fit the name buffer the loader keeps.
constexpr int kDropPathRoom = 260;
// During a continuous trace the listing is repainted at most this often.
constexpr qint64 kTracePaintMs = 16;
// ... and pending events are looked at this often, so Escape arrives.
constexpr qint64 kTraceEventsMs = 4;

QString qs(const std::string& s) { return QString::fromStdString(s); }

bool isProjectFile(const std::string& path) {
  return QFileInfo(qs(path)).suffix().compare(QStringLiteral("oxu"), Qt::CaseInsensitive) == 0;
}

}  // namespace

TDDecoratedFrame::TDDecoratedFrame(Host& host, const TSettings& settings,
                                   const TMainWindowSettings& window, TProfileFile* profile,
                                   QWidget* parent)
    : QMainWindow(parent),
      host_(host),
      settings_(settings),
      window_(window),
      profile_(profile),
      doc_(std::make_unique<TDocument>(host)) {
  quit = [](int code) { QCoreApplication::exit(code); };
  processEvents = [] { QCoreApplication::processEvents(); };

  TDocumentSettings& ds = doc_->settings();
  ds.createBackups = settings_.createBackups;
  ds.startTracerAtTlsCallback = settings_.startTracerAtTlsCallback;
  ds.showEipOnLoad = settings_.showEipOnLoad;
  ds.extremeScan = window_.extremeScan;
  ds.keepUndoAfterSave = profile_ ? readKey(*profile_, kKeepUndoAfterSave) != 0 : true;
  doc_->view().showCodeReferences = window_.showCodeReferences;
  doc_->view().markRelocations = settings_.markBasedRelocations;
  ds.minStringLength = uint32_t(settings_.minStringLength);
  ds.cursorFollowsView = settings_.cursorFollowView;
  installProjectCommands(*doc_, project_);
  // The project is loaded on this thread (see loadProject), so both run here.
  project_.repaint = [this] { refresh(); };
  project_.showFixedRegisters = [this] { doc_->fixedRegistersShown = true; };

  setWindowTitle(qs(::windowTitle(std::string())));
  setWindowIcon(programIcon());
  setAcceptDrops(true);

  listing_ = new TListingView(*doc_, settings_, this);
  listing_->setMinimumSize(200, 100);
  setCentralWidget(listing_);
  status_ = new TDStatusBar(this);
  setStatusBar(status_);
  if (auto* qtHost = dynamic_cast<TQtHost*>(&host_)) {
    qtHost->setStatusBar(status_);
    qtHost->setDialogParent(this);
    qtHost->addressInFile = [this](uint32_t address) {
      const TImageInfo& im = doc_->image();
      const uint32_t o = im.isPE() ? im.memoryToFileOffset(address) : address;
      return doc_->isLoaded() && o < doc_->fileSize();
    };
    qtHost->showAddress = [this](uint32_t address) {
      const TImageInfo& im = doc_->image();
      const uint32_t o = im.isPE() ? im.memoryToFileOffset(address) : address;
      doc_->history().pushReturn(RK_GOTO);
      doc_->gotoOffset(o, 0);
      refresh();
    };
  }

  buildMenus();
  buildToolBar();

  connect(listing_, &TListingView::hintChanged, status_, &TDStatusBar::setHint);
  connect(listing_, &TListingView::cursorAddressChanged, status_, &TDStatusBar::setCursorAddress);
  connect(listing_, &TListingView::cursorValueChanged, status_, &TDStatusBar::setCursorValue);
  connect(listing_, &TListingView::commandRequested, this, &TDDecoratedFrame::runCommand);

  doc_->history().setChangedHandler([this] {
    if (gadget_) gadget_->update();
  });
  changeListener_ = doc_->addChangeListener([this](uint32_t) {
    rebuildFileMenus();
    repaintSoon();
  });
  // Worker threads tell these; the repaint happens on this thread.
  doc_->storeFilled = [this](TRefStoreKind) {
    QMetaObject::invokeMethod(this, [this] { listing_->documentChanged(); }, Qt::QueuedConnection);
  };
  doc_->symbolsLoaded = [this](int) {
    QMetaObject::invokeMethod(this, [this] { listing_->documentChanged(); }, Qt::QueuedConnection);
  };

  qApp->installEventFilter(this);
  rebuildFileMenus();
  updateModeChecks();
  resize(kListingWidth, kListingHeight + menuBar()->sizeHint().height() +
                            toolBar_->sizeHint().height() + status_->sizeHint().height());
}

TDDecoratedFrame::~TDDecoratedFrame() {
  qApp->removeEventFilter(this);
  // Workers stop before the window they report to goes away.
  whileWorkersStop([this] {
    doc_->stopReferenceScan();
    doc_->stopSymbolLoaders();
  });
  doc_->storeFilled = nullptr;
  doc_->symbolsLoaded = nullptr;
  doc_->removeChangeListener(changeListener_);
  doc_->history().setChangedHandler(nullptr);
  if (auto* qtHost = dynamic_cast<TQtHost*>(&host_)) {
    qtHost->addressInFile = nullptr;
    qtHost->showAddress = nullptr;
  }
  delete vis_.data();
  delete goto_.data();
  // The listing reads the document while it is destroyed.
  delete listing_;
  listing_ = nullptr;
}

// ---- menus and tool bar ---------------------------------------------------------

QAction* TDDecoratedFrame::makeAction(int id, QObject* owner, bool checkable) {
  const TCommandText* c = commandText(id);
  auto* a = new QAction(owner);
  if (c && c->text) a->setText(QString::fromLatin1(c->text));
  if (c && c->hint) a->setStatusTip(QString::fromLatin1(c->hint));
  a->setData(id);
  a->setCheckable(checkable);
  // Only the tool bar shows pictures; a menu bar draws an icon instead of the text.
  static const int kToolBarIds[] = {100, 101, 111, 112, 113, 114, 115, 116, 118, 121};
  if (std::find(std::begin(kToolBarIds), std::end(kToolBarIds), id) != std::end(kToolBarIds)) {
    a->setIcon(commandIcon(id));
    a->setIconVisibleInMenu(false);
  }
  connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
  actions_[id] = a;
  return a;
}

void TDDecoratedFrame::buildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  for (int id : {100, 101, 102, 117, 0, 103, 104, 105, 0, 106, 110, 0, 107, 0, 108, 0, 109}) {
    if (id == 0) file->addSeparator();
    else file->addAction(makeAction(id, this));
  }

  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  QMenu* assemble = view->addMenu(QStringLiteral("&Assemble"));
  assemble->addAction(makeAction(111, this, true));
  assemble->addAction(makeAction(112, this, true));
  view->addAction(makeAction(113, this, true));
  view->addSeparator();
  view->addAction(makeAction(115, this, true));
  view->addAction(makeAction(116, this, true));
  view->addSeparator();
  view->addAction(makeAction(114, this, true));
  view->addAction(makeAction(118, this, true));

  bar->addAction(makeAction(120, this));
  bar->addAction(makeAction(125, this));

  QMenu* tracing = bar->addMenu(QStringLiteral("&Tracing"));
  tracing->addAction(makeAction(140, this));
  tracing->addAction(makeAction(141, this));
  tracing->addAction(makeAction(142, this));
  tracing->addSeparator();
  tracing->addAction(makeAction(143, this));
  tlsMenu_ = tracing->addMenu(QStringLiteral("Setup tracer for TLS callback"));
  for (int k = 0; k < 4; ++k) {
    QAction* a = makeAction(CM_TLS_1 + k, this);
    a->setText(QStringLiteral("Callback %1").arg(k + 1));
    tlsMenu_->addAction(a);
  }
  QAction* more = makeAction(CM_TLS_MORE_ITEM, this);
  more->setText(QStringLiteral("More..."));
  tlsMenu_->addAction(more);
  tracing->addAction(makeAction(144, this));
  tracing->addAction(makeAction(150, this));
  tracing->addSeparator();
  tracing->addAction(makeAction(126, this));
  tracing->addAction(makeAction(151, this));

  // Items that come and go with the file; kept while absent.
  for (int id : {130, 155, 156, 185, 186}) makeAction(id, this);
  resourcesMenu_ = new QMenu(QStringLiteral("&Resources"), this);
  makeAction(161, this);
  makeAction(162, this);

  // "&About" sits at the right edge of the menu bar.
  aboutBar_ = new QMenuBar(bar);
  aboutBar_->addAction(makeAction(190, this));
  bar->setCornerWidget(aboutBar_, Qt::TopRightCorner);
}

void TDDecoratedFrame::buildToolBar() {
  toolBar_ = addToolBar(QStringLiteral("Tools"));
  toolBar_->setMovable(false);
  toolBar_->setIconSize(QSize(16, 16));
  auto add = [this](int id) {
    QAction* a = actions_.value(id);
    if (!a) a = makeAction(id, this);
    toolBar_->addAction(a);
  };
  add(100);
  add(101);
  toolBar_->addSeparator();
  add(112);
  add(111);
  add(113);
  toolBar_->addSeparator();
  add(115);
  add(116);
  toolBar_->addSeparator();
  add(114);
  add(118);
  toolBar_->addSeparator();
  add(121);
  actions_[121]->setToolTip(QString::fromLatin1(commandText(121)->hint));
  toolBar_->addSeparator();
  gadget_ = new TRetComboGadget(doc_->history(), toolBar_);
  toolBar_->addWidget(gadget_);
  connect(gadget_, &TRetComboGadget::goBackRequested, this, [this](int n) {
    doc_->goBack(uint32_t(n));
    refresh();
  });
}

QAction* TDDecoratedFrame::action(int id) const {
  QAction* a = actions_.value(id);
  if (!a) return nullptr;
  // A dynamic item counts only while it is in the menu bar or its submenu.
  switch (id) {
    case 130:
    case 155:
    case 156:
    case 185:
    case 186: return menuBar()->actions().contains(a) ? a : nullptr;
    case 161:
    case 162:
      return menuBar()->actions().contains(resourcesMenu_->menuAction()) &&
                     resourcesMenu_->actions().contains(a)
                 ? a
                 : nullptr;
    default: return a;
  }
}

void TDDecoratedFrame::rebuildFileMenus() {
  QMenuBar* bar = menuBar();
  const TFileCommands c = doc_->fileCommands();
  for (int id : {130, 155, 156, 185, 186}) bar->removeAction(actions_[id]);
  bar->removeAction(resourcesMenu_->menuAction());
  resourcesMenu_->clear();

  // After "&File" .. "&Tracing": image properties at 5, exports at 6, imports next.
  if (c.imageProperties) bar->addAction(actions_[130]);
  if (c.exports) bar->addAction(actions_[155]);
  if (c.imports) bar->addAction(actions_[156]);
  if (c.menus) resourcesMenu_->addAction(actions_[161]);
  if (c.strings) resourcesMenu_->addAction(actions_[162]);
  if (c.resourcesSubmenu()) bar->addMenu(resourcesMenu_);
  if (doc_->undoAvailable()) bar->addAction(actions_[185]);
  if (doc_->redoAvailable()) bar->addAction(actions_[186]);

  // The TLS callback submenu.
  if (doc_->isLoaded()) {
    for (size_t k = 0; k < c.tls.items.size(); ++k) {
      QAction* a = actions_[CM_TLS_1 + int(k)];
      a->setText(qs(c.tls.items[k].text));
      a->setEnabled(c.tls.items[k].enabled);
    }
    tlsMenu_->menuAction()->setEnabled(c.tls.enabled);
  } else {
    for (int k = 0; k < 4; ++k) actions_[CM_TLS_1 + k]->setText(QStringLiteral("Callback %1").arg(k + 1));
    for (int k = 0; k < 5; ++k) actions_[CM_TLS_1 + k]->setEnabled(false);
    tlsMenu_->menuAction()->setEnabled(false);
  }
}

void TDDecoratedFrame::updateModeChecks() {
  const TViewState& v = doc_->view();
  actions_[111]->setChecked(!v.hexDump && !v.bits16);
  actions_[112]->setChecked(!v.hexDump && v.bits16);
  actions_[113]->setChecked(v.hexDump);
  actions_[115]->setChecked(v.fileOffsets);
  actions_[116]->setChecked(!v.fileOffsets);
  // Memory addresses exist for PE files only.
  actions_[116]->setEnabled(doc_->isLoaded() && doc_->image().isPE());
  actions_[114]->setChecked(v.detectStrings);
  actions_[118]->setChecked(v.markRelocations);
  status_->setValueFieldShown(v.hexDump);
}

void TDDecoratedFrame::refresh() {
  // Undo and redo tell their listeners before the undo position moves: the
  // items are looked at again once the command is done.
  rebuildFileMenus();
  updateModeChecks();
  listing_->documentChanged();
  gadget_->update();
  if (goto_) goto_->documentChanged();
}

void TDDecoratedFrame::repaintSoon() {
  if (repaintPosted_) return;
  repaintPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        repaintPosted_ = false;
        refresh();
      },
      Qt::QueuedConnection);
}

// ---- start-up and loading -------------------------------------------------------

void TDDecoratedFrame::start(const TCommandLine& line) {
  doc_->settings().noScan = line.noScan;
  if (!line.file.empty()) setWindowTitle(qs(::windowTitle(line.file)));
  QTimer::singleShot(0, this, [this, line] { startupRequest(line); });
}

void TDDecoratedFrame::startupRequest(const TCommandLine& line) {
  doc_->settings().noScan = line.noScan;
  if (!line.file.empty()) {
    loadPath(line.file);
    return;
  }
  if (!window_.openFileOnStartup) return;
  auto path = host_.chooseOpenFile("Open file to disassemble or project...", "All files (*.*)", "");
  if (!path) return;
  if (isProjectFile(*path)) {
    loadProject(*path);
    return;
  }
  loadPath(*path);
}

void TDDecoratedFrame::whileWorkersStop(const std::function<void()>& f) {
  auto* qtHost = dynamic_cast<TQtHost*>(&host_);
  if (qtHost) qtHost->setAbandonQuestions(true);
  f();
  if (qtHost) qtHost->setAbandonQuestions(false);
}

bool TDDecoratedFrame::loadPath(const std::string& path) {
  // The visualisation window shows the old trace, which the load replaces.
  closeTraceVis();
  if (doc_->tracing()) doc_->abortTrace();
  doc_->setPath(path);
  int result = LOAD_OK;
  // The load stops the scan and the symbol loaders first.
  whileWorkersStop([&] { result = doc_->LoadFile(true); });
  afterLoad();
  return result == LOAD_OK;
}

bool TDDecoratedFrame::loadProject(const std::string& path) {
  closeTraceVis();
  if (doc_->tracing()) doc_->abortTrace();
  project_.path = path;
  whileWorkersStop([&] {
    doc_->stopReferenceScan();
    doc_->stopSymbolLoaders();
  });
  doc_->setProjectChanged(false);
  // Loaded on this thread: a project reads in milliseconds, and the listing
  // must not paint from a document that another thread is filling.
  const int result = LoadProject(*doc_, project_);
  afterLoad();
  return result == PROJECT_LOADED;
}

void TDDecoratedFrame::afterLoad() {
  // Only a PE file has memory addresses; a file loaded after one must not
  // keep showing them.
  if (doc_->isLoaded() && !doc_->image().isPE()) doc_->view().fileOffsets = true;
  setWindowTitle(qs(doc_->titleText()));
  rebuildFileMenus();
  refresh();
}

bool TDDecoratedFrame::openFile(const std::string& path) { return loadPath(path); }

void TDDecoratedFrame::closeTraceVis() { delete vis_.data(); }

// ---- commands ---------------------------------------------------------------------

void TDDecoratedFrame::runCommand(int id) {
  TDocument& d = *doc_;
  // Trace commands wait while a continuous trace runs; Escape ends it.
  if (d.tracing() && ((id >= 140 && id <= 151) || id == CM_UNDO || id == CM_REDO)) return;
  switch (id) {
    case CM_FILE_OPEN: {
      if (!d.CanClose()) return;
      auto path = host_.chooseOpenFile("Open file to disassemble...", "All files (*.*)", "");
      if (!path) return;
      if (!loadPath(*path)) quit(2);
      return;
    }
    case CM_FILE_LOAD_PROJECT: {
      if (!d.CanClose()) return;
      auto path = host_.chooseOpenFile("Load project...", "Project files (*.oxu)", defaultProjectPath(d));
      if (path) loadProject(*path);
      return;
    }
    case CM_FILE_SAVE_PROJECT:
      CmFileSaveProject(d, project_);
      return;
    case CM_FILE_SAVE_PROJECT_AS:
      CmFileSaveProjectAs(d, project_);
      return;
    case CM_FILE_SAVE:
      d.SaveFile();
      rebuildFileMenus();
      return;
    case CM_FILE_SAVE_AS:
      d.saveFileAs();
      setWindowTitle(qs(d.titleText()));
      rebuildFileMenus();
      return;
    case CM_SAVE_ENLARGED: {
      if (!d.isLoaded() || !d.image().isPE()) {
        d.saveSectionEnlarged();  // says why it cannot
        return;
      }
      // The enlarged copy is opened afterwards: the old trace goes.
      bool saved = false;
      whileWorkersStop([&] { saved = d.saveSectionEnlarged(); });
      if (saved) {
        closeTraceVis();
        afterLoad();
      }
      return;
    }
    case CM_LOAD_MAP: d.loadSymbolFileCommand(SymbolFileKind::Map); return;
    case CM_LOAD_DEF: d.loadSymbolFileCommand(SymbolFileKind::Def); return;
    case CM_RESCAN: d.startReferenceScan(); return;
    case CM_EXIT: close(); return;
    case CM_VIEW_32:
    case CM_VIEW_16:
    case CM_VIEW_HEX:
    case CM_AUTO_STRINGS:
    case CM_FILE_OFFSETS:
    case CM_PROGRAM_OFFSETS:
    case CM_MARK_RELOCATIONS: setViewMode(id); return;
    case CM_GOTO: openGoto(); return;
    case CM_GOTO_ENTRY: gotoEntryPoint(); return;
    case CM_TRACE_STEP:
      if (!d.isLoaded()) return;
      d.traceStep();
      refresh();
      return;
    case CM_TRACE_CONTINUOUS: traceContinuous(); return;
    case CM_SHOW_EIP:
      if (!d.isLoaded()) return;
      d.showEip(true);
      refresh();
      return;
    case CM_RESET_TRACER:
      if (!d.isLoaded()) return;
      closeTraceVis();
      d.resetTracer(true);
      refresh();
      return;
    case CM_SETUP_ENTRY:
      if (!d.isLoaded()) return;
      d.setupTracerEntryPoint();
      refresh();
      return;
    case CM_TLS_MORE_ITEM: d.tlsCallbackMore(); return;
    case CM_CLEAR_BREAKPOINTS:
      d.clearBreakpoints();
      refresh();
      return;
    case CM_VISUALIZE: toggleTraceVis(); return;
    case CM_UNDO: d.undo(); refresh(); return;
    case CM_REDO: d.redo(); refresh(); return;
    case CM_ABOUT: {
      if (!about_) {
        about_ = new TAboutDlg(this);
        about_->setAttribute(Qt::WA_DeleteOnClose);
      }
      about_->show();
      about_->raise();
      return;
    }
    default:
      if (id >= CM_TLS_1 && id <= CM_TLS_4) {
        if (!d.isLoaded()) return;
        d.setupTracerTlsCallback(uint32_t(id - CM_TLS_1));
        refresh();
      }
      // Project files (103-105), preferences (108), search (125), fixed
      // registers (126, 127) and the file's tool windows (130, 155, 156, 161,
      // 162) have their windows elsewhere.
      return;
  }
}

void TDDecoratedFrame::setViewMode(int id) {
  TViewState& v = doc_->view();
  switch (id) {
    case CM_VIEW_32: v.hexDump = false; v.bits16 = false; break;
    case CM_VIEW_16: v.hexDump = false; v.bits16 = true; break;
    case CM_VIEW_HEX: v.hexDump = true; break;
    case CM_FILE_OFFSETS: v.fileOffsets = true; break;
    case CM_PROGRAM_OFFSETS:
      if (doc_->isLoaded() && doc_->image().isPE()) v.fileOffsets = false;
      break;
    case CM_AUTO_STRINGS: v.detectStrings = !v.detectStrings; break;
    case CM_MARK_RELOCATIONS:
      v.markRelocations = !v.markRelocations;
      settings_.markBasedRelocations = v.markRelocations;
      if (profile_) writeKey(*profile_, kMarkBasedRelocations, v.markRelocations ? 1 : 0);
      break;
    default: break;
  }
  refresh();
}

void TDDecoratedFrame::openGoto() {
  if (!goto_) {
    goto_ = new TGotoDlg(*doc_, this);
    goto_->setAttribute(Qt::WA_DeleteOnClose);
    connect(goto_, &TGotoDlg::moved, this, [this] { refresh(); });
  }
  goto_->documentChanged();
  goto_->show();
  goto_->raise();
  goto_->activateWindow();
  goto_->edit()->setFocus();
}

void TDDecoratedFrame::gotoEntryPoint() {
  TDocument& d = *doc_;
  if (!d.isLoaded()) return;
  const TImageInfo& im = d.image();
  // In 16-bit mode a PE file's entry is its DOS part's.
  const uint32_t target =
      !im.isPE() || d.view().bits16 ? im.mzEntryOffset() : im.entryOffset();
  if (target < d.fileSize()) {
    TReturnManager& h = d.history();
    if (h.count() == 0 || h.getReturn(h.count() - 1).address != target) h.pushReturn(RK_GOTO);
  }
  d.gotoOffset(target, 0);
  refresh();
}

void TDDecoratedFrame::traceContinuous() {
  TDocument& d = *doc_;
  if (!d.isLoaded() || d.tracing()) return;
  QElapsedTimer sincePaint, sinceEvents;
  sincePaint.start();
  sinceEvents.start();
  uint32_t steps = 0;
  d.traceContinuous([&] {
    // Looking at the clock costs more than a step: only every 64 steps.
    if ((++steps & 63) != 0 || sinceEvents.elapsed() < kTraceEventsMs) return;
    sinceEvents.restart();
    if (sincePaint.elapsed() >= kTracePaintMs) {
      sincePaint.restart();
      listing_->documentChanged();
    }
    processEvents();
  });
  refresh();
  if (closeAfterTrace_) {
    closeAfterTrace_ = false;
    close();
  }
}

void TDDecoratedFrame::toggleTraceVis() {
  if (!doc_->isLoaded() || !doc_->traceVis()) return;
  if (!vis_) {
    vis_ = new TTraceVisWindow(*doc_->traceVis(), this);
    vis_->show();
    return;
  }
  vis_->setVisible(!vis_->isVisible());
}

// ---- keys, hints, drops and closing ------------------------------------------------

bool TDDecoratedFrame::ownsWidget(QObject* watched) const {
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w) return false;
  QWidget* top = w->window();
  return top == this || top->parentWidget() == this;
}

bool TDDecoratedFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && ownsWidget(watched) &&
      !QApplication::activeModalWidget())
    return frameKey(static_cast<QKeyEvent*>(event));
  return QMainWindow::eventFilter(watched, event);
}

bool TDDecoratedFrame::frameKey(QKeyEvent* key) {
  const bool control = key->modifiers() & Qt::ControlModifier;
  switch (key->key()) {
    case Qt::Key_F5: runCommand(CM_TRACE_CONTINUOUS); return true;
    case Qt::Key_F8: runCommand(CM_TRACE_STEP); return true;
    case Qt::Key_F11: runCommand(CM_FIXED_REGS); return true;
    case Qt::Key_F12: runCommand(CM_VISUALIZE); return true;
    case Qt::Key_Escape:
      if (!doc_->tracing()) return false;
      doc_->abortTrace();
      return true;
    case Qt::Key_F:
      if (!control) return false;
      runCommand(CM_SEARCH);
      return true;
    case Qt::Key_G:
      if (!control) return false;
      runCommand(CM_GOTO);
      return true;
    default: return false;
  }
}

bool TDDecoratedFrame::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    status_->setHint(static_cast<QStatusTipEvent*>(event)->tip());
    return true;
  }
  return QMainWindow::event(event);
}

void TDDecoratedFrame::closeEvent(QCloseEvent* event) {
  if (doc_->tracing()) {
    // The trace loop runs below this call: it ends first, then the window closes.
    doc_->abortTrace();
    closeAfterTrace_ = true;
    event->ignore();
    return;
  }
  if (!doc_->CanClose()) {
    event->ignore();
    return;
  }
  closeTraceVis();
  if (goto_) goto_->close();
  if (about_) about_->close();
  event->accept();
}

void TDDecoratedFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !event->mimeData()->urls().isEmpty() &&
      event->mimeData()->urls().first().isLocalFile())
    event->acceptProposedAction();
}

void TDDecoratedFrame::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.first().isLocalFile()) return;
  const std::string path = urls.first().toLocalFile().toStdString();
  if (path.size() >= size_t(kDropPathRoom)) return;
  event->acceptProposedAction();
  if (!doc_->CanClose()) return;
  // A failed load here only repaints.
  loadPath(path);
}
