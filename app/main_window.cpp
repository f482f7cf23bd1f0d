#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "app/about_dlg.h"
#include "app/dialogs/asm_edit_dlg.h"
#include "app/dialogs/fix_reg_dlg.h"
#include "app/dialogs/image_props_dlg.h"
#include "app/dialogs/pref_dlg.h"
#include "app/dialogs/search_dlg.h"
#include "app/goto_dlg.h"
#include "app/icons.h"
#include "app/qt_host.h"
#include "app/ret_combo.h"
#include "app/status_bar.h"
#include "app/trace_vis_window.h"
#include "app/window_geometry.h"
#include "base/host.h"
#include "document/command_state.h"
#include "document/document.h"
#include "document/project_commands.h"
#include "document/view_commands.h"
#include "persist/profile_file.h"

namespace {

// The listing's client area as the window opens: a full code row (address,
// bytes, instruction and its comment) and a page of rows.
constexpr int kListingColumns = 100;
constexpr int kListingRows = 36;
// A dropped file's path must fit the name buffer the loader keeps.
constexpr int kDropPathRoom = 260;
// During a continuous trace the listing is repainted at most this often.
constexpr qint64 kTracePaintMs = 16;
// ... and pending events are looked at this often, so Escape arrives.
constexpr qint64 kTraceEventsMs = 4;

QString qs(const std::string& s) { return QString::fromStdString(s); }
QString latin1(const char* s) { return s ? QString::fromLatin1(s) : QString(); }

// The places the frame builds; the pop-ups belong to the listing.
bool inFrame(TPlace place) { return place != TPlace::None && place < TPlace::AddressPopup; }

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

  copySettingsToDocument(profile_ ? readKey(*profile_, kKeepUndoAfterSave) != 0 : true);
  doc_->view().markRelocations = settings_.markBasedRelocations;
  installProjectCommands(*doc_, project_);

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
      return namedAddressOffset(*doc_, address) != NOT_IN_FILE;
    };
    qtHost->showAddress = [this](uint32_t address) {
      showNamedAddress(*doc_, address);
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
  doc_->addObserver(*this);

  qApp->installEventFilter(this);
  refresh();
  connect(listing_, &TListingView::assemblerRequested, this, [this](uint32_t offset) {
    if (!doc_->isLoaded()) return;
    TAsmEditDlg dlg(*doc_, offset, profile_, this);
    dlg.exec();
    refresh();
  });

  // A place kept on another monitor counts as on the screen.
  const QRect desktop = screen() ? screen()->availableVirtualGeometry() : QRect();
  const QRect available = screen() ? screen()->availableGeometry() : QRect();
  if (const std::optional<QRect> kept = keptPlace(profile_, desktop)) {
    move(kept->topLeft());
    resize(kept->size());
  } else {
    const int listingWidth = kListingColumns * listing_->charWidth() +
                             listing_->verticalScrollBar()->sizeHint().width() +
                             2 * listing_->frameWidth();
    const int chrome = menuBar()->sizeHint().height() + toolBar_->sizeHint().height() +
                       status_->sizeHint().height() + 2 * listing_->frameWidth();
    resize(openingSize(QSize(std::max(listingWidth, status_->fullWidth()),
                             kListingRows * listing_->lineHeight() + chrome),
                       available));
  }
}

TDDecoratedFrame::~TDDecoratedFrame() {
  qApp->removeEventFilter(this);
  // Workers stop before the window they report to goes away.
  whileWorkersStop([this] { doc_->workers().stopFileWorkers(); });
  doc_->removeObserver(*this);
  doc_->history().setChangedHandler(nullptr);
  if (auto* qtHost = dynamic_cast<TQtHost*>(&host_)) {
    qtHost->addressInFile = nullptr;
    qtHost->showAddress = nullptr;
  }
  delete vis_.data();
  delete goto_.data();
  // Both follow the document, which goes before the frame's children do.
  delete props_.data();
  delete fixRegs_.data();
  // They read the document, which goes before the frame's children do.
  closeListWindows();
  // The listing reads the document while it is destroyed.
  delete listing_;
  listing_ = nullptr;
}

// ---- menus and tool bar ---------------------------------------------------------

void TDDecoratedFrame::makeAction(const TCommand& c) {
  auto* a = new QAction(latin1(c.text), this);
  a->setStatusTip(latin1(c.hint));
  a->setData(c.id);
  a->setCheckable(c.flags & CF_CHECKABLE);
  if (c.slotIn(TPlace::ToolBar)) {
    // Only the tool bar shows pictures; a menu bar draws an icon instead of the text.
    a->setIcon(commandIcon(c.id));
    a->setIconVisibleInMenu(false);
    // A button without a menu item tells what it does by its hint.
    if (!c.text) a->setToolTip(latin1(c.hint));
  }
  const int id = c.id;
  connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
  actions_[id] = a;
}

