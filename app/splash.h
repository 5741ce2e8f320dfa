// The splash window shown while the tables download: the program's own 550 x 350 picture, with the
// name of the table being loaded in a label along its bottom edge. Borderless and centred on the
// screen; hidden until shown.
//
// Thread-safety: UI thread only.
#pragma once

#include <QLabel>
#include <QWidget>

class TSplash : public QWidget {
  public:
    explicit TSplash(QWidget* parent = nullptr);

    QLabel* Image() const { return image_; }
    QLabel* Label() const { return label_; }

  private:
    QLabel* image_;
    QLabel* label_;
};
