#include "app/dialogs/line_list.h"

#include <QStringList>
#include <QStyle>
#include <algorithm>

namespace {

// Measuring every line would cost as much as the list: the longest one stands for all.
const TListLine* longestLine(const std::vector<TListLine>& lines) {
  const TListLine* longest = nullptr;
  for (const TListLine& l : lines)
    if (!longest || l.text.size() > longest->text.size()) longest = &l;
  return longest;
}

int textWidth(const QWidget& w, const std::string& text) {
  return w.fontMetrics().horizontalAdvance(
      QString::fromLatin1(text.data(), qsizetype(text.size())));
}

}  // namespace

QSize TLineList::TRowSize::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setWidth(std::max(size.width(), width));
  return size;
}

TLineList::TLineList(QWidget* parent) : QListView(parent) {
  setModel(&model_);
  // Every row is one line of one font: the view need not measure each.
  setUniformItemSizes(true);
  setItemDelegate(&rowSize_);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& now) {
            if (!quiet_ && now.isValid()) emit rowChosen(now.row());
          });
}

void TLineList::setLines(const std::vector<TListLine>& lines, int current) {
  QStringList texts;
  texts.reserve(qsizetype(lines.size()));
  data_.clear();
  data_.reserve(lines.size());
  for (const TListLine& l : lines) {
    texts.append(QString::fromLatin1(l.text.data(), qsizetype(l.text.size())));
    data_.push_back(l.data);
  }
  // A few characters more: the longest line is not always the widest.
  const TListLine* longest = longestLine(lines);
  rowSize_.width = longest ? textWidth(*this, longest->text) + 4 * fontMetrics().averageCharWidth()
                           : 0;
  quiet_ = true;
  model_.setStringList(texts);
  quiet_ = false;
  setCurrentRowQuietly(current);
}

void TLineList::setCurrentRowQuietly(int row) {
  quiet_ = true;
  if (row >= 0 && row < count()) {
    const QModelIndex index = model_.index(row);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
  } else {
    selectionModel()->clear();
  }
  quiet_ = false;
}

int TLineList::currentRowIndex() const {
  const QModelIndex index = currentIndex();
  return index.isValid() && selectionModel()->isSelected(index) ? index.row() : -1;
}

QString TLineList::text(int row) const { return model_.index(row).data().toString(); }

int widthForLines(const QWidget& w, const std::vector<TListLine>& lines, int cap) {
  const TListLine* longest = longestLine(lines);
  if (!longest) return 0;
  const int scroll = w.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  return textWidth(w, longest->text.substr(0, size_t(cap))) + scroll + 24;
}
