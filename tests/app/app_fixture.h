// What the desktop tool's tests share: one QApplication for the test program, a temporary working
// folder made current (the tool's paths are relative to it), tables filled from table files laid
// out as the monitoring server lays out its tables (tests/tables/configured_tables.h), and the texts
// a grid shows.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "app/record_grid.h"
#include "tests/tables/configured_tables.h"

namespace app_test {

inline QApplication& Application() {
    static int argc = 1;
    static char name[] = "app_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

struct WorkFolder {
    QTemporaryDir dir;
    WorkFolder() { QDir::setCurrent(dir.path()); }
};

using configured_tables::CodeOf;
using configured_tables::ColumnsOf;
using configured_tables::Fill;
using configured_tables::Record;
using configured_tables::TableContent;

// The text of a cell, rows numbered from 1 as the operator sees them.
inline QString Cell(RecordGrid* grid, int row, int column) {
    return grid->model()->index(row - 1, column).data().toString();
}

// The texts of a column over the grid's records.
inline QStringList Column(RecordGrid* grid, int column) {
    QStringList texts;
    for (int r = 1; r <= int(grid->Idx().size()); ++r) {
        texts << Cell(grid, r, column);
    }
    return texts;
}

}  // namespace app_test

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
