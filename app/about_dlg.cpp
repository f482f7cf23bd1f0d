#include "app/about_dlg.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QMouseEvent>
#include <QUrl>
#include <QVBoxLayout>

#include "app/icons.h"
#include "document/document.h"
#include "persist/settings.h"

TLinkLabel::TLinkLabel(const QString& url, QWidget* parent) : QLabel(url, parent), url_(url) {
  setCursor(Qt::PointingHandCursor);
  setTextFormat(Qt::PlainText);
  setLook(false);
}

void TLinkLabel::setLook(bool hovered) {
  hovered_ = hovered;
  QFont f = font();
  f.setUnderline(hovered);
  setFont(f);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, hovered ? QColor(200, 0, 0) : QColor(0, 0, 200));
  setPalette(pal);
}

void TLinkLabel::enterEvent(QEnterEvent* event) {
  setLook(true);
  QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event) {
  setLook(false);
  QLabel::leaveEvent(event);
}

void TLinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QLabel::mousePressEvent(event);
  emit opened(url_);
  QDesktopServices::openUrl(QUrl(url_));
}

TAboutDlg::TAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About OXU-Dasm"));
  auto* layout = new QVBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(programIcon().pixmap(48, 48));
  layout->addWidget(icon, 0, Qt::AlignHCenter);
  auto* name = new QLabel(QStringLiteral("OXU-Dasm %1.%2")
                              .arg(kVersionMajor)
                              .arg(kVersionMinor, 2, 10, QLatin1Char('0')),
                          this);
  QFont big = name->font();
  big.setPointSize(big.pointSize() + 4);
  big.setBold(true);
  name->setFont(big);
  layout->addWidget(name, 0, Qt::AlignHCenter);
  layout->addWidget(new QLabel(QStringLiteral("32/16-bit disassembler, patcher and tracer\n"
                                              "for Windows PE and DOS MZ programs"),
                               this),
                    0, Qt::AlignHCenter);
  layout->addWidget(new QLabel(QStringLiteral("Written by the OXU-Dasm developers"), this), 0,
                    Qt::AlignHCenter);
  link_ = new TLinkLabel(QString::fromLatin1(kWebAddress), this);
  layout->addWidget(link_, 0, Qt::AlignHCenter);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}
