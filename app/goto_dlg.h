// "Goto... (hex addresses)": a modeless dialog that moves the listing to a
// file offset, an RVA or a memory address typed in hexadecimal.
#pragma once
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <functional>

#include "image/user_address.h"

class TDocument;

// The typed text as a number: hexadecimal digits after optional blanks, up
// to the first other character; no digits read as 0. A number that does not
// fit in 32 bits gives 0xFFFFFFFF, which is in no file.
uint32_t parseGotoHex(const std::string& text);

class TGotoDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kEditRoom = 28;

  TGotoDlg(TDocument& doc, QWidget* parent = nullptr);

  // Enables RVA and memory addresses for PE files only.
  void documentChanged();
  // "Go there !": true when the listing moved.
  bool goThere();

  QLineEdit* edit() const { return edit_; }
  QRadioButton* radio(UserAddressKind kind) const;
  QPushButton* goButton() const { return go_; }
  UserAddressKind kind() const;

 signals:
  // The listing moved: repaint it.
  void moved();

 private:
  TDocument& doc_;
  QLineEdit* edit_;
  QRadioButton* fileOffset_;
  QRadioButton* rva_;
  QRadioButton* memory_;
  QPushButton* go_;
};
