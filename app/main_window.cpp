#include "main_window.h"

#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>

#include "app/groups_page.h"
#include "app/login_window.h"
#include "app/record_grid.h"
#include "app/record_order.h"
#include "app/tahoma.h"
#include "app/terminals_page.h"
#include "app/vehicles_page.h"
#include "infra/json_text.h"
#include "infra/ticks.h"
#include "session/application_id.h"
#include "session/client_udp.h"
#include "session/settings.h"

namespace {

const QString kPageTerminals = QStringLiteral("Default");
const QString kPageVehicles = QStringLiteral("gps");
const QString kPageGroups = QStringLiteral("group");

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

    Timer1 = new QTimer(this);
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

TForm1::~TForm1() {
    if (clientU) {
        clientU->Terminate();
        clientU->WaitFor();
        clientU.reset();
    }
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
    AttachClient(client_udp::Create(kApplicationId, host, port));
    ShowPage(kPageVehicles);
    return ConnectAndLoad(*clientU, dir);
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
}

void TForm1::WirePages() {
    terminals->SetTables(Base.At(numbers.NumberGPeople), Base.At(numbers.NumberObject));
    vehicles->SetTable(Base.At(numbers.NumberGPS));
    groups->SetTables(Base.At(numbers.NumberGroupGPS), Base.At(numbers.Numbergpsug),
                      Base.At(numbers.NumberGPS));
}

void TForm1::AttachClient(std::unique_ptr<client_udp> client) {
    clientU = std::move(client);
    clientU->SetBases(&Base);
    clientU->SetOnRefreshDatabase(
        [this](client_udp* sender, const QString& name) { RefreshDataBase(sender, name); });
}

void TForm1::RefreshDataBase(client_udp*, const QString& name) {
    QMetaObject::invokeMethod(
        this, [this, name] { RefreshTable(name); }, Qt::QueuedConnection);
}

void TForm1::RefreshTable(const QString& name) {
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
    const QString command = GetJSONValue(message, QStringLiteral("$c$"));
    if (command == u"getfileok") {
        terminals->PhotoArrived(GetJSONValue(message, QStringLiteral("name")));
    } else if (command == u"sendfilenotfind") {
        terminals->PhotoMissing(GetJSONValue(message, QStringLiteral("nameinserv")));
    } else if (command == u"netyesadddatadatabase") {
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
