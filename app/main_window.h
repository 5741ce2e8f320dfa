// TForm1, the main window: the navigation bar, the three record pages, the polling of the session
// client's notices every 10 ms, and the table-change handler through which the client announces
// changed tables.
//
// Start-up (FormCreate) reads "setup.ini", registers the six tables, creates the session client,
// shows the vehicles page and runs the login-and-load loop; the window is shown afterwards only when
// the operator logged in. Destroying the window stops the client thread and frees the client.
//
// Thread-safety: everything runs on the UI thread except RefreshDataBase, which the client calls on
// its own thread; it only hands the table name to the UI thread, where the grid is rebuilt under the
// table's lock (app/table_refreshes.h: one rebuild per table for the reports of one event-loop turn,
// fewer while the window's import streams records in).
#pragma once

#include <QButtonGroup>
#include <QMainWindow>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <cstdint>
#include <memory>

#include "app/dialogs.h"
#include "infra/thread.h"
#include "session/session_door.h"
#include "session/table_registration.h"
#include "tables/base_set.h"

class ChangeJournal;
class client_udp;
class GroupsPage;
class ImportDialog;
class JournalWindow;
class QLabel;
class QProgressBar;
class RecordGrid;
class TableRefreshes;
class TerminalsPage;
class VehiclesPage;

inline const QString kCommandNotQueued =
    QStringLiteral("Изменение не отправлено: очередь отправки заполнена. Повторите позже");
inline const QString kMainCaption = QStringLiteral("КПО Велта 8 - Настройка мониторинга мобильных объектов");

class TForm1 : public QMainWindow {
  public:
    explicit TForm1(Dialogs dialogs = RealDialogs());
    ~TForm1() override;

    // Settings, tables, session client and login; true when the operator logged in and every table
    // is loaded, false after a cancelled login.
    bool FormCreate();
    // The steps of FormCreate, for callers that start the session their own way.
    void ReadSettingsAndRegisterTables();
    // Takes over the client and wires it to the tables, to RefreshDataBase and to the journal.
    void AttachClient(ThreadPtr<client_udp> client);

    // Working directory with a trailing '/', and the server address from "setup.ini".
    QString dir;
    QString host;
    uint16_t port = 9010;
    TBaseC Base;
    TableNumbers numbers;
    ThreadPtr<client_udp> clientU;

    QWidget* Panel1;
    QToolButton* SpeedButton1;  // "МТК"
    QToolButton* SpeedButton2;  // "ТС"
    QToolButton* SpeedButton3;  // "Группы"
    QStackedWidget* Notebook1;
    TerminalsPage* terminals;
    VehiclesPage* vehicles;
    GroupsPage* groups;
    QTimer* Timer1;

    // Shows the page "Default", "gps" or "group".
    void ShowPage(const QString& name);
    QString ActivePage() const;

    // Called by the client on its own thread for a changed table.
    void RefreshDataBase(client_udp* Sender, const QString& name);
    // The rebuild for one table, on the UI thread.
    void RefreshTable(const QString& name);
    // The session's queue refused a command a table posted: the page stops waiting, the operator
    // is told.
    void CommandNotQueued(TBaseClient* table);
    void RefreshMobile();
    void RefreshGPS();
    void RefreshGroupGPS();
    void REfreshGPSUG();

    // One tick of the 10 ms polling.
    void Timer1Timer();

    // The status line: link and server address, the table loading with a bar of its bytes, and the
    // operator's commands waiting to be sent; refreshed every 250 ms.
    QLabel* LinkState;
    QLabel* LoadState;
    QProgressBar* LoadBar;
    QLabel* WaitingState;
    void UpdateStatus();

    // The operator's change journal ("journal.db" in the working folder) and its window (Ctrl+J).
    ChangeJournal* Journal() const { return journal_.get(); }
    JournalWindow* ShowJournal();
    // Exports the rows the grid shows (Ctrl+E: the grid with the focus, or the page's own).
    void ExportGrid(RecordGrid* grid);
    RecordGrid* ActiveGrid() const;
    // Imports a file the operator picks into the shown page's table (vehicles or terminals); the
    // dialog, or null when nothing is imported (another page, a page in edit mode, a bad file).
    ImportDialog* ImportIntoPage();

  private:
    QToolButton* NavigationButton(const QString& caption, int top, int height);
    void WirePages();
    // What the window hears from the session: RefreshDataBase, and the journal's edit commands.
    SessionHandlers Handlers();
    void MakeStatusLine();
    void MakeMenuAndKeys();
    class RecordPage* ActivePageWidget() const;

    Dialogs dialogs_;
    std::unique_ptr<ChangeJournal> journal_;
    JournalWindow* journalWindow_ = nullptr;
    ImportDialog* importDialog_ = nullptr;
    // Whether the import dialog has lines on their way.
    bool ImportGoing() const;
    TableRefreshes* refreshes_ = nullptr;
    QTimer* statusTimer_ = nullptr;
    // When the link was last seen up, or lost; "Нет связи" follows 5 s without a session.
    qint64 linkLostAt_ = 0;
};
