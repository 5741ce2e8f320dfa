#include "main_window.h"

#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>

#include "app/find_bar.h"
#include "app/groups_page.h"
#include "app/import_dialog.h"
#include "app/journal_window.h"
#include "app/login_window.h"
#include "app/record_grid.h"
#include "app/record_order.h"
#include "app/table_refreshes.h"
#include "app/tahoma.h"
#include "app/terminals_page.h"
#include "app/vehicles_page.h"
#include "exchange/sheet_file.h"
#include "exchange/table_export.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "infra/ticks.h"
#include "journal/change_journal.h"
#include "session/client_udp.h"
#include "session/session_door.h"
#include "session/session_status.h"
#include "session/settings.h"

namespace {

const QString kPageTerminals = QStringLiteral("Default");
const QString kPageVehicles = QStringLiteral("gps");
const QString kPageGroups = QStringLiteral("group");
// While the window's import streams records in, the pages are rebuilt at most this often (and no
// more than a fifth of the time).
constexpr std::chrono::milliseconds kRebuildGapWhileImporting{100};

}  // namespace

TForm1::TForm1(Dialogs dialogs) : dialogs_(std::move(dialogs)) {
    setWindowTitle(kMainCaption);
    setFont(Tahoma(11));
    auto* central = new QWidget(this);
    central->setAutoFillBackground(true);
    QPalette palette = central->palette();
    palette.setColor(QPalette::Window, QColor(0xE9, 0xF1, 0xFA));
    central->setPalette(palette);
    setCentralWidget(central);
    resize(1282, 886);

    Panel1 = new QWidget(central);
    Panel1->setFixedWidth(113);
    SpeedButton2 = NavigationButton(QStringLiteral("ТС"), 8, 42);
    SpeedButton1 = NavigationButton(QStringLiteral("МТК"), 56, 41);
    SpeedButton3 = NavigationButton(QStringLiteral("Группы"), 103, 43);
    auto* navigation = new QButtonGroup(this);
    navigation->setExclusive(true);
    for (QToolButton* b : {SpeedButton1, SpeedButton2, SpeedButton3}) {
        navigation->addButton(b);
    }
    SpeedButton2->setChecked(true);

    Notebook1 = new QStackedWidget(central);
    terminals = new TerminalsPage(Panel1, dialogs_, Notebook1);
    vehicles = new VehiclesPage(Panel1, dialogs_, Notebook1);
    groups = new GroupsPage(Panel1, dialogs_, Notebook1);
    terminals->setObjectName(kPageTerminals);
    vehicles->setObjectName(kPageVehicles);
    groups->setObjectName(kPageGroups);
    for (QWidget* page :
         {static_cast<QWidget*>(terminals), static_cast<QWidget*>(vehicles), static_cast<QWidget*>(groups)}) {
        Notebook1->addWidget(page);
    }
    ShowPage(kPageVehicles);
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { ShowPage(kPageTerminals); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { ShowPage(kPageVehicles); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { ShowPage(kPageGroups); });

    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(Notebook1, 1);

    vehicles->refreshGPS = [this] { RefreshGPS(); };
    terminals->client = [this] { return clientU.get(); };

    refreshes_ = new TableRefreshes([this](const QString& name) { RefreshTable(name); },
                                    [this] { return ImportGoing(); }, kRebuildGapWhileImporting, this);

    Timer1 = new QTimer(this);
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
    MakeStatusLine();
    MakeMenuAndKeys();
    // The pages keep the room they had: the menu and the status line come on top of it.
    resize(1282, 886 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

// The client thread calls into this window: it stops before anything of the window goes.
TForm1::~TForm1() {
    clientU.reset();
}

QToolButton* TForm1::NavigationButton(const QString& caption, int top, int height) {
    auto* button = new QToolButton(Panel1);
    button->setText(caption);
    button->setCheckable(true);
    button->setGeometry(13, top, 84, height);
    button->setFont(Tahoma(16, true));
    return button;
}

void TForm1::ShowPage(const QString& name) {
    for (int i = 0; i < Notebook1->count(); ++i) {
        if (Notebook1->widget(i)->objectName() == name) {
            Notebook1->setCurrentIndex(i);
        }
    }
    SpeedButton1->setChecked(name == kPageTerminals);
    SpeedButton2->setChecked(name == kPageVehicles);
    SpeedButton3->setChecked(name == kPageGroups);
}

QString TForm1::ActivePage() const {
    return Notebook1->currentWidget()->objectName();
}

bool TForm1::FormCreate() {
    ReadSettingsAndRegisterTables();
    clientU = OpenSession(Base, host, port, Handlers());
    ShowPage(kPageVehicles);
    return ConnectAndLoad(*clientU, dir, &Base);
}

void TForm1::ReadSettingsAndRegisterTables() {
    terminals->RememberedId = -1;
    vehicles->RememberedId = -1;
    groups->RememberedId = -1;
    dir = QDir::currentPath();
    if (!dir.endsWith(u'/')) {
        dir += u'/';
    }
    const ServerSettings settings = ReadServerSettings(dir);
    host = settings.host;
    port = settings.port;
    numbers = RegisterConfigTables(Base);
    WirePages();
    journal_ = std::make_unique<ChangeJournal>(dir + QStringLiteral("journal.db"));
    journal_->onChanged = [this] {
        if (journalWindow_ != nullptr) {
            journalWindow_->JournalChanged();
        }
    };
    journal_->StartLoad([this](std::vector<JournalEntry> entries) {
        QMetaObject::invokeMethod(
            this, [this, entries = std::move(entries)]() mutable { journal_->Loaded(std::move(entries)); },
            Qt::QueuedConnection);
    });
}

void TForm1::WirePages() {
    terminals->SetTables(Base.At(numbers.NumberGPeople), Base.At(numbers.NumberObject));
    vehicles->SetTable(Base.At(numbers.NumberGPS));
    groups->SetTables(Base.At(numbers.NumberGroupGPS), Base.At(numbers.Numbergpsug),
                      Base.At(numbers.NumberGPS));
}

void TForm1::AttachClient(ThreadPtr<client_udp> client) {
    clientU = std::move(client);
    WireSession(*clientU, Base, Handlers());
}

SessionHandlers TForm1::Handlers() {
    return {[this](client_udp* sender, const QString& name) { RefreshDataBase(sender, name); },
            // Edit commands are posted on this thread, so the journal takes them here.
            [this](TBaseClient* table, const QString& command, bool queued) {
                if (journal_ && table != nullptr) {
                    journal_->CommandQueued(*table, command, queued);
                }
                // An import counts its own lines; anything else the operator did is told at once.
                if (!queued && !ImportGoing()) {
                    CommandNotQueued(table);
                }
            }};
}

void TForm1::CommandNotQueued(TBaseClient* table) {
    for (RecordPage* page : std::initializer_list<RecordPage*>{vehicles, terminals, groups}) {
        if (page->Table() == table) {
            page->CommandNotQueued();
        }
    }
    dialogs_.inform(this, kCommandNotQueued);
}

void TForm1::RefreshDataBase(client_udp*, const QString& name) {
    refreshes_->Report(name);
}

bool TForm1::ImportGoing() const {
    return importDialog_ != nullptr && importDialog_->Run() != nullptr && !importDialog_->Run()->Finished();
}

void TForm1::RefreshTable(const QString& name) {
    if (TBaseClient* table = Base.Find(name); table != nullptr && journal_) {
        journal_->TableChanged(*table);
    }
    if (name == u"gpeople") {
        RefreshMobile();
    } else if (name == u"gps") {
        RefreshGPS();
    } else if (name == u"groupgps") {
        RefreshGroupGPS();
    } else if (name == u"gpsug") {
        REfreshGPSUG();
    }
}

// The client clears a table's RefreshYes right after reporting it, before the posted rebuild runs
// here, so the report itself stands for the flag: only a table being added to or edited is skipped.
void TForm1::RefreshMobile() {
    terminals->Rebuild();
}

void TForm1::RefreshGPS() {
    ShowSortedPositions(vehicles->Table(), 0, [this](std::vector<int32_t> order) {
        groups->ShowVehicleOrder(order);
        vehicles->ShowOrder(std::move(order));
    });
}

void TForm1::RefreshGroupGPS() {
    groups->Rebuild();
}

void TForm1::REfreshGPSUG() {
    groups->REfreshGPSUG();
}

void TForm1::Timer1Timer() {
    const QDateTime now = CurrentDateTime();
    terminals->CheckPhotoTimeout(now);
    groups->CheckMemberTimeout(now);
    if (!clientU) {
        return;
    }
    QString message;
    if (!clientU->ReadJSON.GetSoobD(message)) {
        return;
    }
    const QString command = CommandOf(message);
    if (journal_ && (command == Cmd::NetYesAddDataDatabase || command == Cmd::NetErrorDataDatabase)) {
        journal_->Notice(message);
    }
    // A confirmation of an imported line is the import's, not the page's.
    if (importDialog_ != nullptr && importDialog_->TakeNotice(message)) {
        return;
    }
    if (command == Cmd::GetFileOk) {
        terminals->PhotoArrived(GetJSONValue(message, QStringLiteral("name")));
    } else if (command == Cmd::SendFileError) {
        terminals->PhotoNotSent(GetJSONValue(message, QStringLiteral("reason")));
    } else if (command == Cmd::SendFileNotFind) {
        terminals->PhotoMissing(GetJSONValue(message, QStringLiteral("nameinserv")));
    } else if (command == Cmd::NetYesAddDataDatabase) {
        bool ok = false;
        int32_t n_abs = GetJSONValue(message, QStringLiteral("n_abs")).toInt(&ok);
        if (!ok) {
            n_abs = -1;
        }
        const QString table = GetJSONValue(message, QStringLiteral("nametable"));
        if (table == u"gpeople") {
            terminals->AdditionConfirmed(n_abs);
        } else if (table == u"gps") {
            vehicles->AdditionConfirmed(n_abs);
        } else if (table == u"groupgps") {
            groups->AdditionConfirmed(n_abs);
        }
    }
}

void TForm1::MakeStatusLine() {
    LinkState = new QLabel(this);
    LinkState->setObjectName(QStringLiteral("link"));
    LoadState = new QLabel(this);
    LoadBar = new QProgressBar(this);
    LoadBar->setMaximumWidth(200);
    LoadBar->setTextVisible(true);
    WaitingState = new QLabel(this);
    statusBar()->addWidget(LinkState);
    statusBar()->addWidget(LoadState);
    statusBar()->addWidget(LoadBar);
    statusBar()->addPermanentWidget(WaitingState);
    LoadState->hide();
    LoadBar->hide();
    statusTimer_ = new QTimer(this);
    statusTimer_->setInterval(250);
    connect(statusTimer_, &QTimer::timeout, this, [this] { UpdateStatus(); });
    statusTimer_->start();
}

void TForm1::UpdateStatus() {
    if (!clientU) {
        return;
    }
    const SessionStatus s = StatusOf(*clientU, Base);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (s.connected) {
        linkLostAt_ = 0;
        LinkState->setText(QStringLiteral("Связь есть: %1").arg(s.server));
    } else {
        linkLostAt_ = linkLostAt_ == 0 ? now : linkLostAt_;
        const bool trying = s.connecting && now - linkLostAt_ <= 5000;
        LinkState->setText(
            (trying ? QStringLiteral("Соединение... %1") : QStringLiteral("Нет связи: %1")).arg(s.server));
    }
    const bool loading = !s.loadingTable.isEmpty();
    LoadState->setVisible(loading);
    LoadBar->setVisible(loading);
    if (loading) {
        LoadState->setText(QStringLiteral("Загрузка таблицы %1 (%2 из %3)")
                               .arg(s.loadingTable)
                               .arg(s.tablesLoaded + 1)
                               .arg(s.tablesTotal));
        LoadBar->setRange(0, int(std::max<int64_t>(s.loadSize / 1024, 1)));
        LoadBar->setValue(int(s.loadReceived / 1024));
        LoadBar->setFormat(QStringLiteral("%1 из %2 КБ").arg(s.loadReceived / 1024).arg(s.loadSize / 1024));
    }
    WaitingState->setText(QStringLiteral("Ожидают отправки: %1").arg(s.waitingCommands));
    if (journal_ && s.connected && s.waitingCommands == 0) {
        journal_->AllDelivered();
    }
}

RecordPage* TForm1::ActivePageWidget() const {
    return static_cast<RecordPage*>(Notebook1->currentWidget());
}

RecordGrid* TForm1::ActiveGrid() const {
    for (RecordGrid* grid : {groups->StringGrid4(), groups->StringGrid5()}) {
        if (grid->isVisible() && grid->hasFocus()) {
            return grid;
        }
    }
    return ActivePageWidget()->Grid();
}

void TForm1::ExportGrid(RecordGrid* grid) {
    TBaseClient* table = grid == terminals->StringGrid1() ? terminals->Table()
                         : grid == vehicles->StringGrid2() || grid == groups->StringGrid5()
                             ? vehicles->Table()
                         : grid == groups->StringGrid3() ? groups->Table()
                                                         : Base.Find(QStringLiteral("gpsug"));
    if (table == nullptr || !dialogs_.saveSheet) {
        return;
    }
    const QString path = dialogs_.saveSheet(this, table->NameTableS + QStringLiteral(".csv"));
    if (path.isEmpty()) {
        return;
    }
    if (const QString error = ExportRecords(*table, grid->Idx(), path); !error.isEmpty()) {
        dialogs_.inform(this, error);
    }
}

JournalWindow* TForm1::ShowJournal() {
    if (journalWindow_ == nullptr && journal_) {
        journalWindow_ = new JournalWindow(*journal_, this);
    }
    if (journalWindow_ != nullptr) {
        journalWindow_->Refilter();
        journalWindow_->show();
        journalWindow_->raise();
    }
    return journalWindow_;
}

void TForm1::MakeMenuAndKeys() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("Сервис"));
    menu->addAction(QStringLiteral("Экспорт строк таблицы…"), QKeySequence(QStringLiteral("Ctrl+E")), this,
                    [this] { ExportGrid(ActiveGrid()); });
    menu->addAction(QStringLiteral("Импорт из файла…"), QKeySequence(QStringLiteral("Ctrl+I")), this,
                    [this] { ImportIntoPage(); });
    menu->addAction(QStringLiteral("Журнал изменений"), QKeySequence(QStringLiteral("Ctrl+J")), this,
                    [this] { ShowJournal(); });
    auto key = [this](const char* sequence, std::function<void()> act) {
        auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(sequence)), this);
        connect(shortcut, &QShortcut::activated, this, std::move(act));
    };
    key("Ctrl+F", [this] {
        QLineEdit* own = ActivePageWidget()->Finder()->Field();
        QLineEdit* field =
            ActivePage() == u"group" && own->hasFocus() ? groups->VehicleFinder()->Field() : own;
        if (field->isEnabled()) {
            field->setFocus();
            field->selectAll();
        }
    });
    key("Ctrl+N", [this] {
        RecordPage* page = ActivePageWidget();
        if (!page->InEditMode() && page->FirstButton()->isEnabled()) {
            page->FirstButtonClick();
        }
    });
    key("Ctrl+S", [this] {
        RecordPage* page = ActivePageWidget();
        if (page->InEditMode() && page->FirstButton()->isEnabled()) {
            page->FirstButtonClick();
        }
    });
    key("F2", [this] {
        RecordPage* page = ActivePageWidget();
        if (!page->InEditMode() && page->SecondButton()->isEnabled()) {
            page->SecondButtonClick();
        }
    });
    key("Escape", [this] {
        RecordPage* page = ActivePageWidget();
        if (page->InEditMode() && page->SecondButton()->isEnabled()) {
            page->SecondButtonClick();
        }
    });
    key("Delete", [this] {
        if (groups->StringGrid4()->hasFocus() && groups->SpeedButton5->isEnabled()) {
            groups->SpeedButton5Click();
            return;
        }
        RecordPage* page = ActivePageWidget();
        if (page->Grid()->hasFocus() && !page->InEditMode() && page->ThirdButton()->isEnabled()) {
            page->ThirdButtonClick();
        }
    });
    const std::pair<const char*, QString> pages[] = {{"Ctrl+1", QStringLiteral("gps")},
                                                     {"Ctrl+2", QStringLiteral("Default")},
                                                     {"Ctrl+3", QStringLiteral("group")}};
    for (const auto& [sequence, page] : pages) {
        key(sequence, [this, page] {
            if (Panel1->isEnabled()) {
                ShowPage(page);
            }
        });
    }
    SpeedButton2->setToolTip(QStringLiteral("Транспортные средства (Ctrl+1)"));
    SpeedButton1->setToolTip(QStringLiteral("Мобильные терминалы (Ctrl+2)"));
    SpeedButton3->setToolTip(QStringLiteral("Группы (Ctrl+3)"));
}

