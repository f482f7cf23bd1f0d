#include "app/listing/listing_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <climits>
#include <cstdio>

#include "app/listing/comments_dlg.h"
#include "app/listing/dump_window.h"
#include "base/command_table.h"
#include "base/host.h"
#include "document/document.h"
#include "document/view_commands.h"
#include "image/raw_convert.h"
#include "persist/settings.h"

namespace {

QColor qcolour(uint32_t word) {
  return QColor(colourRed(word), colourGreen(word), colourBlue(word));
}

// The listing font: the face the settings name when it is installed, else
// the system's fixed-pitch font at the same pixel height.
QFont listingFont(int32_t fontSize) {
  const TListingFont f = listingFontFor(fontSize);
  QFont font;
  if (QFontDatabase::families().contains(QString::fromLatin1(f.face))) {
    font = QFont(QString::fromLatin1(f.face));
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  }
  font.setPixelSize(f.height > 0 ? f.height : 15);
  font.setWeight(QFont::Normal);
  font.setFixedPitch(true);
  font.setStyleHint(QFont::TypeWriter);
  // A bitmap-like face: cell colours stay the colours the settings name.
  font.setStyleStrategy(QFont::NoAntialias);
  // Colours, references and the cursor are placed by whole-pixel cells; a
  // face whose advance is fractional at this height (6.6 pixels at 11) would
  // let the text drift away from them along the line.
  const qreal advance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('0'));
  font.setLetterSpacing(QFont::AbsoluteSpacing, qRound(advance) - advance);
  return font;
}

TListingKey listingKey(int key) {
  switch (key) {
    case Qt::Key_Left: return TListingKey::Left;
    case Qt::Key_Right: return TListingKey::Right;
    case Qt::Key_Up: return TListingKey::Up;
    case Qt::Key_Down: return TListingKey::Down;
    case Qt::Key_PageUp: return TListingKey::PageUp;
    case Qt::Key_PageDown: return TListingKey::PageDown;
    case Qt::Key_Home: return TListingKey::Home;
    case Qt::Key_End: return TListingKey::End;
    case Qt::Key_Tab: return TListingKey::Tab;
    case Qt::Key_Escape: return TListingKey::Escape;
    case Qt::Key_Space: return TListingKey::Space;
    case Qt::Key_Backspace: return TListingKey::Backspace;
    case Qt::Key_Control: return TListingKey::Control;
    default: return TListingKey::Other;
  }
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

QRect screenRect(const QWidget* w) {
  const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  return s ? s->geometry() : QRect(0, 0, 1024, 768);
}

}  // namespace

TListingView::TListingView(TDocument& doc, const TSettings& settings, QWidget* parent)
    : QAbstractScrollArea(parent),
      doc_(doc),
      settings_(settings),
      font_(listingFont(settings.fontSize)) {
  viewport()->setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  measureFont();
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &TListingView::scrollAction);
  connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, &TListingView::scrollBarReleased);
  askName = [this](const QString& title, const QString& text) -> std::optional<std::string> {
    TCommentsDlg dlg(title, text, this);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.text().toLatin1().toStdString();
  };
  syncScrollBar();
}

void TListingView::measureFont() {
  viewport()->setFont(font_);
  const QFontMetrics fm(font_);
  charWidth_ = fm.horizontalAdvance(QLatin1Char('0'));
  if (charWidth_ <= 0) charWidth_ = 8;
  lineHeight_ = fm.lineSpacing() > 0 ? fm.lineSpacing() : 15;
  ascent_ = fm.ascent();
}

void TListingView::settingsChanged() {
  font_ = listingFont(settings_.fontSize);
  measureFont();
  doc_.setVisibleRows(rows());
  documentChanged();
}

TListingView::~TListingView() {
  if (preview_) delete preview_.data();
  if (dump_) delete dump_.data();
}

uint32_t TListingView::rows() const {
  const int h = viewport()->height() / lineHeight_;
  return h > 0 ? uint32_t(h) : 1;
}

uint32_t TListingView::columns() const {
  const int w = viewport()->width() / charWidth_ + 1;
  return w > 40 ? uint32_t(w) : 40;
}

