// The application object: holds the start-up command line, loads the
// settings and creates the main window.
#pragma once
#include <QApplication>
#include <memory>

#include "app/command_line.h"

class TDDecoratedFrame;
class TProfileFile;
class TQtHost;

class TDApp : public QApplication {
  Q_OBJECT
 public:
  TDApp(int& argc, char** argv);
  void setCommandLine(const TCommandLine& line) { line_ = line; }
  ~TDApp() override;
  // Creates the main window and runs until it closes; the exit code.
  int run();

 private:
  TCommandLine line_;
  std::unique_ptr<TQtHost> host_;
  std::unique_ptr<TProfileFile> profile_;
  std::unique_ptr<TDDecoratedFrame> frame_;
};

// What `oxu-dasm --version` prints.
const char* versionText();