ImportDialog* TForm1::ImportIntoPage() {
    RecordPage* page = ActivePageWidget();
    if (page->InEditMode() || importDialog_ != nullptr) {
        return nullptr;
    }
    if (page != vehicles && page != terminals) {
        dialogs_.inform(this, QStringLiteral("Импорт возможен на страницах «ТС» и «МТК»"));
        return nullptr;
    }
    const QString path = dialogs_.openSheet ? dialogs_.openSheet(this) : QString();
    if (path.isEmpty()) {
        return nullptr;
    }
    const SheetRead read = ReadSheetFile(path);
    if (!read.ok()) {
        dialogs_.inform(this, QStringLiteral("Файл не загружен: %1").arg(read.error));
        return nullptr;
    }
    const QString about =
        QStringLiteral("Файл %1%2")
            .arg(path, read.encoding.isEmpty() ? QString() : QStringLiteral(", кодировка ") + read.encoding);
    importDialog_ =
        new ImportDialog(*page->Table(), Base.Find(QStringLiteral("object")), read.sheet, about, this);
    importDialog_->setAttribute(Qt::WA_DeleteOnClose);
    importDialog_->pollNotices = [this] { Timer1Timer(); };
    connect(importDialog_, &QObject::destroyed, this, [this] { importDialog_ = nullptr; });
    importDialog_->setModal(true);
    importDialog_->show();
    return importDialog_;
}