QPoint TListingView::cellCentre(int column, int row) const {
  return QPoint(column * charWidth_ + charWidth_ / 2, row * lineHeight_ + lineHeight_ / 2);
}

TListingContext TListingView::context() const {
  TListingContext ctx = doc_.listingContext();
  ctx.cursorFollowsView = settings_.cursorFollowView;
  return ctx;
}

void TListingView::layoutRows() {
  paintRows(doc_.view(), context(), rows(), columns(), paint_);
  painted_ = true;
}

// ---- scroll bar ---------------------------------------------------------------

void TListingView::syncScrollBar() {
  TListingState& v = doc_.view();
  // Positions beyond the bar's int range: the bar works in 0..THUMB_RANGE.
  wideThumb_ = v.scrollMax <= uint32_t(INT_MAX);
  QScrollBar* bar = verticalScrollBar();
  settingBar_ = true;
  if (!v.thumbTracking) {
    if (wideThumb_) {
      bar->setRange(0, int(v.scrollMax));
      bar->setValue(int(v.scrollPos));
    } else {
      bar->setRange(0, THUMB_RANGE);
      bar->setValue(int(uint64_t(v.scrollPos) * THUMB_RANGE / v.scrollMax));
    }
  }
  bar->setPageStep(int(rows()));
  settingBar_ = false;
}

void TListingView::scrollAction(int action) {
  if (settingBar_) return;
  TListingState& v = doc_.view();
  const TListingContext ctx = context();
  QScrollBar* bar = verticalScrollBar();
  TScrollCode code;
  int64_t thumb = 0;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: code = TScrollCode::LineDown; break;
    case QAbstractSlider::SliderSingleStepSub: code = TScrollCode::LineUp; break;
    case QAbstractSlider::SliderPageStepAdd: code = TScrollCode::PageDown; break;
    case QAbstractSlider::SliderPageStepSub: code = TScrollCode::PageUp; break;
    case QAbstractSlider::SliderToMinimum: code = TScrollCode::Top; break;
    case QAbstractSlider::SliderToMaximum: code = TScrollCode::Bottom; break;
    case QAbstractSlider::SliderMove:
      code = TScrollCode::ThumbTrack;
      thumb = bar->sliderPosition();
      break;
    default: return;
  }
  const bool wasTracking = v.thumbTracking;
  const bool moved = EvVScroll(v, ctx, code, thumb, rows(), wideThumb_);
  if (v.thumbTracking) {
    if (!wasTracking) {
      settingBar_ = true;
      bar->setRange(0, THUMB_RANGE);
      settingBar_ = false;
    }
  } else {
    bar->setSliderPosition(
        wideThumb_ ? int(v.scrollPos)
                   : int(uint64_t(v.scrollPos) * THUMB_RANGE / (v.scrollMax ? v.scrollMax : 1)));
  }
  if (moved) afterMove();
}

void TListingView::scrollBarReleased() {
  TListingState& v = doc_.view();
  if (!v.thumbTracking) return;
  EvVScroll(v, context(), TScrollCode::EndScroll, 0, rows(), wideThumb_);
  syncScrollBar();
}

// ---- document -------------------------------------------------------------------

void TListingView::documentChanged() {
  hovered_ = -1;
  hoverTarget_ = LISTING_NO_OFFSET;
  closePreview();
  doc_.setVisibleRows(rows());
  // Another file may have been loaded under an open dump.
  if (dump_ && dump_->state().target >= doc_.fileSize()) {
    dump_->close();
    dump_ = nullptr;
  }
  syncScrollBar();
  updateStatus();
  viewport()->update();
}

void TListingView::afterMove() { documentChanged(); }

void TListingView::modeChanged() {
  const TListingState& v = doc_.view();
  emit commandRequested(v.hexDump ? CM_VIEW_HEX : v.bits16 ? CM_VIEW_16 : CM_VIEW_32);
}

