// The import of a CSV or XLSX file into the vehicles or the terminals table: the file's columns
// mapped to the table's (by header, changeable), every line previewed with its errors, then the
// valid lines added one at a time as the server confirms them (exchange/import_run.h), with a
// progress bar, a stop, and the fate of every line in the preview and in a final summary.
//
// The window's notice polling hands every notice to TakeNotice first while the dialog is open; the
// dialog asks for the notices to be polled more often (pollNotices) while lines are on their way, so
// that each line follows its confirmation at once rather than at the next 10 ms tick.
//
// Thread-safety: UI thread only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "exchange/import_check.h"
#include "exchange/import_run.h"

class TBaseClient;

class ImportDialog : public QDialog {
  public:
    ImportDialog(TBaseClient& table, TBaseClient* objects, Sheet sheet, const QString& about,
                 QWidget* parent);

    // Called often while lines are on their way: takes the session's next notice into TakeNotice.
    std::function<void()> pollNotices;
    // True when the notice belonged to the import.
    bool TakeNotice(const QString& notice);

    QTableWidget* Mapping() const { return mapping_; }
    QTableWidget* Preview() const { return preview_; }
    QPushButton* StartButton() const { return start_; }
    QPushButton* StopButton() const { return stop_; }
    QLabel* Summary() const { return summary_; }
    const ImportRun* Run() const { return run_.get(); }
    const std::vector<ImportLine>& Lines() const { return lines_; }

    void Start();
    void Stop();

  protected:
    void reject() override;

  private:
    void Check();
    void Step();
    void ShowResults();
    QStringList CurrentMapping() const;

    TBaseClient& table_;
    TBaseClient* objects_;
    ImportProfile profile_;
    Sheet sheet_;
    std::vector<ImportLine> lines_;
    std::unique_ptr<ImportRun> run_;
    QTableWidget* mapping_;
    QTableWidget* preview_;
    QLabel* summary_;
    QProgressBar* progress_;
    QPushButton* start_;
    QPushButton* stop_;
    QPushButton* close_;
    QTimer steps_;
    int errorColumn_ = 0;
};
