#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "base/command_table.h"

namespace {

constexpr int kSize = 16;

QPixmap canvas() {
  QPixmap pm(kSize, kSize);
  pm.fill(Qt::transparent);
  return pm;
}

void label(QPainter& p, const QString& text, const QColor& color, int pixel) {
  QFont f(QStringLiteral("Sans"));
  f.setPixelSize(pixel);
  f.setBold(true);
  p.setFont(f);
  p.setPen(color);
  p.drawText(QRect(0, 0, kSize, kSize), Qt::AlignCenter, text);
}

void page(QPainter& p) {
  p.setPen(QColor(70, 70, 70));
  p.setBrush(Qt::white);
  p.drawRect(2, 1, 11, 13);
}

}  // namespace

QIcon commandIcon(int id) {
  QPixmap pm = canvas();
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  switch (id) {
    case CM_FILE_OPEN: {  // open: a folder
      p.setPen(QColor(120, 90, 20));
      p.setBrush(QColor(240, 200, 80));
      p.drawRect(1, 4, 13, 9);
      p.drawRect(1, 2, 5, 2);
      break;
    }
    case CM_FILE_SAVE: {  // save: a disk
      p.setPen(QColor(30, 30, 90));
      p.setBrush(QColor(60, 80, 170));
      p.drawRect(1, 1, 13, 13);
      p.setBrush(Qt::white);
      p.drawRect(4, 1, 7, 5);
      p.fillRect(4, 9, 8, 5, QColor(200, 200, 200));
      break;
    }
    case CM_VIEW_32:
      page(p);
      label(p, QStringLiteral("32"), QColor(0, 0, 160), 8);
      break;
    case CM_VIEW_16:
      page(p);
      label(p, QStringLiteral("16"), QColor(0, 110, 0), 8);
      break;
    case CM_VIEW_HEX:
      page(p);
      label(p, QStringLiteral("0F"), QColor(140, 0, 0), 8);
      break;
    case CM_FILE_OFFSETS: label(p, QStringLiteral("F"), QColor(20, 20, 20), 13); break;
    case CM_PROGRAM_OFFSETS: label(p, QStringLiteral("M"), QColor(20, 20, 120), 13); break;
    case CM_AUTO_STRINGS: label(p, QStringLiteral("\"s\""), QColor(160, 0, 0), 10); break;
    case CM_MARK_RELOCATIONS: {  // relocations: marked cells
      for (int i = 0; i < 3; ++i) {
        p.setPen(QColor(60, 60, 60));
        p.setBrush(i == 1 ? QColor(250, 160, 60) : Qt::white);
        p.drawRect(1 + i * 5, 5, 4, 6);
      }
      break;
    }
    case CM_GOTO_ENTRY: {  // entry point: an arrow into a line
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setPen(QPen(QColor(0, 120, 0), 2));
      p.drawLine(2, 8, 11, 8);
      QPainterPath head;
      head.moveTo(14, 8);
      head.lineTo(9, 3);
      head.lineTo(9, 13);
      head.closeSubpath();
      p.fillPath(head, QColor(0, 120, 0));
      break;
    }
    default: break;
  }
  p.end();
  return QIcon(pm);
}

QIcon programIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(28, 44, 90));
    p.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
    QFont f(QStringLiteral("Sans"));
    f.setPixelSize(size * 5 / 12);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(250, 200, 60));
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("OXU"));
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}