void TListingView::updateStatus() {
  const TListingState& v = doc_.view();
  QString address, value;
  if (v.cursorShown && doc_.isLoaded() && v.cursor < doc_.fileSize()) {
    const uint32_t a = v.memory() ? rawFileOffsetToMemory(v.cursor, doc_.buffer(), doc_.fileSize())
                                  : v.cursor;
    char t[40];
    std::snprintf(t, sizeof t, "%.8X", a);
    address = QString::fromLatin1(t);
    if (v.hexDump) {
      uint32_t d = 0;
      for (uint32_t i = 0; i < 4; ++i)
        if (uint64_t(v.cursor) + i < doc_.fileSize())
          d |= uint32_t(doc_.buffer()[v.cursor + i]) << (8 * i);
      std::snprintf(t, sizeof t, "0x%.8X = %i", d, int32_t(d));
      value = QString::fromLatin1(t);
    }
  }
  if (address != lastAddress_) {
    lastAddress_ = address;
    emit cursorAddressChanged(address);
  }
  if (value != lastValue_) {
    lastValue_ = value;
    emit cursorValueChanged(value);
  }
}

// ---- painting -------------------------------------------------------------------

void TListingView::paintEvent(QPaintEvent*) {
  layoutRows();
  QPainter p(viewport());
  p.setFont(font_);
  const uint32_t background = settings_.background;
  const int width = viewport()->width();
  p.fillRect(viewport()->rect(), qcolour(background));
  const TListingState& v = doc_.view();
  for (uint32_t r = 0; r < paint_.rowCount(); ++r) {
    const TListingRow& row = paint_.rows[r];
    const int y = int(r) * lineHeight_;
    const bool code = row.kind == TRowKind::Code;
    const bool highlighted = code && (row.highlighted || row.offset == hoverTarget_);
    uint32_t back = background;
    if (code && doc_.trace().regs().isBreakPoint(row.offset))
      back = highlighted ? BREAKPOINT_HILIGHT_BACK : BREAKPOINT_BACK;
    else if (highlighted)
      back = settings_.hilight;
    if (back != background) p.fillRect(0, y, width, lineHeight_, qcolour(back));
    markedRuns(row.text, settings_, back, [&](const TTextRun& run) {
      const int x = int(run.column) * charWidth_;
      if (run.bg != back)
        p.fillRect(x, y, int(run.length) * charWidth_, lineHeight_, qcolour(run.bg));
      p.setPen(qcolour(run.fg));
      p.drawText(x, y + ascent_, QString::fromLatin1(run.text, int(run.length)));
    });
  }
  // The hovered reference, inverted.
  if (hovered_ >= 0 && uint32_t(hovered_) < paint_.hotspotCount &&
      hoverTarget_ != LISTING_NO_OFFSET) {
    const Hotspot& h = paint_.hotspots[hovered_];
    const QString text = QString::fromStdString(hotspotText(h, v.bits16, v.memory()));
    const int x = h.column * charWidth_, y = h.row * lineHeight_;
    p.fillRect(x, y, text.size() * charWidth_, lineHeight_,
               qcolour(hotspotColour(settings_, h.type)));
    p.setPen(qcolour(background));
    p.drawText(x, y + ascent_, text);
  }
  drawCursor(p, uint32_t(width));
}

