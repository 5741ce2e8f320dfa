#include "vehicles_page.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/detail_layout.h"
#include "app/record_grid.h"
#include "app/table_access.h"
#include "tables/base_client.h"

namespace {

constexpr int32_t kTypeColumn = 29;
constexpr int32_t kMapColourColumn = 30;
constexpr int32_t kCoordinatesColumn = 40;
const QString kImeiColumn = QStringLiteral("imei");

QColor SwatchColour(uint32_t stored) {
    return QColor(int(stored & 0xFF), int((stored >> 8) & 0xFF), int((stored >> 16) & 0xFF));
}

}  // namespace

int32_t VehicleGridColumnToTable(int column) {
    switch (column) {
        case 1:
            return 8;
        case 2:
            return 9;
        case 3:
            return 24;
        case 4:
            return 15;
        default:
            return 0;
    }
}

VehiclesPage::VehiclesPage(QWidget* navigationBar, const Dialogs& dialogs, QWidget* parent)
    : RecordPage(navigationBar, dialogs, parent) {
    auto* grid = new RecordGrid(
        {{QStringLiteral("№"), 21},
         {QStringLiteral("Номер"), 68},
         {QStringLiteral("Наименование"), 389},
         {QStringLiteral("Гос. номер"), 290},
         {QStringLiteral("Владелец"), 156}},
        [this](int32_t position, int column) {
            return TextAt(Table(), VehicleGridColumnToTable(column), position);
        },
        RecordGrid::Origins::Standard, this);
    grid->SetColumnTexts([this](const std::vector<int32_t>& positions, int column) {
        return TextsAt(Table(), VehicleGridColumnToTable(column), positions);
    });
    StackGridPanelAndButtons(this, grid, MakeDetailPanel());
}

QLineEdit* VehiclesPage::AddEdit(QWidget* panel, const QString& caption, QRect geometry, int32_t column,
                                 int maxLength) {
    auto* edit = new QLineEdit(panel);
    edit->setGeometry(geometry);
    if (maxLength > 0) {
        edit->setMaxLength(maxLength);
    }
    CaptionLeftOf(panel, caption, geometry);
    if (column > 0) {
        edits_.push_back({edit, column});
        connect(edit, &QLineEdit::textChanged, this,
                [this, column](const QString& text) { WriteText(Table(), column, text); });
    }
    return edit;
}

QWidget* VehiclesPage::MakeDetailPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel8"));
    panel->setFixedHeight(149);
    Edit19 = AddEdit(panel, QStringLiteral("Номер"), {63, 7, 67, 19}, 8, 16);
    Edit14 = AddEdit(panel, QStringLiteral("IMEI"), {169, 7, 159, 19}, 0, 16);
    connect(Edit14, &QLineEdit::textChanged, this, [this](const QString& text) {
        bool ok = false;
        const qlonglong value = text.toLongLong(&ok);
        WriteInt64IfChanged(Table(), kImeiColumn, ok ? value : 0);
    });
    Edit4 = AddEdit(panel, QStringLiteral("Номер SIM"), {397, 7, 90, 19}, 7, 10);
    Edit5 = AddEdit(panel, QStringLiteral("Гос. номер"), {575, 9, 90, 19}, 24);
    Edit13 = AddEdit(panel, QStringLiteral("Наименование"), {103, 33, 225, 19}, 9);
    ComboBox1 = new QComboBox(panel);
    ComboBox1->setGeometry(397, 32, 90, 21);
    ComboBox1->addItem(QStringLiteral("GT-20"));
    CaptionLeftOf(panel, QStringLiteral("Тип"), ComboBox1->geometry());
    // Only the operator's choice is written; the page setting the list from a record writes nothing.
    connect(ComboBox1, &QComboBox::activated, this,
            [this] { WriteInteger(Table(), kTypeColumn, ComboBox1->currentIndex()); });
    Edit18 = AddEdit(panel, QStringLiteral("Пароль"), {575, 32, 90, 19}, 14);
    Edit10 = AddEdit(panel, QStringLiteral("Владелец"), {103, 58, 225, 19}, 15);
    Edit7 = AddEdit(panel, QStringLiteral("Телефон ответственного"), {488, 57, 177, 19}, 17);
    Edit6 = AddEdit(panel, QStringLiteral("Ответственный"), {103, 82, 225, 19}, 16);
    Edit9 = AddEdit(panel, QStringLiteral("VIN"), {363, 82, 124, 19}, 19);
    Edit8 = AddEdit(panel, QStringLiteral("Модель"), {538, 82, 127, 19}, 18);
    Edit11 = AddEdit(panel, QStringLiteral("Цвет"), {103, 107, 177, 19}, 20);
    Panel10 = new QFrame(panel);
    Panel10->setGeometry(364, 105, 101, 21);
    Panel10->setFrameShape(QFrame::Box);
    Panel10->setAutoFillBackground(true);
    CaptionLeftOf(panel, QStringLiteral("Цвет на карте"), Panel10->geometry());
    PaintSwatch(0);
    BitBtn7 = new QPushButton(QStringLiteral(".."), panel);
    BitBtn7->setGeometry(470, 105, 17, 21);
    connect(BitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(); });
    Edit23 = AddEdit(panel, QStringLiteral("IMEI Велта"), {552, 107, 113, 19}, 31);
    Edit12 = AddEdit(panel, QStringLiteral("Примечание"), {103, 130, 562, 19}, 21);

    auto* box = new QGroupBox(QStringLiteral("Брать координаты"), panel);
    box->setGeometry(671, 6, 122, 70);
    auto* boxLayout = new QVBoxLayout(box);
    RadioGroup1 = new QButtonGroup(box);
    const QStringList sources = {QStringLiteral("Планшет"), QStringLiteral("Трекер")};
    for (int i = 0; i < sources.size(); ++i) {
        auto* radio = new QRadioButton(sources[i], box);
        boxLayout->addWidget(radio);
        RadioGroup1->addButton(radio, i);
    }
    connect(RadioGroup1, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) {
            WriteInteger(Table(), kCoordinatesColumn, id);
        }
    });
    SetCoordinateSource(0);
    return panel;
}

