// A small pop-up window that shows a few code lines or data rows of the file
// near a place without moving the listing.
#pragma once
#include <QAbstractScrollArea>
#include <QFont>
#include <vector>

#include "listing/dump_model.h"

class TDocument;
struct TSettings;

class TDumpWin : public QAbstractScrollArea {
  Q_OBJECT
 public:
  TDumpWin(TDocument& doc, const TSettings& settings, const QFont& font, QWidget* parent = nullptr);
  ~TDumpWin() override;

  // Shows target: data rows from it, or code lines around it.
  void aim(uint32_t target, bool dataMode);
  const TDumpState& state() const { return state_; }
  const std::vector<TDumpRow>& rows() const { return rows_; }
  int charWidth() const { return charWidth_; }
  int lineHeight() const { return lineHeight_; }
  // The window's outer size before it is placed.
  QSize windowSize() const;
  void refresh();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void scrollContentsBy(int, int) override {}
  bool focusNextPrevChild(bool) override { return false; }

 private:
  void stopListening();
  void scrolled(int action);
  void scroll(TScrollCode code, int64_t thumb = 0);
  void updateBar();
  void growTo(int clientWidth);

  TDocument& doc_;
  const TSettings& settings_;
  QFont font_;
  int charWidth_ = 8;
  int lineHeight_ = 15;
  int clientWidth_ = 325;
  TDumpState state_;
  std::vector<TDumpRow> rows_;
  int changeListener_ = 0;
  bool settingBar_ = false;
};