void TListingView::drawCursor(QPainter& p, uint32_t) {
  const TListingState& v = doc_.view();
  if (!v.cursorShown) return;
  const TCursorCells c = cursorCells(paint_, v.cursor, v.nibble, v.hexDump, doc_.buffer(),
                                     doc_.fileSize());
  if (c.row < 0) return;
  const TListingRow& row = paint_.rows[c.row];
  const bool focus = hasFocus();
  const uint32_t cursorColour = focus ? settings_.cursor : NO_FOCUS_CURSOR;
  const uint32_t hintColour = focus ? settings_.cursorHint : NO_FOCUS_CURSOR_HINT;
  const uint8_t byte = doc_.buffer()[v.cursor];
  static const char hex[] = "0123456789ABCDEF";
  const QString digit = QString(QChar(hex[v.nibble ? byte & 15 : byte >> 4]));
  const int y = c.row * lineHeight_;
  auto cells = [&](int column, const QString& text, uint32_t fg, uint32_t bg) {
    p.fillRect(column * charWidth_, y, text.size() * charWidth_, lineHeight_, qcolour(bg));
    p.setPen(qcolour(fg));
    p.drawText(column * charWidth_, y + ascent_, text);
  };
  if (c.hexRow) {
    const QString digits = QString(QChar(hex[byte >> 4])) + QChar(hex[byte & 15]);
    const QString ch =
        QString(QChar(byte >= 0x20 && (byte < 0x7F || byte >= 0xA0) ? char16_t(byte) : u'.'));
    const int mode = doc_.edit().mode;
    if (mode == 1) {
      cells(c.pairColumn, digits, settings_.text, settings_.background);
      cells(c.digitColumn, digit, settings_.background, cursorColour);
      cells(c.charColumn, ch, settings_.text, hintColour);
    } else if (mode == 2) {
      cells(c.pairColumn, digits, settings_.text, hintColour);
      cells(c.charColumn, ch, settings_.background, cursorColour);
    } else {
      cells(c.pairColumn, digits, settings_.text, hintColour);
      cells(c.charColumn, ch, settings_.text, hintColour);
    }
    return;
  }
  // The cell keeps the row's background: highlight, else the byte's trace tint.
  uint32_t back = settings_.background;
  const TByteStateSource* trace = doc_.listingContext().lines.trace;
  const uint8_t state = trace ? trace->byteState(v.cursor) & 7 : 0;
  if (row.highlighted || row.offset == hoverTarget_)
    back = settings_.hilight;
  else if (state != 0)
    back = traceTint(state);
  cells(c.bytesColumn, QString::fromLatin1(c.bytes), settings_.text, back);
  cells(c.digitColumn, digit, settings_.background, cursorColour);
}

void TListingView::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  doc_.setVisibleRows(rows());
  syncScrollBar();
}

void TListingView::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  viewport()->update();
}

void TListingView::focusOutEvent(QFocusEvent* e) {
  // The Ctrl release goes to the window that takes the focus.
  doc_.view().controlDown = false;
  QAbstractScrollArea::focusOutEvent(e);
  viewport()->update();
}

// ---- keys -----------------------------------------------------------------------

void TListingView::keyPressEvent(QKeyEvent* e) {
  // Shift+F10 is the menu key of keyboards without one.
  if (e->key() == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier) {
    openKeyboardMenu();
    return;
  }
  TListingState& v = doc_.view();
  const TListingKey key = listingKey(e->key());
  // Characters typed while a byte is edited go into the file: hex digits,
  // or any character (a space too) in the hex dump's text area.
  const QByteArray typed = e->text().toLatin1();
  const int mode = doc_.edit().mode;
  if (mode != 0 && typed.size() == 1 && key != TListingKey::Backspace && key != TListingKey::Tab &&
      key != TListingKey::Escape && !(e->modifiers() & Qt::ControlModifier)) {
    const char c = typed[0];
    const bool text = mode == 2 && v.hexDump;
    if ((text && uint8_t(c) >= 0x20) || (!text && isHexDigit(c))) {
      doc_.typeCharacter(uint8_t(c));
      documentChanged();
      return;
    }
  }
  // Ctrl may have been released in another window (Ctrl+G opens the goto
  // dialog, which gets the release): the key itself tells whether it is held.
  v.controlDown = (e->modifiers() & Qt::ControlModifier) != 0;
  // The cursor keys work on the rows as they stand now, after any goto.
  layoutRows();
  const TKeyAction action = keyDown(v, context(), paint_, key, rows(), columns());
  switch (action) {
    case TKeyAction::None:
      if (key == TListingKey::Other) {
        QAbstractScrollArea::keyPressEvent(e);
        return;
      }
      break;
    case TKeyAction::Undo: doc_.undo(); break;
    case TKeyAction::ToggleHex: modeChanged(); break;
    case TKeyAction::AbortTrace: doc_.trace().abortTrace(); break;
    case TKeyAction::ShowEip: doc_.trace().showEip(true); break;
    case TKeyAction::Repaint: break;
  }
  documentChanged();
}

