#include "groups_page.h"

#include <QCollator>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/detail_layout.h"
#include "app/find_bar.h"
#include "app/record_grid.h"
#include "app/record_order.h"
#include "app/table_access.h"
#include "app/vehicles_page.h"
#include "infra/bytes.h"
#include "infra/ticks.h"
#include "tables/base_client.h"

namespace {

const QString kStatusColumn = QStringLiteral("status");
const QString kNameColumn = QStringLiteral("name");
const QString kMemberNotConfirmed = QStringLiteral("Сервер не подтвердил добавление в группу");
constexpr int kMemberWaitSeconds = 10;

}  // namespace

GroupsPage::GroupsPage(QWidget* navigationBar, const Dialogs& dialogs, QWidget* parent)
    : RecordPage(navigationBar, dialogs, parent) {
    auto* grid3 = new RecordGrid(
        {{QStringLiteral("№"), 21}, {QStringLiteral("Наименование"), 230}},
        [this](int32_t position, int) { return TextAt(Table(), 7, position); }, RecordGrid::Origins::Standard,
        this);
    grid4_ = new RecordGrid(
        {{QStringLiteral("№"), 21},
         {QStringLiteral("Наименование"), 97},
         {QString(), 192},
         {QString(), 164},
         {QString(), 169}},
        [this](int32_t position, int column) { return column == 1 ? MemberName(position) : QString(); },
        RecordGrid::Origins::Standard, this);
    grid5_ = new RecordGrid(
        {{QStringLiteral("№"), 21},
         {QStringLiteral("Номер"), 102},
         {QStringLiteral("Наименование"), 204},
         {QStringLiteral("Гос. номер"), 160},
         {QStringLiteral("Владелец"), 155}},
        [this](int32_t position, int column) {
            return TextAt(gps_, VehicleGridColumnToTable(column), position);
        },
        RecordGrid::Origins::Standard, this);

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel13"));
    panel->setFixedHeight(54);
    auto* caption = new QLabel(QStringLiteral("Наименование"), panel);
    caption->move(16, 9);
    Edit30 = new QLineEdit(panel);
    Edit30->setGeometry(100, 6, 171, 19);
    Edit30->setMaxLength(16);
    CheckBox1 = new QCheckBox(QStringLiteral("Внутренние"), panel);
    CheckBox1->setLayoutDirection(Qt::RightToLeft);
    CheckBox1->move(16, 31);
    connect(Edit30, &QLineEdit::textChanged, this,
            [this](const QString& text) { WriteText(Table(), 7, text); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { WriteInternal(); });

    auto* left = new QWidget(this);
    left->setFixedWidth(280);
    StackGridPanelAndButtons(left, grid3, panel);

    auto* members = new QWidget(this);
    members->setFixedHeight(352);
    auto* membersLayout = new QVBoxLayout(members);
    membersLayout->setContentsMargins(0, 0, 0, 0);
    membersLayout->setSpacing(0);
    membersLayout->addSpacing(34);
    membersLayout->addWidget(grid4_, 1);
    auto* bar = new QWidget(members);
    bar->setFixedHeight(48);
    SpeedButton4 = new QPushButton(QStringLiteral("Добавить"), bar);
    SpeedButton4->setGeometry(6, 7, 91, 34);
    SpeedButton4->setFlat(true);
    SpeedButton5 = new QPushButton(QStringLiteral("Удалить"), bar);
    SpeedButton5->setGeometry(103, 7, 91, 34);
    SpeedButton5->setFlat(true);
    // The find of the vehicles list stands right above it, beside the member buttons.
    vehicleFinder_ = new FindBar(grid5_, bar);
    vehicleFinder_->setGeometry(200, 7, 480, 34);
    membersLayout->addWidget(bar);
    connect(SpeedButton4, &QPushButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(SpeedButton5, &QPushButton::clicked, this, [this] { SpeedButton5Click(); });

    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(4, 0, 0, 0);
    rightLayout->setSpacing(0);
    rightLayout->addWidget(members);
    rightLayout->addWidget(grid5_, 1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(left);
    layout->addWidget(right, 1);

    connect(grid4_, &RecordGrid::rowSelected, this, [this](int r) { StringGrid4SelectCell(r); });
    connect(grid5_, &RecordGrid::rowSelected, this, [this](int r) { StringGrid5SelectCell(r); });
    grid4_->SetRecordId([this](int32_t p) { return IntegerAt(gpsug_, 1, p); });
    grid5_->SetColumnTexts([this](const std::vector<int32_t>& positions, int column) {
        return TextsAt(gps_, VehicleGridColumnToTable(column), positions);
    });
    grid5_->SetRecordId([this](int32_t p) { return IntegerAt(gps_, 1, p); });
    connect(grid4_, &RecordGrid::shownChanged, this, [this] { StringGrid4SelectCell(grid4_->CurrentRow()); });
    connect(grid5_, &RecordGrid::shownChanged, this, [this] { StringGrid5SelectCell(grid5_->CurrentRow()); });
    SpeedButton4->setEnabled(false);
    SpeedButton5->setEnabled(false);
}

void GroupsPage::SetTables(TBaseClient* groupgps, TBaseClient* gpsug, TBaseClient* gps) {
    SetTable(groupgps);
    gpsug_ = gpsug;
    gps_ = gps;
}

QString GroupsPage::MemberName(int32_t memberPosition) {
    return TextOfRecord(gps_, kNameColumn, IntegerAt(gpsug_, 8, memberPosition));
}

void GroupsPage::Rebuild() {
    ShowSortedPositions(Table(), 0, [this](std::vector<int32_t> order) {
        if (ApplyOrder(std::move(order))) {
            SelectRow(Grid()->CurrentRow());
        }
    });
}

void GroupsPage::SelectRow(int r) {
    const std::vector<int32_t>& idx = Grid()->Idx();
    if (idx.empty() || r < 1 || size_t(r) > idx.size()) {
        Edit30->clear();
        return;
    }
    TBaseClient* table = Table();
    const int32_t p = idx[size_t(r - 1)];
    {
        auto guard = table->Guard();
        table->SetRecordIndex(p);
    }
    Edit30->setText(TextAt(table, 7, p));
    Tek_n_abs_gtoupgps = IntegerAt(table, 1, p);
    CheckBox1->setChecked(GetBit(uint8_t(CurrentInteger(table, kStatusColumn)), 1));
    REfreshGPSUG();
}

void GroupsPage::REfreshGPSUG() {
    if (gpsug_ == nullptr) {
        return;
    }
    if (pending_ && HasMember(pending_->group, pending_->vehicle)) {
        pending_.reset();
    }
    std::vector<std::pair<QString, int32_t>> members;
    {
        auto guard = gpsug_->Guard();
        for (int32_t p = 1; p <= gpsug_->CountRecordFilter; ++p) {
            if (IntegerAt(gpsug_, 7, p) == Tek_n_abs_gtoupgps) {
                members.emplace_back(MemberName(p), p);
            }
        }
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(members.begin(), members.end(), [&collator](const auto& a, const auto& b) {
        return collator.compare(a.first, b.first) < 0;
    });
    std::vector<int32_t> idx;
    for (const auto& m : members) {
        idx.push_back(m.second);
    }
    grid4_->SetIdx(std::move(idx));
    SpeedButton5->setEnabled(!grid4_->Idx().empty());
    StringGrid5SelectCell(grid5_->CurrentRow());
    grid4_->viewport()->update();
    StringGrid4SelectCell(grid4_->CurrentRow());
}

void GroupsPage::ShowVehicleOrder(std::vector<int32_t> order) {
    grid5_->SetIdx(std::move(order));
    grid5_->viewport()->update();
    // The row may now show another vehicle, so whether it may be added is decided again.
    StringGrid5SelectCell(grid5_->CurrentRow());
}

void GroupsPage::StringGrid4SelectCell(int r) {
    const std::vector<int32_t>& idx = grid4_->Idx();
    if (!idx.empty() && r >= 1 && size_t(r) <= idx.size()) {
        auto guard = gpsug_->Guard();
        gpsug_->SetRecordIndex(idx[size_t(r - 1)]);
    }
}

void GroupsPage::StringGrid5SelectCell(int r) {
    SpeedButton4->setEnabled(MonaUp(r));
}

bool GroupsPage::MonaUp(int down) {
    const std::vector<int32_t>& vehicles = grid5_->Idx();
    if (vehicles.empty() || down < 1 || size_t(down) > vehicles.size()) {
        return false;
    }
    // Without a group to join there is nothing to add to; a group being added is none yet, and the
    // row selected in the groups grid is another group.
    if (Grid()->Idx().empty() || Adding() || pending_) {
        return false;
    }
    const QString s = TextAt(gps_, 9, vehicles[size_t(down - 1)]);
    for (int32_t member : grid4_->Idx()) {
        if (MemberName(member) == s) {
            return false;
        }
    }
    return true;
}

void GroupsPage::SpeedButton4Click() {
    if (gpsug_ == nullptr || !MonaUp(grid5_->CurrentRow())) {
        return;
    }
    const int32_t group = IntegerAt(Table(), 1, Grid()->Idx()[size_t(Grid()->CurrentRow() - 1)]);
    const int32_t vehicle = IntegerAt(gps_, 1, grid5_->Idx()[size_t(grid5_->CurrentRow() - 1)]);
    gpsug_->Add();
    WriteInteger(gpsug_, QStringLiteral("n_absg"), group);
    WriteInteger(gpsug_, QStringLiteral("n_absu"), vehicle);
    WriteInteger(gpsug_, QStringLiteral("typeu"), 1);
    gpsug_->Post();
    pending_ = PendingMember{group, vehicle, CurrentDateTime().addSecs(kMemberWaitSeconds)};
    SpeedButton4->setEnabled(false);
}

bool GroupsPage::HasMember(int32_t group, int32_t vehicle) {
    auto guard = gpsug_->Guard();
    for (int32_t p = 1; p <= gpsug_->CountRecordFilter; ++p) {
        if (IntegerAt(gpsug_, 7, p) == group && IntegerAt(gpsug_, 8, p) == vehicle) {
            return true;
        }
    }
    return false;
}

// The button is back before the message is shown, which waits for the operator.
void GroupsPage::CheckMemberTimeout(const QDateTime& now) {
    if (!pending_ || now <= pending_->deadline) {
        return;
    }
    pending_.reset();
    StringGrid5SelectCell(grid5_->CurrentRow());
    dialogs_.inform(this, kMemberNotConfirmed);
}

void GroupsPage::SpeedButton5Click() {
    if (gpsug_ != nullptr && !grid4_->Idx().empty() && dialogs_.confirm(this, kDeleteQuestion)) {
        gpsug_->DeleteRecordCurrent();
    }
}

void GroupsPage::WriteInternal() {
    WriteFlagBits(Table(), kStatusColumn, {{1, CheckBox1->isChecked()}});
}

// The box keeps its state for the new group, and what it shows is what the group is saved with.
void GroupsPage::StartAdding() {
    Table()->Add();
    Edit30->clear();
    if (CheckBox1->isChecked()) {
        WriteInternal();
    }
    StringGrid5SelectCell(grid5_->CurrentRow());
}