void TDDecoratedFrame::buildMenus() {
  for (const TCommand& c : commandTable())
    for (const TCommandSlot& s : c.places)
      if (inFrame(s.place) && !actions_.contains(c.id)) makeAction(c);
  for (const TSubmenu& m : submenuTable()) menus_[m.menu] = new QMenu(latin1(m.text), this);
  // "&About" sits at the right edge of the menu bar.
  aboutBar_ = new QMenuBar(menuBar());
  menuBar()->setCornerWidget(aboutBar_, Qt::TopRightCorner);
}

void TDDecoratedFrame::buildToolBar() {
  toolBar_ = addToolBar(QStringLiteral("Tools"));
  toolBar_->setMovable(false);
  toolBar_->setIconSize(QSize(16, 16));
  fillPlace(toolBar_, TPlace::ToolBar, commandConditions(*doc_));
  toolBar_->addSeparator();
  gadget_ = new TRetComboGadget(doc_->history(), toolBar_);
  toolBar_->addWidget(gadget_);
  connect(gadget_, &TRetComboGadget::goBackRequested, this, [this](int n) {
    doc_->goBack(uint32_t(n));
    refresh();
  });
}

void TDDecoratedFrame::fillPlace(QWidget* widget, TPlace place, const TConditions& facts) {
  QList<QAction*> want;
  for (const TLayoutItem& item : commandLayout(place, facts)) {
    switch (item.kind) {
      case TLayoutItem::Command: want.append(actions_.value(item.id)); break;
      case TLayoutItem::Submenu: want.append(menus_.value(item.submenu)->menuAction()); break;
      case TLayoutItem::Separator: want.append(nullptr); break;
    }
  }
  const QList<QAction*> have = widget->actions();
  bool same = have.size() == want.size();
  for (qsizetype i = 0; same && i < have.size(); ++i)
    same = want[i] ? have[i] == want[i] : have[i]->isSeparator();
  if (same) return;
  // Separators are the widget's own and go with it; the commands' actions stay.
  for (QAction* a : have) {
    widget->removeAction(a);
    if (a->isSeparator() && a->parent() == widget) delete a;
  }
  for (QAction* a : want) {
    if (!a) {
      a = new QAction(widget);
      a->setSeparator(true);
    }
    widget->addAction(a);
  }
}

bool TDDecoratedFrame::placed(const QAction* a) const {
  for (QObject* o : a->associatedObjects()) {
    if (o == menuBar() || o == aboutBar_ || o == toolBar_) return true;
    if (auto* m = qobject_cast<QMenu*>(o); m && m->menuAction() != a && placed(m->menuAction()))
      return true;
  }
  return false;
}

QAction* TDDecoratedFrame::action(int id) const {
  QAction* a = actions_.value(id);
  return a && placed(a) ? a : nullptr;
}

int TDDecoratedFrame::commandForKey(const QKeyEvent& key) {
  const QString name = QKeySequence(key.key()).toString(QKeySequence::PortableText);
  return ::commandForKey(name.toStdString(), key.modifiers() & Qt::ControlModifier);
}

void TDDecoratedFrame::layoutMenus() {
  const TConditions facts = commandConditions(*doc_);
  fillPlace(menuBar(), TPlace::MenuBar, facts);
  fillPlace(aboutBar_, TPlace::MenuBarRight, facts);
  for (auto m = menus_.cbegin(); m != menus_.cend(); ++m) fillPlace(m.value(), m.key(), facts);
  for (auto a = actions_.cbegin(); a != actions_.cend(); ++a) {
    const TCommandState state = commandState(*doc_, a.key());
    // Tool-bar-only buttons have no text to follow.
    if (!state.text.empty() && a.value()->text() != qs(state.text))
      a.value()->setText(qs(state.text));
    a.value()->setEnabled(state.enabled);
    if (a.value()->isCheckable()) a.value()->setChecked(state.checked);
  }
  // A sub-menu is grayed while none of its items can act (the TLS callbacks of a file without).
  for (QMenu* m : menus_) {
    bool any = false;
    for (const QAction* a : m->actions()) any = any || (!a->isSeparator() && a->isEnabled());
    m->menuAction()->setEnabled(any);
  }
}

