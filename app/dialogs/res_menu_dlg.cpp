#include "app/dialogs/res_menu_dlg.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

#include "base/host.h"
#include "document/document.h"

namespace {
// The widest rendered line: nesting, the item text and the flag words.
constexpr int kMenuTextChars = 72;
constexpr int kMenuTextLines = 24;
constexpr int kReferenceLines = 6;
}  // namespace

TShowResMenuDlg::TShowResMenuDlg(TDocument& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
  setWindowTitle(QStringLiteral("Show resource menu"));
  setModal(false);
  menus_ = new TLineList(this);
  text_ = new QPlainTextEdit(this);
  text_->setReadOnly(true);
  // Keys move the caret too, so the references of a line can be had without the mouse.
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  references_ = new TLineList(this);

  connect(menus_, &TLineList::rowChosen, this, [this](int row) {
    view_.select(doc_, row);
    showMenu();
  });
  connect(text_, &QPlainTextEdit::cursorPositionChanged, this, [this] {
    if (!rendering_) listCaretReferences();
  });
  connect(references_, &TLineList::rowChosen, this, [this](int row) {
    const uint32_t offset = references_->data(row);
    if (offset == kNoticeLine) return;
    followResourceReference(doc_, offset, RK_MENU);
    emit moved();
  });

  view_.open(doc_);
  const TResourceList& list = view_.menus();
  if (!list.title.empty()) setWindowTitle(QString::fromStdString(list.title));
  if (list.noResourcesMessage)
    doc_.host().message(kNoResourcesText, kNoResourcesCaption, MsgIcon::Information);
  menus_->setLines(list.lines, view_.selected());
  showMenu();

  auto* top = new QSplitter(Qt::Horizontal, this);
  top->addWidget(menus_);
  top->addWidget(text_);
  top->setStretchFactor(1, 1);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(top);
  split->addWidget(references_);
  split->setStretchFactor(0, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split);

  const QFontMetrics fm(text_->font());
  const int listWidth = std::max(widthForLines(*menus_, list.lines, 50), 80);
  menus_->setMinimumWidth(std::min(listWidth, 160));
  top->setSizes({listWidth, fm.horizontalAdvance(QString(kMenuTextChars, QLatin1Char('0')))});
  const int line = references_->fontMetrics().height() + 2;
  split->setSizes({fm.lineSpacing() * kMenuTextLines, line * kReferenceLines});
  resize(listWidth + fm.horizontalAdvance(QString(kMenuTextChars, QLatin1Char('0'))) + 60,
         fm.lineSpacing() * kMenuTextLines + line * kReferenceLines + 40);
}

void TShowResMenuDlg::showMenu() {
  QString text = QString::fromLatin1(view_.shown().text.c_str());
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  // A new menu has no caret line yet: the old menu's references go too.
  rendering_ = true;
  text_->setPlainText(text);
  rendering_ = false;
  references_->setLines({});
}

void TShowResMenuDlg::listCaretReferences() {
  const int line = text_->textCursor().blockNumber();
  if (line >= int(view_.shown().lineIds.size())) return;
  references_->setLines(view_.referencesForLine(doc_, line, doc_.stores().menus,
                                                doc_.stores().locks.isLocked(TRefStoreKind::Menu)));
}

void TShowResMenuDlg::storeFilled(TRefStoreKind kind) {
  if (kind == TRefStoreKind::Menu) listCaretReferences();
}
