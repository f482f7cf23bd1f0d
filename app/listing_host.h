// The listing widget the main window shows. Until the listing widget is part
// of the build, a blank stand-in with the same signals keeps the frame
// working.
#pragma once
#ifdef OXU_HAVE_LISTING
#include "app/listing/dump_window.h"  // listing_view.h keeps QPointers to it
#include "app/listing/listing_view.h"
#else
#include <QAbstractScrollArea>

class TDocument;
struct TSettings;

class TListingView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  TListingView(TDocument&, const TSettings&, QWidget* parent = nullptr)
      : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
  }
  int repaints() const { return repaints_; }

 public slots:
  void documentChanged() {
    ++repaints_;
    viewport()->update();
  }

 signals:
  void hintChanged(const QString& hint);
  void cursorAddressChanged(const QString& address);
  void cursorValueChanged(const QString& value);
  void commandRequested(int id);

 private:
  int repaints_ = 0;
};
#endif