void TDDecoratedFrame::refresh() {
  // Undo and redo tell their listeners before the undo position moves: the
  // items are looked at again once the command is done.
  layoutMenus();
  status_->setValueFieldShown(doc_->view().hexDump);
  listing_->documentChanged();
  gadget_->update();
  if (goto_) goto_->documentChanged();
  if (fixRegs_) fixRegs_->flush();
  if (exports_) exports_->setMemoryShown(!doc_->view().fileOffsets);
}

void TDDecoratedFrame::refreshStoreViews(TRefStoreKind kind) {
  listing_->documentChanged();
  if (imports_) imports_->storeFilled(kind);
  if (resMenus_) resMenus_->storeFilled(kind);
  if (resStrings_) resStrings_->storeFilled(kind);
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
  if (doc_->trace().tracing()) doc_->trace().abortTrace();
  doc_->setPath(path);
  int result = LOAD_OK;
  // The load stops the scan and the symbol loaders first.
  whileWorkersStop([&] { result = doc_->LoadFile(true); });
  afterLoad();
  return result == LOAD_OK;
}

bool TDDecoratedFrame::loadProject(const std::string& path) {
  closeTraceVis();
  if (doc_->trace().tracing()) doc_->trace().abortTrace();
  project_.path = path;
  whileWorkersStop([&] { doc_->workers().stopFileWorkers(); });
  doc_->setProjectChanged(false);
  // Loaded on this thread: a project reads in milliseconds, and the listing
  // must not paint from a document that another thread is filling.
  const int result = LoadProject(*doc_, project_);
  afterLoad();
  return result == PROJECT_LOADED;
}

void TDDecoratedFrame::afterLoad() {
  // The properties shown are the old file's.
  delete props_.data();
  closeListWindows();
  // Only a PE file has memory addresses; a file loaded after one must not
  // keep showing them.
  if (doc_->isLoaded() && !doc_->image().isPE()) doc_->view().fileOffsets = true;
  setWindowTitle(qs(doc_->titleText()));
  refresh();
}

bool TDDecoratedFrame::openFile(const std::string& path) { return loadPath(path); }

// ---- what the document tells ----------------------------------------------------------

void TDDecoratedFrame::changed(uint32_t) {
  layoutMenus();
  repaintSoon();
}

// Worker threads tell these two; the repaint happens on this thread.
void TDDecoratedFrame::storeFilled(TRefStoreKind kind) {
  QMetaObject::invokeMethod(
      this, [this, kind] { refreshStoreViews(kind); }, Qt::QueuedConnection);
}

void TDDecoratedFrame::symbolsLoaded(int) {
  QMetaObject::invokeMethod(
      this, [this] { listing_->documentChanged(); }, Qt::QueuedConnection);
}

// The project is loaded on this thread (see loadProject).
void TDDecoratedFrame::projectProgress() { refresh(); }

// Shown once the project is in, from the event loop.
void TDDecoratedFrame::fixedRegistersRequested() {
  QMetaObject::invokeMethod(
      this, [this] { runCommand(CM_FIXED_REGS_FROM_PROJECT); }, Qt::QueuedConnection);
}

void TDDecoratedFrame::closeTraceVis() { delete vis_.data(); }

// ---- commands ---------------------------------------------------------------------

