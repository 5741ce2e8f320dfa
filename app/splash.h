// The splash window shown while the tables download: the program's own 550 x 350 picture, with the
// name of the table being loaded in a label along its bottom edge. Borderless and centred on the
// screen; hidden until shown.
//
// Thread-safety: UI thread only.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

struct SessionStatus;

class TSplash : public QWidget {
  public:
    explicit TSplash(QWidget* parent = nullptr);

    QLabel* Image() const { return image_; }
    QLabel* Label() const { return label_; }
    // The table loading and a bar of the bytes of its file, above the label; hidden between tables.
    QProgressBar* Progress() const { return progress_; }
    void ShowLoad(const SessionStatus& status);

  private:
    QLabel* image_;
    QLabel* label_;
    QProgressBar* progress_;
};
