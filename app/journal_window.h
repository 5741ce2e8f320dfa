// "Журнал изменений": the operator's change journal, newest first, filterable by table and by any
// text of an entry. It follows the journal as entries come and change; it never waits for the disk.
//
// Thread-safety: UI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <vector>

class ChangeJournal;

class JournalModel : public QAbstractTableModel {
  public:
    JournalModel(const ChangeJournal& journal, QObject* parent)
        : QAbstractTableModel(parent), journal_(journal) {}
    // Rebuilds the rows: the entries of `table` (all when empty) holding `text`, newest first.
    void Filter(const QString& table, const QString& text);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    const ChangeJournal& journal_;
    std::vector<size_t> rows_;
};

class JournalWindow : public QDialog {
  public:
    JournalWindow(const ChangeJournal& journal, QWidget* parent);
    // The journal changed: the rows follow shortly (many changes at once cost one rebuild).
    void JournalChanged() { dirty_.start(); }

    QComboBox* TableFilter() const { return table_; }
    QLineEdit* TextFilter() const { return text_; }
    QTableView* View() const { return view_; }
    JournalModel* Model() const { return model_; }
    void Refilter();

  private:
    QComboBox* table_;
    QLineEdit* text_;
    QTableView* view_;
    JournalModel* model_;
    QTimer dirty_;
};