void TListingView::keyReleaseEvent(QKeyEvent* e) {
  keyUp(doc_.view(), listingKey(e->key()));
  QAbstractScrollArea::keyReleaseEvent(e);
}

// ---- mouse ----------------------------------------------------------------------

int TListingView::rowAt(int y) const {
  if (y < 0) return -1;
  const int r = y / lineHeight_;
  return uint32_t(r) < paint_.rowCount() ? r : -1;
}

int TListingView::columnAt(int x) const { return x < 0 ? -1 : x / charWidth_; }

int TListingView::hotspotAt(QPoint pos) const {
  for (uint32_t i = 0; i < paint_.hotspotCount; ++i) {
    const Hotspot& h = paint_.hotspots[i];
    const QRect r(h.column * charWidth_, h.row * lineHeight_, h.width * charWidth_, lineHeight_);
    if (r.contains(pos)) return int(i);
  }
  return -1;
}

void TListingView::wheelEvent(QWheelEvent* e) {
  rightPressed_ = false;  // the wheel ends a pending right-button press
  TListingState& v = doc_.view();
  const TListingContext ctx = context();
  const int delta = e->angleDelta().y();
  if (e->buttons() & Qt::RightButton) {
    const int steps = wheelSteps(delta, 120);
    int64_t top = int64_t(v.topOffset) - steps;
    if (top > int64_t(doc_.fileSize()) - 1) top = int64_t(doc_.fileSize()) - 1;
    if (top < 0) top = 0;
    v.topOffset = uint32_t(top);
    updateScrollBar(v, ctx);
  } else {
    const int steps = wheelSteps(delta, (e->buttons() & Qt::LeftButton) ? 120 : 30);
    for (int i = 0; i < (steps < 0 ? -steps : steps); ++i)
      EvVScroll(v, ctx, steps > 0 ? TScrollCode::LineUp : TScrollCode::LineDown, 0, rows(),
                wideThumb_);
  }
  e->accept();
  afterMove();
}

void TListingView::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) rightPressed_ = true;
  QAbstractScrollArea::mousePressEvent(e);
}

void TListingView::mouseReleaseEvent(QMouseEvent* e) {
  if (!painted_) layoutRows();
  const QPoint pos = e->position().toPoint();
  if (e->button() == Qt::RightButton) {
    if (!rightPressed_) return;
    rightPressed_ = false;
    showMenu(contextMenuAt(pos), e->globalPosition().toPoint());
    return;
  }
  if (e->button() != Qt::LeftButton || !doc_.isLoaded()) return;
  const int h = hotspotAt(pos);
  if (h >= 0) {
    const Hotspot hs = paint_.hotspots[h];
    if (hs.type == HOTSPOT_DATA) {
      closePreview();
      openDump(hs.target, true, e->globalPosition().toPoint());
      return;
    }
    followHotspot(hs);
    return;
  }
  const int r = rowAt(pos.y()), column = columnAt(pos.x());
  if (r >= 0 && !doc_.view().hexDump && column >= 31 && column < 36 &&
      paint_.rows[r].kind == TRowKind::Code && paint_.lineTable[r] != paint_.lineTable[r + 1]) {
    emit assemblerRequested(paint_.lineTable[r]);
    return;
  }
  startEditAt(pos);
}

void TListingView::followHotspot(const Hotspot& h) {
  if (followReference(doc_, h.type, h.source, h.target)) afterMove();
}

