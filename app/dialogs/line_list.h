// A list of text lines with a number behind each, as the list windows show
// them: one model for the whole list, so a hundred thousand lines fill in
// one go and scroll without a widget or item object per line.
#pragma once
#include <QListView>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <vector>

#include "image/resources.h"

class TLineList : public QListView {
  Q_OBJECT
 public:
  explicit TLineList(QWidget* parent = nullptr);

  // Replaces the lines; the current row becomes `current` (-1: none) without
  // telling rowChosen, as the window's own choice is not the user's.
  void setLines(const std::vector<TListLine>& lines, int current = -1);
  void setCurrentRowQuietly(int row);
  int currentRowIndex() const;
  int count() const { return int(data_.size()); }
  QString text(int row) const;
  uint32_t data(int row) const { return data_[size_t(row)]; }

 signals:
  // The user moved the selection to `row` (mouse or keys).
  void rowChosen(int row);

 private:
  // Rows of one size are measured once, by the last line; this size is the
  // longest line's, so that a long line elsewhere is scrolled to, not cut.
  class TRowSize : public QStyledItemDelegate {
   public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    int width = 0;
  };
  TRowSize rowSize_{this};
  QStringListModel model_;
  std::vector<uint32_t> data_;
  bool quiet_ = false;
};

// A list of the given lines is wide enough for its longest line up to `cap`
// characters, so that nothing is cut at the window's opening size.
int widthForLines(const QWidget& w, const std::vector<TListLine>& lines, int cap);