void TDDecoratedFrame::runCommand(int id) {
  TDocument& d = *doc_;
  // Trace commands wait while a continuous trace runs; Escape ends it.
  const TCommand* command = findCommand(id);
  if (d.trace().tracing() && command && (command->flags & CF_WAITS_FOR_TRACE)) return;
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
      auto path = host_.chooseOpenFile("Load project...", "Project files (*.oxu)",
                                       defaultProjectPath(d));
      if (path) loadProject(*path);
      return;
    }
    case CM_FILE_SAVE_PROJECT: CmFileSaveProject(d, project_); return;
    case CM_FILE_SAVE_PROJECT_AS: CmFileSaveProjectAs(d, project_); return;
    case CM_FILE_SAVE:
      d.SaveFile();
      layoutMenus();
      return;
    case CM_FILE_SAVE_AS:
      d.saveFileAs();
      setWindowTitle(qs(d.titleText()));
      layoutMenus();
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
    case CM_LOAD_MAP: d.workers().loadSymbolFileCommand(SymbolFileKind::Map); return;
    case CM_LOAD_DEF: d.workers().loadSymbolFileCommand(SymbolFileKind::Def); return;
    case CM_RESCAN: d.workers().startReferenceScan(); return;
    case CM_EXIT: close(); return;
    case CM_VIEW_32:
    case CM_VIEW_16:
    case CM_VIEW_HEX:
    case CM_AUTO_STRINGS:
    case CM_FILE_OFFSETS:
    case CM_PROGRAM_OFFSETS:
    case CM_MARK_RELOCATIONS: setViewMode(id); return;
    case CM_GOTO: openGoto(); return;
    case CM_GOTO_ENTRY:
      CmGotoEntryPoint(d);
      refresh();
      return;
    case CM_TRACE_STEP:
      if (!d.isLoaded()) return;
      d.trace().traceStep();
      refresh();
      return;
    case CM_TRACE_CONTINUOUS: traceContinuous(); return;
    case CM_SHOW_EIP:
      if (!d.isLoaded()) return;
      d.trace().showEip(true);
      refresh();
      return;
    case CM_RESET_TRACER:
      if (!d.isLoaded()) return;
      closeTraceVis();
      d.trace().resetTracer(true);
      refresh();
      return;
    case CM_SETUP_ENTRY:
      if (!d.isLoaded()) return;
      d.trace().setupTracerEntryPoint();
      refresh();
      return;
    case CM_TLS_CALLBACK_1:
    case CM_TLS_CALLBACK_2:
    case CM_TLS_CALLBACK_3:
    case CM_TLS_CALLBACK_4:
      if (!d.isLoaded()) return;
      d.trace().setupTracerTlsCallback(uint32_t(id - CM_TLS_CALLBACK_1));
      refresh();
      return;
    case CM_TLS_MORE: d.trace().tlsCallbackMore(); return;
    case CM_CLEAR_BREAKPOINTS:
      d.trace().clearBreakpoints();
      refresh();
      return;
    case CM_VISUALIZE: toggleTraceVis(); return;
    case CM_UNDO:
      d.undo();
      refresh();
      return;
    case CM_REDO:
      d.redo();
      refresh();
      return;
    case CM_IMAGE_PROPERTIES: openImageProperties(); return;
    case CM_FIXED_REGS: showFixedRegisters(true); return;
    case CM_FIXED_REGS_FROM_PROJECT: showFixedRegisters(false); return;
    case CM_ABOUT: {
      if (!about_) {
        about_ = new TAboutDlg(this);
        about_->setAttribute(Qt::WA_DeleteOnClose);
      }
      about_->show();
      about_->raise();
      return;
    }
    case CM_SEARCH: openSearch(); return;
    case CM_SEARCH_ADDRESS_REF:
    case CM_SEARCH_VALUE:
    case CM_SEARCH_REF_VALUE:
      // The listing's pop-up searches fill the search window and search at once.
      openSearch();
      search_->searchFromMenu(id, listing_->popupContext());
      return;
    case CM_PREFERENCES: openPreferences(); return;
    case CM_SHOW_IMPORTS:
      showListWindow(imports_, [&] { return new TImportsDlg(d, profile_, this); });
      return;
    case CM_SHOW_EXPORTS:
      showListWindow(exports_, [&] { return new TExportsDlg(d, this); });
      return;
    case CM_SHOW_MENUS:
      showListWindow(resMenus_, [&] { return new TShowResMenuDlg(d, this); });
      return;
    case CM_SHOW_STRINGS:
      showListWindow(resStrings_, [&] { return new TShowResStringDlg(d, this); });
      return;
    // The listing's pop-up commands are the listing's own; an unknown number does nothing.
    default: return;
  }
}

void TDDecoratedFrame::setViewMode(int id) {
  CmViewMode(*doc_, id);
  if (id == CM_MARK_RELOCATIONS) {
    // The marking is a setting of its own: the next start shows it too.
    settings_.markBasedRelocations = doc_->view().markRelocations;
    if (profile_)
      writeKey(*profile_, kMarkBasedRelocations, settings_.markBasedRelocations ? 1 : 0);
  }
  refresh();
}

template <class Dlg, class Make>
void TDDecoratedFrame::showListWindow(QPointer<Dlg>& window, Make make) {
  if (!window) {
    window = make();
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(window, &Dlg::moved, this, [this] { refresh(); });
  }
  window->show();
  window->raise();
  window->activateWindow();
}