void TListingView::startEditAt(QPoint pos) {
  TListingState& v = doc_.view();
  TEditState& edit = doc_.edit();
  const int r = rowAt(pos.y()), column = columnAt(pos.x());
  if (r < 0) {
    edit.mode = 0;
    viewport()->update();
    return;
  }
  const TListingRow& row = paint_.rows[r];
  bool inText = false;
  uint8_t nibble = 0;
  int index = -1;
  if (v.hexDump && row.kind == TRowKind::Hex)
    index = hexByteAtColumn(column, inText, nibble);
  else if (!v.hexDump && row.kind == TRowKind::Code)
    index = codeByteAtColumn(column, row.lineEnd - row.offset, nibble);
  if (index < 0 || uint64_t(row.offset) + uint32_t(index) >= row.lineEnd) {
    edit.mode = 0;  // a click beside the bytes ends editing
  } else {
    edit.mode = inText ? 2 : 1;
    v.cursor = row.offset + uint32_t(index);
    v.nibble = nibble;
    v.cursorInText = inText;
    v.cursorLine = row.offset;
    v.cursorShown = true;
  }
  updateStatus();
  viewport()->update();
}

void TListingView::mouseDoubleClickEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  const int r = rowAt(pos.y()), column = columnAt(pos.x());
  if (r < 0 || column < 1 || column >= 9 || paint_.rows[r].kind == TRowKind::PastEnd) return;
  TListingState& v = doc_.view();
  const uint32_t offset = paint_.rows[r].offset;
  v.highlight = v.highlight == offset ? LISTING_NO_OFFSET : offset;
  viewport()->update();
}

void TListingView::mouseMoveEvent(QMouseEvent* e) {
  if (!painted_) return;
  const QPoint pos = e->position().toPoint();
  const int h = hotspotAt(pos);
  if (h != hovered_) setHovered(h, pos);
}

bool TListingView::viewportEvent(QEvent* e) {
  // The pointer rests on no reference once it left the rows.
  if (e->type() == QEvent::Leave && hovered_ >= 0) setHovered(-1, QPoint());
  return QAbstractScrollArea::viewportEvent(e);
}

void TListingView::closePreview() {
  if (preview_) preview_->close();
  preview_ = nullptr;
}

void TListingView::setHovered(int index, QPoint pointer) {
  hovered_ = index;
  hoverTarget_ = LISTING_NO_OFFSET;
  if (index < 0) {
    closePreview();
    emit hintChanged(QString());
    viewport()->update();
    return;
  }
  const Hotspot& h = paint_.hotspots[index];
  if (dump_ && dump_->state().top == h.target) {
    closePreview();
    viewport()->update();
    return;
  }
  hoverTarget_ = h.target;
  const bool code = (h.type & 0x40) != 0;
  if (preview_) {
    if (preview_->state().target != h.target || preview_->state().dataMode == code)
      preview_->aim(h.target, !code);
  } else {
    preview_ = new TDumpWin(doc_, settings_, font_, this);
    preview_->setAttribute(Qt::WA_ShowWithoutActivating);
    preview_->aim(h.target, !code);
    const QPoint cell = viewport()->mapToGlobal(QPoint(h.column * charWidth_, h.row * lineHeight_));
    const QPoint at = viewport()->mapToGlobal(pointer);
    const QRect screen = screenRect(this);
    const int caption = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const TPoint place = previewWindowPlace({cell.x(), cell.y()}, at.y(), lineHeight_,
                                            settings_.dumpRows, screen.width(), screen.height(),
                                            caption, preview_->windowSize().width());
    preview_->move(place.x, place.y);
    preview_->show();
  }
  viewport()->update();
}

void TListingView::openDump(uint32_t target, bool dataMode, QPoint screenPos) {
  if (target >= doc_.fileSize()) return;
  const bool replace = dump_ != nullptr;
  const QPoint old = replace ? dump_->pos() : QPoint();
  if (dump_) dump_->close();
  dump_ = new TDumpWin(doc_, settings_, font_, this);
  dump_->aim(target, dataMode);
  if (replace) {
    dump_->move(old);
  } else {
    const QRect screen = screenRect(this);
    const QSize size = dump_->windowSize();
    // Kept on the screen with its caption, which stands above the rows.
    const int caption = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const TPoint place = dumpWindowPlace({screenPos.x(), screenPos.y()}, size.width(),
                                         size.height() + caption, screen.width(), screen.height());
    dump_->move(place.x, place.y);
  }
  dump_->show();
  // Its keys (Tab, Escape, scrolling) are meant for it at once, not for the listing.
  dump_->activateWindow();
}

