#include "app/comment_replace_dlg.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "base/host.h"

namespace {

constexpr int kAnswers[5] = {REPLACE_ANSWER_REPLACE, REPLACE_ANSWER_ALWAYS_REPLACE,
                             REPLACE_ANSWER_SKIP, REPLACE_ANSWER_ALWAYS_SKIP,
                             REPLACE_ANSWER_CANCEL};
constexpr const char* kTexts[5] = {"&Replace", "Always re&place", "&Skip", "Always s&kip",
                                   "&Cancel"};

}  // namespace

TCommentReplaceDlg::TCommentReplaceDlg(uint32_t address, const QString& oldName,
                                       const QString& newName, size_t room, QWidget* parent)
    : QDialog(parent), address_(address), room_(room) {
  setWindowTitle(QStringLiteral("Address already has a name!"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Address:"),
               new QLabel(QStringLiteral("%1").arg(address, 8, 16, QLatin1Char('0')).toUpper()));
  auto* old = new QLabel(oldName);
  old->setTextFormat(Qt::PlainText);
  form->addRow(QStringLiteral("Old name:"), old);
  edit_ = new QLineEdit(newName);
  edit_->setMaxLength(room > 1 ? int(room - 1) : 0);
  form->addRow(QStringLiteral("New name:"), edit_);

  auto* grid = new QGridLayout;
  for (int i = 0; i < 5; ++i) {
    buttons_[i] = new QPushButton(QString::fromLatin1(kTexts[i]));
    const int answer = kAnswers[i];
    connect(buttons_[i], &QPushButton::clicked, this, [this, answer] { done(answer); });
  }
  buttons_[0]->setDefault(true);
  show_ = new QPushButton(QStringLiteral("Show &address"));
  show_->setAutoDefault(false);
  show_->setEnabled(false);
  connect(show_, &QPushButton::clicked, this, [this] {
    if (showAddress_) showAddress_(address_);
  });
  grid->addWidget(buttons_[0], 0, 0);
  grid->addWidget(buttons_[1], 0, 1);
  grid->addWidget(show_, 0, 2);
  grid->addWidget(buttons_[2], 1, 0);
  grid->addWidget(buttons_[3], 1, 1);
  grid->addWidget(buttons_[4], 1, 2);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(grid);
}

void TCommentReplaceDlg::setShowAddress(bool enabled, std::function<void(uint32_t)> show) {
  showAddress_ = std::move(show);
  show_->setEnabled(enabled && showAddress_);
}

QString TCommentReplaceDlg::editedName() const {
  // The loader keeps the name in a byte buffer of `room` bytes.
  QByteArray bytes = edit_->text().toUtf8();
  const qsizetype keep = room_ > 1 ? qsizetype(room_ - 1) : 0;
  if (bytes.size() > keep) bytes.truncate(keep);
  return QString::fromUtf8(bytes);
}

QPushButton* TCommentReplaceDlg::button(int answer) const {
  for (int i = 0; i < 5; ++i)
    if (kAnswers[i] == answer) return buttons_[i];
  return nullptr;
}

void TCommentReplaceDlg::reject() { done(REPLACE_ANSWER_CANCEL); }
