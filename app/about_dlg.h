// The about box: the program's name and version, the credits and a link to
// the program's web address.
#pragma once
#include <QDialog>
#include <QLabel>

// A line of text that opens its address in the browser when clicked and
// shows that it can be clicked while the pointer is over it.
class TLinkLabel : public QLabel {
  Q_OBJECT
 public:
  TLinkLabel(const QString& url, QWidget* parent = nullptr);
  bool hovered() const { return hovered_; }

 signals:
  void opened(const QString& url);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void setLook(bool hovered);
  QString url_;
  bool hovered_ = false;
};

class TAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutDlg(QWidget* parent = nullptr);
  TLinkLabel* link() const { return link_; }

 private:
  TLinkLabel* link_;
};