// ---- context menus and their commands ---------------------------------------------

void TListingView::showMenu(const std::vector<TMenuItem>& items, QPoint global) {
  if (items.empty()) return;
  QMenu menu(this);
  // The status bar shows an item's hint while it is chosen (these items have none).
  connect(&menu, &QMenu::hovered, this, [this](QAction* a) {
    const TCommand* c = findCommand(a->data().toInt());
    emit hintChanged(c && c->hint ? QString::fromLatin1(c->hint) : QString());
  });
  for (const TMenuItem& item : items) {
    if (item.id == 0) {
      menu.addSeparator();
      continue;
    }
    QAction* a = menu.addAction(QString::fromLatin1(item.text.c_str()));
    a->setData(item.id);
    a->setEnabled(item.enabled);
  }
  QAction* chosen = menu.exec(global);
  // The hint goes with the menu, whether an item was chosen or not.
  emit hintChanged(QString());
  if (chosen) runCommand(chosen->data().toInt());
}

void TListingView::contextMenuEvent(QContextMenuEvent* e) {
  // The mouse's menus open when the right button is released.
  if (e->reason() != QContextMenuEvent::Keyboard) {
    e->ignore();
    return;
  }
  openKeyboardMenu();
}

void TListingView::openKeyboardMenu() {
  QPoint at;
  const std::vector<TMenuItem> items = keyboardMenu(at);
  showMenu(items, viewport()->mapToGlobal(at));
}

std::vector<TMenuItem> TListingView::keyboardMenu(QPoint& at) {
  if (!painted_) layoutRows();
  const TListingState& v = doc_.view();
  const TCursorCells c = v.cursorShown && doc_.isLoaded()
                             ? cursorCells(paint_, v.cursor, v.nibble, v.hexDump, doc_.buffer(),
                                           doc_.fileSize())
                             : TCursorCells{};
  if (c.row < 0) {
    for (uint32_t r = 0; r < paint_.rowCount(); ++r)
      if (paint_.rows[r].kind == TRowKind::Code) return contextMenuAt(at = cellCentre(3, int(r)));
    return {};
  }
  // Found by offset, not by cell: a long instruction's bytes are drawn shifted around the cursor.
  at = cellCentre(c.hexRow ? c.pairColumn : c.digitColumn, c.row);
  popup_ = TPopupContext{};
  const QPoint global = viewport()->mapToGlobal(at);
  popup_.x = global.x();
  popup_.y = global.y();
  return byteMenuAt(paint_.rows[c.row].offset, v.cursor);
}

std::vector<TMenuItem> TListingView::byteMenuAt(uint32_t lineOffset, uint32_t offset) {
  std::vector<TMenuItem> items = byteMenu(doc_, offset);
  if (items.empty()) return items;
  popup_.kind = TPopupContext::Byte;
  popup_.source = lineOffset;
  popup_.target = offset;
  return items;
}

std::vector<TMenuItem> TListingView::contextMenuAt(QPoint pos) {
  if (!painted_) layoutRows();
  popup_ = TPopupContext{};
  const QPoint global = viewport()->mapToGlobal(pos);
  popup_.x = global.x();
  popup_.y = global.y();
  if (!doc_.isLoaded()) return {};
  const int h = hotspotAt(pos);
  if (h >= 0) {
    const Hotspot& hs = paint_.hotspots[h];
    popup_.kind = TPopupContext::Reference;
    popup_.type = hs.type;
    popup_.source = hs.source;
    popup_.target = hs.target;
    popup_.value = hs.shown;
    return hotspotMenu();
  }
  const int r = rowAt(pos.y()), column = columnAt(pos.x());
  if (r < 0) return {};
  const TListingRow& row = paint_.rows[r];
  const bool hexDump = doc_.view().hexDump;
  if (!hexDump && row.kind == TRowKind::Code && column >= 1 && column < 9) {
    popup_.kind = TPopupContext::Address;
    popup_.source = popup_.target = row.offset;
    return addressMenu();
  }
  bool inText = false;
  uint8_t nibble = 0;
  int index = -1;
  if (hexDump && row.kind == TRowKind::Hex)
    index = hexByteAtColumn(column, inText, nibble);
  else if (!hexDump && row.kind == TRowKind::Code)
    index = codeByteAtColumn(column, row.lineEnd - row.offset, nibble);
  if (index < 0 || uint64_t(row.offset) + uint32_t(index) >= row.lineEnd) return {};
  return byteMenuAt(row.offset, row.offset + uint32_t(index));
}

