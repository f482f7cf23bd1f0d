// "Address already has a name!": asked while a map or definition file is
// loaded and a symbol meets a different existing name. exec() returns one of
// the ReplaceAnswer values.
#pragma once
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

class TCommentReplaceDlg : public QDialog {
  Q_OBJECT
 public:
  TCommentReplaceDlg(uint32_t address, const QString& oldName, const QString& newName, size_t room,
                     QWidget* parent = nullptr);

  // "Show &address" is offered only for an address with a place in the file.
  void setShowAddress(bool enabled, std::function<void(uint32_t)> show);
  QString editedName() const;
  QPushButton* button(int answer) const;
  QPushButton* showAddressButton() const { return show_; }
  QLineEdit* nameEdit() const { return edit_; }
  // Escape and the close box cancel the load.
  void reject() override;

 private:
  uint32_t address_;
  size_t room_;
  QLineEdit* edit_;
  QPushButton* show_;
  QPushButton* buttons_[5];
  std::function<void(uint32_t)> showAddress_;
};
