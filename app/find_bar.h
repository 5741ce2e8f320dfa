// The find field of a grid: "Поиск", a field with the placeholder "Найти…" that filters the grid as
// the operator types, and "найдено N из M" beside it. Escape clears the field; Enter or the down
// arrow moves into the grid. Getting the focus readies the grid's find, so that even the first
// keystroke finds at once.
//
// Thread-safety: UI thread only.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QWidget>

class RecordGrid;

class FindBar : public QWidget {
  public:
    FindBar(RecordGrid* grid, QWidget* parent);

    QLineEdit* Field() const { return field_; }
    QLabel* Count() const { return count_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    RecordGrid* grid_;
    QLineEdit* field_;
    QLabel* count_;
};
