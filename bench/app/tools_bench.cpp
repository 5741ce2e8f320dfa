// Figures of the operator's tools in the real window (offscreen), nothing passes or fails on them:
//   - with 100,000 vehicles (MOBCFG_BENCH_VEHICLES): a keystroke in the find field (the first one,
//     which reads the rows' texts, and the following ones), a sort by a text column, by a number
//     column and its reversal, and the export of all rows to CSV and to XLSX, with where the
//     workbook's time goes (workbook_figures.h);
//   - an import of 10,000 vehicles (MOBCFG_BENCH_IMPORT) into an empty stand-in server through the
//     window's import dialog and through mobcfg-cli, lines per second as the server confirms them.
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/find_bar.h"
#include "app/import_dialog.h"
#include "app/login_window.h"
#include "app/main_window.h"
#include "app/record_grid.h"
#include "app/vehicles_page.h"
#include "bench/app/workbook_figures.h"
#include "exchange/table_export.h"
#include "tests/e2e/harness.h"
#include "tests/tables/configured_tables.h"

namespace {

int EnvInt(const char* name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariable(name).toInt(&ok);
    return ok ? v : fallback;
}

double Ms(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

template <typename F>
double Timed(F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    return Ms(t);
}

// What the operator sees after a change: the events handled and the grid painted.
void Settle(RecordGrid* grid) {
    QCoreApplication::processEvents();
    grid->viewport()->repaint();
}

std::vector<configured_tables::Record> Vehicles(int n, int first) {
    static const QStringList kinds = {"Газель", "Волга", "УАЗ Патриот", "Нива", "КамАЗ"};
    std::vector<configured_tables::Record> records;
    records.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        const int k = first + i;
        records.push_back({{"n_abs", k},
                           {"number", QString::number(k)},
                           {"name", kinds[k % kinds.size()] + QStringLiteral(" ") + QString::number(k)},
                           {"gosnum", QStringLiteral("А%1ВС96").arg(k % 1000, 3, 10, QChar(u'0'))},
                           {"owner", QStringLiteral("ООО Охрана-%1").arg(k % 50)},
                           {"sim", QString::number(9000000000LL + k)},
                           {"imei", 860000000000000LL + k},
                           {"lat", 56.8 + (k % 1000) / 10000.0},
                           {"dt_last", 45000.5 + k % 300}});
    }
    return records;
}

void PressHeader(RecordGrid* grid, int column) {
    QHeaderView* header = grid->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + 5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, header->viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &press);
}

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %8.2f ms   max %8.2f ms   (%zu samples)\n", what, ms[ms.size() / 2], ms.back(),
                ms.size());
}

void GridFigures(const QTemporaryDir& dir, int vehicles) {
    Dialogs d;
    TForm1 form(d);
    form.ReadSettingsAndRegisterTables();
    form.show();
    TBaseClient* gps = form.Base.Find(QStringLiteral("gps"));
    const QString file = dir.filePath("gps.tbl");
    WriteTableFileTo(file, configured_tables::TableContent("gps", Vehicles(vehicles, 1)), false);
    gps->LoadFromFile(file);
    RecordGrid* grid = form.vehicles->StringGrid2();
    std::printf("vehicles: %d\n", vehicles);
    std::printf("%-44s %8.2f ms\n", "page's own rebuild (identifier order)", Timed([&] {
                    form.RefreshTable(QStringLiteral("gps"));
                    Settle(grid);
                }));

    QLineEdit* find = form.vehicles->Finder()->Field();
    const QStringList typed = {"в",       "во",      "вол",      "волг",      "волга",
                               "волга ",  "волга 1", "волга 12", "волга 123", "волга 12",
                               "волга 1", "волга",   "волг",     "г",         ""};
    std::printf("%-44s %8.2f ms\n", "find field takes the focus (reads the texts)", Timed([&] {
                    form.activateWindow();
                    QApplication::setActiveWindow(&form);
                    find->setFocus();
                    Settle(grid);
                }));
    std::printf("%-44s %8.2f ms\n", "first keystroke", Timed([&] {
                    find->setText(typed[0]);
                    Settle(grid);
                }));
    std::vector<double> keys;
    std::vector<double> worst(size_t(typed.size()), 0);
    for (int round = 0; round < 3; ++round) {
        for (qsizetype i = 1; i < typed.size(); ++i) {
            keys.push_back(Timed([&] {
                find->setText(typed[i]);
                Settle(grid);
            }));
            worst[size_t(i)] = std::max(worst[size_t(i)], keys.back());
        }
    }
    Report("keystroke in the find field", keys);
    for (qsizetype i = 1; i < typed.size(); ++i) {
        std::printf("  \"%s\"%*s worst %6.2f ms\n", qPrintable(typed[i]), int(12 - typed[i].size()), "",
                    worst[size_t(i)]);
    }
    find->setText(QStringLiteral("волга 12"));
    std::printf("  (\"волга 12\" finds %zu of %d)\n", grid->Idx().size(), grid->TotalRows());
    find->clear();
    Settle(grid);

    for (const auto& [column, what] :
         {std::pair{2, "sort by name (text), first press"},
          std::pair{2, "sort by name, second press (reverse)"},
          std::pair{1, "sort by number (numbers), first press"},
          std::pair{1, "sort by number, second press (reverse)"}, std::pair{0, "back to the page's order"}}) {
        std::printf("%-44s %8.2f ms\n", what, Timed([&] {
                        PressHeader(grid, column);
                        Settle(grid);
                    }));
    }
    for (const char* name : {"all.csv", "all.xlsx"}) {
        QString error;
        const double ms = Timed([&] { error = ExportRecords(*gps, grid->Idx(), dir.filePath(name)); });
        std::printf("export of all %zu rows, all columns, to %-5s %8.2f ms  %.1f MB%s\n", grid->Idx().size(),
                    name + 4, ms, double(QFile(dir.filePath(name)).size()) / 1e6,
                    error.isEmpty() ? "" : " FAILED");
    }
    WorkbookFigures(*gps, grid->Idx(), dir.path());
}