void TDDecoratedFrame::closeListWindows() {
  delete imports_.data();
  delete exports_.data();
  delete resMenus_.data();
  delete resStrings_.data();
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

void TDDecoratedFrame::openSearch() {
  if (!search_) {
    search_ = new TSearchDlg(*doc_, *listing_, profile_, this);
    search_->setAttribute(Qt::WA_DeleteOnClose);
    connect(search_, &TSearchDlg::moved, this, [this] { refresh(); });
  }
  search_->show();
  search_->raise();
  search_->activateWindow();
}

void TDDecoratedFrame::openPreferences() {
  // Only a frame made without a settings file (in tests) has nowhere to keep them.
  if (!profile_) return;
  TPrefDlg dlg(settings_, window_, *profile_, host_, customColors_, this);
  if (dlg.exec() != QDialog::Accepted) return;
  const TPrefOutcome& outcome = dlg.outcome();
  copySettingsToDocument(dlg.switchBox(TPrefDlg::KeepUndoAfterSave)->isChecked());
  if (outcome.rebuildFont) listing_->settingsChanged();
  if (outcome.rescan) doc_->workers().startReferenceScan();
  refresh();
}

void TDDecoratedFrame::copySettingsToDocument(bool keepUndoAfterSave) {
  TDocumentSettings& ds = doc_->settings();
  ds.createBackups = settings_.createBackups;
  ds.startTracerAtTlsCallback = settings_.startTracerAtTlsCallback;
  ds.showEipOnLoad = settings_.showEipOnLoad;
  ds.extremeScan = window_.extremeScan;
  ds.keepUndoAfterSave = keepUndoAfterSave;
  ds.minStringLength = uint32_t(settings_.minStringLength);
  ds.cursorFollowsView = settings_.cursorFollowView;
  doc_->view().showCodeReferences = window_.showCodeReferences;
}

void TDDecoratedFrame::openImageProperties() {
  // The command is there for PE files only; the dialog copes with any buffer.
  if (!doc_->isLoaded()) return;
  if (!props_) {
    props_ = new TImPropDlg(*doc_, this);
    props_->setAttribute(Qt::WA_DeleteOnClose);
    connect(props_, &TImPropDlg::moved, this, [this] { refresh(); });
  } else {
    props_->fill();
  }
  props_->show();
  props_->raise();
  props_->activateWindow();
}

void TDDecoratedFrame::showFixedRegisters(bool toggle) {
  if (!fixRegs_) {
    fixRegs_ = new TFixRegDlg(*doc_, this);
    connect(fixRegs_, &TFixRegDlg::changed, this, [this] { listing_->documentChanged(); });
  }
  fixRegs_->model().autoMode = settings_.fixedRegsAutoMode;
  if (toggle)
    fixRegs_->toggle();
  else
    fixRegs_->showRefreshed();
}

void TDDecoratedFrame::traceContinuous() {
  TDocument& d = *doc_;
  if (!d.isLoaded() || d.trace().tracing()) return;
  QElapsedTimer sincePaint, sinceEvents;
  sincePaint.start();
  sinceEvents.start();
  uint32_t steps = 0;
  d.trace().traceContinuous([&] {
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
  if (!doc_->isLoaded() || !doc_->trace().traceVis()) return;
  if (!vis_) {
    vis_ = new TTraceVisWindow(*doc_->trace().traceVis(), this);
    vis_->show();
    return;
  }
  vis_->setVisible(!vis_->isVisible());
}

// ---- keys, hints, drops and closing ------------------------------------------------

bool TDDecoratedFrame::ownsWidget(QObject* watched) const {
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w) return false;
  // Windows belong to the frame through their parents: a dump window through the listing.
  for (QWidget* top = w->window(); top;
       top = top->parentWidget() ? top->parentWidget()->window() : nullptr)
    if (top == this) return true;
  return false;
}

bool TDDecoratedFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && ownsWidget(watched) &&
      !QApplication::activeModalWidget())
    return frameKey(static_cast<QKeyEvent*>(event));
  return QMainWindow::eventFilter(watched, event);
}

bool TDDecoratedFrame::frameKey(QKeyEvent* key) {
  if (key->key() == Qt::Key_Escape) {
    if (!doc_->trace().tracing()) return false;
    doc_->trace().abortTrace();
    return true;
  }
  const int id = commandForKey(*key);
  if (id == CM_NONE) return false;
  runCommand(id);
  return true;
}

bool TDDecoratedFrame::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    status_->setHint(static_cast<QStatusTipEvent*>(event)->tip());
    return true;
  }
  return QMainWindow::event(event);
}

void TDDecoratedFrame::closeEvent(QCloseEvent* event) {
  if (doc_->trace().tracing()) {
    // The trace loop runs below this call: it ends first, then the window closes.
    doc_->trace().abortTrace();
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
  if (!isMaximized() && !isFullScreen())
    keepPlace(profile_, QRect(frameGeometry().topLeft(), size()));
  if (props_) props_->close();
  if (fixRegs_) fixRegs_->close();
  closeListWindows();
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