void VehiclesPage::PaintSwatch(uint32_t colour) {
    mapColour_ = colour;
    QPalette palette = Panel10->palette();
    palette.setColor(QPalette::Window, SwatchColour(colour));
    Panel10->setPalette(palette);
}

void VehiclesPage::SetCoordinateSource(int index) {
    if (QAbstractButton* button = RadioGroup1->button(index)) {
        button->setChecked(true);
        return;
    }
    // A value outside the list shows neither source.
    RadioGroup1->setExclusive(false);
    for (QAbstractButton* button : RadioGroup1->buttons()) {
        button->setChecked(false);
    }
    RadioGroup1->setExclusive(true);
}

void VehiclesPage::ClearEdits() {
    for (const TextEdit& e : edits_) {
        e.edit->clear();
    }
    Edit14->clear();
}

void VehiclesPage::SelectRow(int r) {
    const std::vector<int32_t>& idx = Grid()->Idx();
    if (idx.empty() || r < 1 || size_t(r) > idx.size()) {
        ClearEdits();
        PaintSwatch(0);
        ComboBox1->setCurrentIndex(-1);
        SetCoordinateSource(0);
        return;
    }
    TBaseClient* table = Table();
    const int32_t p = idx[size_t(r - 1)];
    {
        auto guard = table->Guard();
        table->SetRecordIndex(p);
    }
    for (const TextEdit& e : edits_) {
        e.edit->setText(TextAt(table, e.column, p));
    }
    Edit14->setText(TextAt(table, 23, p));
    PaintSwatch(uint32_t(IntegerAt(table, kMapColourColumn, p)));
    const int32_t type = IntegerAt(table, kTypeColumn, p);
    if (type <= ComboBox1->count()) {
        ComboBox1->setCurrentIndex(type >= 0 && type < ComboBox1->count() ? type : -1);
    }
    SetCoordinateSource(IntegerAt(table, kCoordinatesColumn, p));
}

void VehiclesPage::StartAdding() {
    Table()->Add();
    ClearEdits();
    PaintSwatch(0);
    ComboBox1->setCurrentIndex(-1);
    SetCoordinateSource(0);
}

void VehiclesPage::BitBtn7Click() {
    const QColor colour = dialogs_.pickColor(this, SwatchColour(mapColour_));
    if (!colour.isValid()) {
        return;
    }
    const uint32_t stored =
        uint32_t(colour.red()) | uint32_t(colour.green()) << 8 | uint32_t(colour.blue()) << 16;
    PaintSwatch(stored);
    WriteCardinal(Table(), kMapColourColumn, stored);
}

void VehiclesPage::Rebuild() {
    if (refreshGPS) {
        refreshGPS();
    }
}

void VehiclesPage::ShowOrder(std::vector<int32_t> order) {
    if (ApplyOrder(std::move(order))) {
        SelectRow(Grid()->CurrentRow());
    }
}

std::vector<std::pair<QString, QString>> VehiclesPage::UniqueValues() const {
    return {{QStringLiteral("imei"), Edit14->text()},
            {QStringLiteral("sim"), Edit4->text()},
            {QStringLiteral("gosnum"), Edit5->text()}};
}