// The CSV of `n` vehicles none of which the server holds.
QString ImportFile(const QTemporaryDir& dir, int n) {
    const QString path = dir.filePath("import.csv");
    const QString file = dir.filePath("import-source.tbl");
    TBaseClient source;
    source.NameTableS = QStringLiteral("gps");
    WriteTableFileTo(file, configured_tables::TableContent("gps", Vehicles(n, 500000)), false);
    source.LoadFromFile(file);
    ExportRecords(source, AllPositions(source), path);
    return path;
}

void ImportFigures(const QTemporaryDir& dir, int lines) {
    qputenv("MOBCFG_BIN_DIR", MOBCFG_BIN_DIR);
    const QString file = ImportFile(dir, lines);
    const uint16_t port = FreeUdpPort();
    ServerProcess server(dir.filePath("server"), port, {});
    if (!server.Start()) {
        std::printf("import: the server did not start\n");
        return;
    }
    const QString client = dir.filePath("client");
    QDir().mkpath(client);
    QDir::setCurrent(client);
    QFile ini("setup.ini");
    ini.open(QIODevice::WriteOnly);
    ini.write(QStringLiteral("[ServerHost]\r\nAddress=127.0.0.1\r\nPort=%1\r\n").arg(port).toLatin1());
    ini.close();
    Dialogs d;
    d.openSheet = [&file](QWidget*) { return file; };
    d.inform = [](QWidget*, const QString& text) { std::printf("import: %s\n", qPrintable(text)); };
    TForm1 form(d);
    QTimer login;
    login.setInterval(5);
    QObject::connect(&login, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* l = dynamic_cast<TPasZas*>(w);
                l != nullptr && l->isVisible() && l->Button1->isEnabled()) {
                l->MaskEdit2->setText(kTestUser);
                l->MaskEdit1->setText(kTestPassword);
                l->Button1->click();
                login.stop();
            }
        }
    });
    login.start();
    if (!form.FormCreate()) {
        std::printf("import: no login\n");
        return;
    }
    form.show();
    ImportDialog* dialog = form.ImportIntoPage();
    if (dialog == nullptr) {
        return;
    }
    QElapsedTimer t;
    t.start();
    dialog->Start();
    const QDeadlineTimer deadline(600000);
    while (!dialog->Run()->Finished() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const double seconds = Ms(t) / 1000;
    const int confirmed = dialog->Run()->Count(ImportRun::State::Confirmed);
    std::printf("import in the window: %d of %d lines confirmed in %.1f s, %.0f lines/s (%.2f ms a line)\n",
                confirmed, lines, seconds, confirmed / seconds, seconds * 1000 / std::max(confirmed, 1));

    const uint16_t cliPort = FreeUdpPort();
    ServerProcess cliServer(dir.filePath("cli-server"), cliPort, {});
    cliServer.Start();
    CliProcess cli(dir.filePath("cli"), cliPort);
    QElapsedTimer c;
    c.start();
    const CliResult result = cli.Run({"import", "gps", file}, 600000, 60);
    const double cliSeconds = Ms(c) / 1000;
    const int cliConfirmed = int(result.lines.filter("\"state\":\"confirmed\"").size());
    std::printf(
        "import with mobcfg-cli: %d of %d lines confirmed in %.1f s (login and load included), %.0f "
        "lines/s\n",
        cliConfirmed, lines, cliSeconds, cliConfirmed / cliSeconds);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    GridFigures(dir, EnvInt("MOBCFG_BENCH_VEHICLES", 100000));
    const int lines = EnvInt("MOBCFG_BENCH_IMPORT", 10000);
    if (lines > 0) {
        ImportFigures(dir, lines);
    }
    return 0;
}
