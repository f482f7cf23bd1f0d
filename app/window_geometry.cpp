#include "app/window_geometry.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <string>

#include "persist/profile_file.h"

namespace {

// The window manager's icon and buttons beside the title, and its margins.
constexpr int kTitleDecoration = 130;
constexpr int kMinVisibleWidth = 200;
constexpr int kMinVisibleHeight = 100;

}  // namespace

QSize openingSize(QSize wanted, const QRect& available) {
  if (available.isEmpty()) return wanted;
  return QSize(std::min(wanted.width(), available.width()),
               std::min(wanted.height(), available.height()));
}

std::optional<QRect> keptPlace(const TProfileFile* profile, const QRect& available) {
  if (profile) {
    const int left = profile->readInt(kWindowSection, "Left", INT32_MIN);
    const int top = profile->readInt(kWindowSection, "Top", INT32_MIN);
    const int width = profile->readInt(kWindowSection, "Width", 0);
    const int height = profile->readInt(kWindowSection, "Height", 0);
    const QRect kept(left, top, width, height);
    const QRect seen = kept.intersected(available);
    if (left != INT32_MIN && top != INT32_MIN && width >= kMinVisibleWidth &&
        height >= kMinVisibleHeight &&
        (available.isEmpty() ||
         (seen.width() >= kMinVisibleWidth && seen.height() >= kMinVisibleHeight)))
      return kept;
  }
  return std::nullopt;
}

void keepPlace(TProfileFile* profile, const QRect& place) {
  if (!profile || place.width() < kMinVisibleWidth || place.height() < kMinVisibleHeight) return;
  profile->writeAll({{kWindowSection, "Left", std::to_string(place.left())},
                     {kWindowSection, "Top", std::to_string(place.top())},
                     {kWindowSection, "Width", std::to_string(place.width())},
                     {kWindowSection, "Height", std::to_string(place.height())}});
}

int titleWidth(const QWidget& window) {
  QFont font = QApplication::font("QMdiSubWindowTitleBar");
  font.setBold(true);
  return QFontMetrics(font).horizontalAdvance(window.windowTitle()) + kTitleDecoration;
}

void fitTitle(QWidget& window) {
  const int w = titleWidth(window);
  if (window.minimumWidth() < w) window.setMinimumWidth(w);
  if (window.width() < w) window.resize(w, window.height());
}
