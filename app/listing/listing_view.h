// The listing window's view: draws the rows the listing's row model
// computed, turns pixels into character cells and forwards keys, clicks,
// the wheel and the scroll bar to the document.
#pragma once
#include <QAbstractScrollArea>
#include <QFont>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/listing/dump_window.h"
#include "document/listing_popup.h"
#include "document/search_command.h"
#include "listing/listing_cells.h"
#include "listing/listing_rows.h"

class TDocument;
struct TSettings;
class QMenu;

// Where a context menu was opened: which menu and the item it stands for.
struct TPopupContext {
  enum Kind { None, Address, Byte, Reference } kind = None;
  uint16_t type = 0;    // hotspot type (Reference)
  uint32_t source = 0;  // offset of the line holding the item
  uint32_t target = 0;  // the reference's target, the line, or the clicked byte
  uint32_t value = 0;   // hotspot's shown value
  int x = 0, y = 0;     // pointer, screen coordinates
};

class TListingView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  TListingView(TDocument& doc, const TSettings& settings, QWidget* parent = nullptr);
  ~TListingView() override;

  // Geometry and the last paint, for the frame and for tests.
  int charWidth() const { return charWidth_; }
  int lineHeight() const { return lineHeight_; }
  uint32_t rows() const;
  uint32_t columns() const;
  const TListingPaint& lastPaint() const { return paint_; }
  // Computes the rows for the current size (as a paint would).
  void layoutRows();
  // Pixel centre of a cell of the viewport.
  QPoint cellCentre(int column, int row) const;

  // The menu a right click at pos (viewport pixels) would open; records the
  // context as the click does. Empty when none is offered.
  std::vector<TMenuItem> contextMenuAt(QPoint pos);
  // The menu of the keyboard's menu key: the byte menu of the editing cursor,
  // else the address menu of the first code line shown; at is where it opens.
  std::vector<TMenuItem> keyboardMenu(QPoint& at);
  const TPopupContext& popupContext() const { return popup_; }
  // Carries out a context-menu command with the stored context.
  void runCommand(int id);

  TDumpWin* dumpWindow() const { return dump_; }
  TDumpWin* previewWindow() const { return preview_; }
  int hoveredHotspot() const { return hovered_; }

  // The name dialog; tests replace it. Returns the text on OK.
  std::function<std::optional<std::string>(const QString& title, const QString& text)> askName;
  TSearchState& searchState() { return search_; }
  // Tells the search state how many lines the window shows and how the
  // lines run, so a search pressed again goes on after a hit still shown.
  void prepareSearch();

 public slots:
  void documentChanged();
  // After the preferences: the font is made anew for its size, the cell
  // re-measured and the rows repainted in the colours now set.
  void settingsChanged();

 signals:
  void hintChanged(const QString& hint);
  void cursorAddressChanged(const QString& address);
  void cursorValueChanged(const QString& value);
  void commandRequested(int id);
  // A release over the first columns of an instruction: the assembler
  // dialog for the line at offset.
  void assemblerRequested(uint32_t offset);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void scrollContentsBy(int, int) override {}
  bool focusNextPrevChild(bool) override { return false; }

 private:
  void measureFont();
  TListingContext context() const;
  void scrollAction(int action);
  void scrollBarReleased();
  void syncScrollBar();
  void afterMove();
  void modeChanged();
  int rowAt(int y) const;
  int columnAt(int x) const;
  int hotspotAt(QPoint pos) const;
  void setHovered(int index, QPoint pointer);
  void closePreview();
  void openDump(uint32_t target, bool dataMode, QPoint screenPos);
  void followHotspot(const Hotspot& h);
  std::vector<TMenuItem> byteMenuAt(uint32_t lineOffset, uint32_t offset);
  void showMenu(const std::vector<TMenuItem>& items, QPoint global);
  void openKeyboardMenu();
  void startEditAt(QPoint pos);
  void nameDialog();
  void dumpThroughDword(int id);
  void updateStatus();
  void drawCursor(class QPainter& p, uint32_t width);

  TDocument& doc_;
  const TSettings& settings_;
  QFont font_;
  int charWidth_ = 8;
  int lineHeight_ = 15;
  int ascent_ = 12;
  TListingPaint paint_;
  bool painted_ = false;
  int hovered_ = -1;
  uint32_t hoverTarget_ = LISTING_NO_OFFSET;
  bool rightPressed_ = false;
  bool wideThumb_ = true;
  bool settingBar_ = false;
  TPopupContext popup_;
  TSearchState search_;
  QPointer<TDumpWin> dump_;
  QPointer<TDumpWin> preview_;
  QString lastAddress_, lastValue_;
};
