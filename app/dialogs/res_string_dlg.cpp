#include "app/dialogs/res_string_dlg.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

#include "base/host.h"
#include "document/document.h"

namespace {
constexpr const char* kTitle = "Show resource strings";
// A string line shows its ID prefix and this much of the text where the window opens.
constexpr int kLineChars = 80;
constexpr int kStringLines = 14;
constexpr int kReferenceLines = 8;
}  // namespace

TShowResStringDlg::TShowResStringDlg(TDocument& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
  setWindowTitle(QString::fromLatin1(kTitle));
  setModal(false);
  strings_ = new TLineList(this);
  references_ = new TLineList(this);
  onlyReferenced_ = new QCheckBox(QStringLiteral("Only show strings with programm references"),
                                  this);
  noArithmetic_ =
      new QCheckBox(QStringLiteral("Don't show arithmetic operations (add, sub, shl, ...)"), this);
  noBitwise_ = new QCheckBox(QStringLiteral("Don't show bitwise operations (and, or, ...)"), this);
  search_ = new QLineEdit(this);
  search_->setPlaceholderText(QStringLiteral("Find text (Enter)"));
  // Typing goes to the search at once; the keys that move in a list move in the strings.
  search_->installEventFilter(this);

  connect(strings_, &TLineList::rowChosen, this, [this](int row) {
    view_.select(row);
    showReferences();
  });
  connect(references_, &TLineList::rowChosen, this, [this](int row) {
    const uint32_t offset = references_->data(row);
    if (offset == kNoticeLine) return;
    followResourceReference(doc_, offset, RK_STRING);
    emit moved();
  });
  connect(onlyReferenced_, &QCheckBox::toggled, this, [this](bool on) {
    view_.onlyReferenced = on;
    fillStrings();
  });
  connect(noArithmetic_, &QCheckBox::toggled, this, [this](bool on) {
    view_.noArithmetic = on;
    showReferences();
  });
  connect(noBitwise_, &QCheckBox::toggled, this, [this](bool on) {
    view_.noBitwise = on;
    showReferences();
  });

  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(strings_);
  split->addWidget(references_);
  split->setStretchFactor(0, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split, 1);
  layout->addWidget(onlyReferenced_);
  layout->addWidget(noArithmetic_);
  layout->addWidget(noBitwise_);
  layout->addWidget(search_);

  setTabOrder(search_, strings_);
  search_->setFocus();

  fillStrings();
  const TResourceList& list = view_.strings();
  if (list.noResourcesMessage)
    doc_.host().message(kNoResourcesText, kNoResourcesCaption, MsgIcon::Information);

  const int line = strings_->fontMetrics().height() + 2;
  const int lists = line * (kStringLines + kReferenceLines);
  split->setSizes({line * kStringLines, line * kReferenceLines});
  int below = 0;  // the check boxes and the search field under the lists
  for (QWidget* w : {static_cast<QWidget*>(onlyReferenced_), static_cast<QWidget*>(noArithmetic_),
                     static_cast<QWidget*>(noBitwise_), static_cast<QWidget*>(search_)})
    below += w->sizeHint().height() + layout->spacing();
  const QMargins m = layout->contentsMargins();
  const int width =
      std::max({widthForLines(*strings_, list.lines, kLineChars), noArithmetic_->sizeHint().width(),
                fontMetrics().horizontalAdvance(QString::fromLatin1(kTitle)) + 120});
  resize(width + m.left() + m.right(), lists + below + m.top() + m.bottom() + 8);
}

bool TShowResStringDlg::scanning() const {
  return doc_.stores().locks.isLocked(TRefStoreKind::String);
}

void TShowResStringDlg::fillStrings() {
  view_.open(doc_, doc_.stores().strings, scanning());
  const TResourceList& list = view_.strings();
  setWindowTitle(QString::fromStdString(list.title.empty() ? std::string(kTitle) : list.title));
  strings_->setLines(list.lines, view_.selected());
  showReferences();
}

void TShowResStringDlg::showReferences() {
  references_->setLines(view_.references(doc_, doc_.stores().strings, scanning()));
}

void TShowResStringDlg::search() {
  view_.select(strings_->currentRowIndex());
  const bool notFound = view_.search(search_->text().toStdString());
  if (notFound) {
    doc_.host().message("Not found", kTitle, MsgIcon::Information);
    return;
  }
  if (view_.selected() == strings_->currentRowIndex()) return;
  strings_->setCurrentRowQuietly(view_.selected());
  showReferences();
}

void TShowResStringDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    search();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TShowResStringDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == search_ && event->type() == QEvent::KeyPress) {
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown: QCoreApplication::sendEvent(strings_, event); return true;
      default: break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TShowResStringDlg::storeFilled(TRefStoreKind kind) {
  if (kind == TRefStoreKind::String) showReferences();
}
