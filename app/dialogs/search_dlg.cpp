#include "app/dialogs/search_dlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "app/listing/listing_view.h"
#include "base/command_table.h"
#include "document/document.h"
#include "document/search_command.h"
#include "persist/profile_file.h"

namespace {

// Mnemonics for keyboard use; the texts shown are the ones without "&".
// Pixels between the window and the listing's lower right corner.
constexpr int kCornerGap = 8;

constexpr const char* kTypeTexts[] = {"&Hex value", "&Decimal value", "&Byte list", "&ASCII String",
                                      "&Unicode Str."};

}  // namespace

TSearchDlg::TSearchDlg(TDocument& doc, TListingView& listing, TProfileFile* profile,
                       QWidget* parent)
    : QDialog(parent), doc_(doc), listing_(listing), profile_(profile) {
  setWindowTitle(QStringLiteral("Search..."));
  setModal(false);

  phrase_ = new QLineEdit(this);
  phrase_->setMaxLength(int(kSearchPhraseMax));
  // Room for a whole byte list of the longest hex values without scrolling.
  phrase_->setMinimumWidth(phrase_->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 34);
  auto* label = new QLabel(QStringLiteral("Search &phrase:"), this);
  label->setBuddy(phrase_);

  auto* typeBox = new QGroupBox(this);
  auto* typeLayout = new QVBoxLayout(typeBox);
  for (size_t i = 0; i < types_.size(); ++i) {
    types_[i] = new QRadioButton(QString::fromLatin1(kTypeTexts[i]), typeBox);
    typeLayout->addWidget(types_[i]);
  }

  case_ = new QCheckBox(QStringLiteral("&Case sensitive"), this);
  auto* dirBox = new QGroupBox(QStringLiteral("Direction from cursor:"), this);
  forward_ = new QRadioButton(QStringLiteral("&Forward"), dirBox);
  backward_ = new QRadioButton(QStringLiteral("Bac&kward"), dirBox);
  auto* dirLayout = new QVBoxLayout(dirBox);
  dirLayout->addWidget(forward_);
  dirLayout->addWidget(backward_);

  search_ = new QPushButton(QStringLiteral("&Search (again)"), this);
  search_->setDefault(true);
  search_->setAutoDefault(true);
  connect(search_, &QPushButton::clicked, this, [this] { searchAgain(); });

  auto* right = new QVBoxLayout;
  right->addWidget(case_);
  right->addWidget(dirBox);
  right->addStretch(1);
  right->addWidget(search_);
  auto* middle = new QHBoxLayout;
  middle->addWidget(typeBox);
  middle->addLayout(right);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(phrase_);
  layout->addLayout(middle);
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  setTabOrder(phrase_, types_[0]);
  for (size_t i = 1; i < types_.size(); ++i) setTabOrder(types_[i - 1], types_[i]);
  setTabOrder(types_.back(), case_);
  setTabOrder(case_, forward_);
  setTabOrder(forward_, backward_);
  setTabOrder(backward_, search_);

  TSearchState& s = state();
  if (profile_) {
    readSearchSettings(*profile_, s);
  } else {
    s.type = ST_HEX;
    s.backward = false;
    s.caseSensitive = false;
  }
  showState();
  phrase_->selectAll();
  phrase_->setFocus();
  placeInListingCorner();
}

void TSearchDlg::placeInListingCorner() {
  // A hit is shown a few lines below the listing's top: the window stays
  // out of its way in the lower right corner, on the screen.
  adjustSize();
  const QWidget* area = listing_.viewport();
  const QPoint corner = area->mapToGlobal(QPoint(area->width(), area->height()));
  // The window manager's title bar comes on top of the height.
  const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight);
  QPoint at = corner - QPoint(width() + kCornerGap, height() + titleBar + kCornerGap);
  if (const QScreen* screen = area->screen()) {
    const QRect room = screen->availableGeometry();
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - width())));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - height())));
  }
  move(at);
}

TSearchDlg::~TSearchDlg() {
  // Closing keeps the switches for the next opening. Only the controls are
  // read: the listing may be gone already when the program ends.
  if (!profile_) return;
  TSearchState s;
  for (size_t i = 0; i < types_.size(); ++i)
    if (types_[i]->isChecked()) s.type = int(i);
  s.backward = backward_->isChecked();
  s.caseSensitive = case_->isChecked();
  writeSearchSettings(*profile_, s);
}

TSearchState& TSearchDlg::state() const { return listing_.searchState(); }

void TSearchDlg::takeControls() {
  TSearchState& s = state();
  s.phrase = phrase_->text().toLatin1().toStdString();
  for (size_t i = 0; i < types_.size(); ++i)
    if (types_[i]->isChecked()) s.type = int(i);
  s.backward = backward_->isChecked();
  s.caseSensitive = case_->isChecked();
}

void TSearchDlg::showState() {
  const TSearchState& s = state();
  phrase_->setText(QString::fromLatin1(s.phrase.c_str()));
  if (s.type >= 0 && size_t(s.type) < types_.size()) types_[size_t(s.type)]->setChecked(true);
  (s.backward ? backward_ : forward_)->setChecked(true);
  case_->setChecked(s.caseSensitive);
}

bool TSearchDlg::searchAgain() {
  takeControls();
  listing_.prepareSearch();
  const bool found = ::searchAgain(doc_, state());
  // The phrase may have been rewritten ("6a1" -> "06A1") or taken as text.
  showState();
  emit moved();
  return found;
}

bool TSearchDlg::searchFromMenu(int id, const TPopupContext& context) {
  takeControls();
  listing_.prepareSearch();
  TSearchState& s = state();
  bool found = false;
  switch (id) {
    case CM_SEARCH_ADDRESS_REF: found = searchAddressReference(doc_, s, context.target); break;
    case CM_SEARCH_VALUE: found = searchDwordAt(doc_, s, context.target); break;
    case CM_SEARCH_REF_VALUE: found = searchReferenceValue(doc_, s, context.value); break;
    default: return false;
  }
  showState();
  emit moved();
  return found;
}
