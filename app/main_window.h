// The main frame: menu bar, tool bar with the history gadget, status bar,
// the listing as its client, and the commands that the menu, the tool bar
// and the frame keys send.
#pragma once
#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "analysis/store_locks.h"
#include "app/about_dlg.h"
#include "app/command_line.h"
#include "app/dialogs/exports_dlg.h"
#include "app/dialogs/fix_reg_dlg.h"
#include "app/dialogs/image_props_dlg.h"
#include "app/dialogs/imports_dlg.h"
#include "app/dialogs/res_menu_dlg.h"
#include "app/dialogs/res_string_dlg.h"
#include "app/dialogs/search_dlg.h"
#include "app/goto_dlg.h"
#include "app/listing/listing_view.h"
#include "app/trace_vis_window.h"
#include "base/command_table.h"
#include "document/document_observer.h"
#include "document/project_commands.h"
#include "persist/settings.h"

class Host;
class QAction;
class QMenu;
class QMenuBar;
class TDocument;
class TDStatusBar;
class TRetComboGadget;
class TProfileFile;

class TDDecoratedFrame : public QMainWindow, private TDocumentObserver {
  Q_OBJECT
 public:
  // profile: the settings file, for the switches the view writes back (may be null).
  TDDecoratedFrame(Host& host, const TSettings& settings, const TMainWindowSettings& window,
                   TProfileFile* profile = nullptr, QWidget* parent = nullptr);
  ~TDDecoratedFrame() override;

  // The start-up request: the command line's file, else (when the settings
  // say so) the open dialog. Runs once the event loop is going.
  void start(const TCommandLine& line);
  // What start() posts; callable directly.
  void startupRequest(const TCommandLine& line);

  // Loads a file the user chose, with the reference scan unless switched off.
  bool openFile(const std::string& path);
  void runCommand(int id);

  TDocument& document() { return *doc_; }
  TListingView* listing() const { return listing_; }
  TDStatusBar* status() const { return status_; }
  TRetComboGadget* gadget() const { return gadget_; }
  QMenuBar* aboutBar() const { return aboutBar_; }
  // A menu of the bar or a sub-menu, whether it is on the bar now or not.
  QMenu* menu(TPlace place) const { return menus_.value(place); }
  QToolBar* toolBar() const { return toolBar_; }
  // The action of a command; null when the command has none now.
  QAction* action(int id) const;
  // The command a key runs before any window sees it; CM_NONE for none.
  static int commandForKey(const QKeyEvent& key);
  TGotoDlg* gotoDialog() const { return goto_; }
  TTraceVisWindow* traceVisWindow() const { return vis_; }
  TAboutDlg* aboutDialog() const { return about_; }
  TSearchDlg* searchDialog() const { return search_; }
  TImPropDlg* imagePropsDialog() const { return props_; }
  TFixRegDlg* fixRegDialog() const { return fixRegs_; }
  TImportsDlg* importsDialog() const { return imports_; }
  TExportsDlg* exportsDialog() const { return exports_; }
  TShowResMenuDlg* menuDialog() const { return resMenus_; }
  TShowResStringDlg* stringDialog() const { return resStrings_; }
  // A store's lock flag cleared (the scanner tells this on its thread; it
  // arrives here on this one): the listing and the windows over it refresh.
  void refreshStoreViews(TRefStoreKind kind);

  // Ends the run with an exit code (a failed Open ends it with 2).
  std::function<void(int)> quit;
  // Runs pending events during a continuous trace; the window stays live.
  std::function<void()> processEvents;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // TDocumentObserver
  void changed(uint32_t offset) override;
  void storeFilled(TRefStoreKind kind) override;
  void symbolsLoaded(int loaded) override;
  void projectProgress() override;
  void fixedRegistersRequested() override;

 private:
  void makeAction(const TCommand& command);
  void buildMenus();
  void buildToolBar();
  // Lays out the menus for the document as it is now: the items that come
  // with the file and the undo record, enabled states, checks and texts.
  void layoutMenus();
  // Makes a menu, the bar or the tool bar hold a place's items.
  void fillPlace(QWidget* widget, TPlace place, const TConditions& facts);
  // Whether an action is on the bar, the tool bar or in a menu that is.
  bool placed(const QAction* action) const;
  // After anything that changed the document or the view.
  void refresh();
  void afterLoad();
  bool loadPath(const std::string& path);
  bool loadProject(const std::string& path);
  void closeTraceVis();
  void toggleTraceVis();
  void openGoto();
  void openSearch();
  void openPreferences();
  // The document's copies of the settings (the save reads keepUndoAfterSave).
  void copySettingsToDocument(bool keepUndoAfterSave);
  void openImageProperties();
  // F11 toggles the fixed-register dialog; a project's fixed marks only show it.
  void showFixedRegisters(bool toggle);
  void traceContinuous();
  void setViewMode(int id);
  // Shows a list window over the file's directories, made on first use.
  template <class Dlg, class Make>
  void showListWindow(QPointer<Dlg>& window, Make make);
  // They show the old file's lists: a load closes them.
  void closeListWindows();
  bool frameKey(QKeyEvent* key);
  bool ownsWidget(QObject* watched) const;
  void repaintSoon();
  // Runs f, which waits for worker threads, with their unasked questions answered as cancelled.
  void whileWorkersStop(const std::function<void()>& f);

  Host& host_;
  TSettings settings_;
  TMainWindowSettings window_;
  TProfileFile* profile_;
  std::unique_ptr<TDocument> doc_;
  TProjectState project_;
  TListingView* listing_ = nullptr;
  TDStatusBar* status_ = nullptr;
  TRetComboGadget* gadget_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QMenuBar* aboutBar_ = nullptr;
  QMap<TPlace, QMenu*> menus_;
  QMap<int, QAction*> actions_;
  QPointer<TGotoDlg> goto_;
  QPointer<TTraceVisWindow> vis_;
  QPointer<TAboutDlg> about_;
  QPointer<TSearchDlg> search_;
  TCustomColors customColors_;
  QPointer<TImPropDlg> props_;
  QPointer<TFixRegDlg> fixRegs_;
  QPointer<TImportsDlg> imports_;
  QPointer<TExportsDlg> exports_;
  QPointer<TShowResMenuDlg> resMenus_;
  QPointer<TShowResStringDlg> resStrings_;
  bool closeAfterTrace_ = false;
  bool repaintPosted_ = false;
};