void TListingView::prepareSearch() {
  search_.shownLines = rows();
  search_.linesForward = [this](uint32_t offset, uint32_t n) {
    const TListingState& v = doc_.view();
    if (v.hexDump)
      return uint32_t(std::min<uint64_t>(uint64_t(offset) + 16ull * n, doc_.fileSize()));
    return ::linesForward(v, context(), offset, n);
  };
}

void TListingView::nameDialog() {
  const uint32_t key = nameKey(doc_, popup_.target);
  const std::string old = doc_.names().lookup(key).value_or(std::string());
  const QString title = old.empty() ? "Set new address name..." : "Edit address name...";
  const std::optional<std::string> text = askName(title, QString::fromLatin1(old.c_str()));
  if (!text) return;
  // The field may hold more than the store keeps: compare what it keeps.
  if (applyName(doc_, key, old, text->substr(0, 258))) doc_.setProjectChanged(true);
}

void TListingView::dumpThroughDword(int id) {
  const bool rva = id == CM_CODE_DUMP_RVA || id == CM_DATA_DUMP_RVA;
  const uint32_t offset = dumpTargetThroughDword(doc_, popup_.target,
                                                 rva ? UserAddressKind::Rva
                                                     : UserAddressKind::Memory);
  if (offset == NOT_IN_FILE) return;
  openDump(offset, id == CM_DATA_DUMP_RVA || id == CM_DATA_DUMP_MEMORY, QPoint(popup_.x, popup_.y));
}

void TListingView::runCommand(int id) {
  TListingState& v = doc_.view();
  const bool hexBefore = v.hexDump, bitsBefore = v.bits16;
  auto closeDump = [&] {
    if (dump_) dump_->close();
    dump_ = nullptr;
  };
  switch (id) {
    case CM_NAME: nameDialog(); break;
    case CM_GOTO_CODE:
      CmGotoCode(doc_, popup_.type, popup_.source, popup_.target);
      closeDump();
      break;
    case CM_GOTO_DATA:
      CmGotoData(doc_, popup_.type, popup_.source, popup_.target);
      closeDump();
      break;
    case CM_CODE_DUMP:
    case CM_DATA_DUMP:
      openDump(popup_.target, id == CM_DATA_DUMP, QPoint(popup_.x, popup_.y));
      break;
    case CM_GOTO_FILE_OFFSET:
      CmGotoFileOffset(doc_, popup_.target, popup_.source, UserAddressKind::FileOffset);
      break;
    case CM_GOTO_RVA:
      CmGotoFileOffset(doc_, popup_.target, popup_.source, UserAddressKind::Rva);
      break;
    case CM_GOTO_MEMORY:
      CmGotoFileOffset(doc_, popup_.target, popup_.source, UserAddressKind::Memory);
      break;
    case CM_CODE_DUMP_RVA:
    case CM_CODE_DUMP_MEMORY:
    case CM_DATA_DUMP_RVA:
    case CM_DATA_DUMP_MEMORY: dumpThroughDword(id); break;
    case CM_TOGGLE_BREAKPOINT: doc_.trace().toggleBreakpoint(popup_.target); break;
    case CM_REMOVE_RELOCATION: CmRemoveRelocation(doc_, popup_.target); break;
    case CM_GOTO_RELOCATION: CmGotoRelocation(doc_, popup_.target, popup_.source); break;
    // The searches (196, 138, 139) go through the search dialog, which the
    // frame owns; it reads the context through popupContext().
    default: emit commandRequested(id); return;
  }
  if (v.hexDump != hexBefore || v.bits16 != bitsBefore) modeChanged();
  documentChanged();
}
