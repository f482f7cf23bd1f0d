#include "app/dapp.h"

#include <cstdio>

#include "app/main_window.h"
#include "app/qt_host.h"
#include "document/document.h"
#include "persist/profile_file.h"
#include "persist/settings.h"
#include "persist/settings_path.h"

const char* versionText() {
  static char text[64];
  std::snprintf(text, sizeof text, "oxu-dasm (OXU-Dasm) %d.%.2d\n", kVersionMajor, kVersionMinor);
  return text;
}

TDApp::TDApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("oxu-dasm"));
  setApplicationVersion(
      QStringLiteral("%1.%2").arg(kVersionMajor).arg(kVersionMinor, 2, 10, QLatin1Char('0')));
  setDesktopFileName(QStringLiteral("oxu-dasm"));
}

TDApp::~TDApp() {
  frame_.reset();
  host_.reset();
}

int TDApp::run() {
  host_ = std::make_unique<TQtHost>();
  std::string exe = executablePath();
  profile_ = std::make_unique<TProfileFile>(settingsPath(pathDirectory(exe)));
  const TSettings settings = loadSettings(*profile_, *host_);
  const TMainWindowSettings window = readMainWindowSettings(*profile_);
  frame_ = std::make_unique<TDDecoratedFrame>(*host_, settings, window, profile_.get());
  frame_->show();
  frame_->start(line_);
  return exec();
}
