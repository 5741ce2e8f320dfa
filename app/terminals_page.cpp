#include "terminals_page.h"

#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLocale>
#include <QUuid>

#include "app/detail_layout.h"
#include "app/record_grid.h"
#include "app/record_order.h"
#include "app/table_access.h"
#include "infra/bytes.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "infra/ticks.h"
#include "session/client_udp.h"
#include "tables/base_client.h"

namespace {

const QString kRez = QStringLiteral("rez");
const QString kStatus = QStringLiteral("status");
const QString kNotSaved = QStringLiteral("Не введен объект в стационарном режиме");
const QString kPhotoMissing = QStringLiteral("Фото нет на сервере");
const QString kPhotoNotReceived = QStringLiteral("Фото не получено");
const QString kPhotoNotRequested = QStringLiteral("Фото не запрошено: очередь отправки заполнена");
const QString kPhotoNotSent = QStringLiteral("Фото не отправлено: %1");
constexpr int kPhotoWaitSeconds = 10;

QImage ReadPicture(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read();
}

}  // namespace

QString NewGUIDStr() {
    const QUuid id = QUuid::createUuid();
    return id.isNull() ? QString() : id.toString(QUuid::WithoutBraces).toUpper();
}

TerminalsPage::TerminalsPage(QWidget* navigationBar, const Dialogs& dialogs, QWidget* parent)
    : RecordPage(navigationBar, dialogs, parent) {
    auto* grid = new RecordGrid(
        {{QStringLiteral("№"), 21},
         {QStringLiteral("ФИО"), 281},
         {QStringLiteral("Телефон"), 108},
         {QStringLiteral("Адрес"), 244},
         {QStringLiteral("Регистрация"), 111}},
        [this](int32_t position, int column) -> QString {
            switch (column) {
                case 1:
                    return TextAt(Table(), QStringLiteral("fio"), position);
                case 2:
                    return TextAt(Table(), QStringLiteral("tel"), position);
                case 3:
                    return TextAt(Table(), QStringLiteral("address"), position);
                case 4:
                    return RegistrationText(position);
                default:
                    return {};
            }
        },
        RecordGrid::Origins::Terminals, this);
    StackGridPanelAndButtons(this, grid, MakeDetailPanel());
    // The page orders the rows by its sort field itself; the registration column, which has no order
    // of its own, is sorted by the grid (dates as dates), and a second press reverses either.
    grid->SetPageSorts({-1, 0, 1, 2, 3});
    connect(grid, &RecordGrid::headerPressed, this, [this](int column) { SortByColumn(column); });

    PopupMenu1 = new QMenu(this);
    N1 = PopupMenu1->addAction(QStringLiteral("Сброс запросов"));
    PopupMenu1->addSeparator();
    N3 = PopupMenu1->addAction(QStringLiteral("Сброс регистрации"));
    connect(N1, &QAction::triggered, this, [this] { N1Click(); });
    connect(N3, &QAction::triggered, this, [this] { N3Click(); });
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& at) {
        PopupMenu1Popup();
        PopupMenu1->popup(grid->viewport()->mapToGlobal(at));
    });
}

QWidget* TerminalsPage::MakeDetailPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel5"));
    panel->setFixedHeight(174);
    auto edit = [this, panel](const QString& caption, QRect geometry, const QString& column) {
        auto* e = new QLineEdit(panel);
        e->setGeometry(geometry);
        CaptionLeftOf(panel, caption, geometry);
        if (!column.isEmpty()) {
            connect(e, &QLineEdit::textChanged, this,
                    [this, column](const QString& text) { WriteText(Table(), column, text); });
        }
        return e;
    };
    Edit1 = edit(QStringLiteral("ФИО"), {58, 21, 423, 19}, QStringLiteral("fio"));
    Edit2 = edit(QStringLiteral("Адрес"), {58, 47, 423, 19}, QStringLiteral("address"));
    Edit3 = edit(QStringLiteral("Телефон"), {58, 72, 148, 19}, QStringLiteral("tel"));
    Edit15 = edit(QStringLiteral("Номер объекта"), {199, 97, 58, 19}, QString());
    connect(Edit15, &QLineEdit::textChanged, this, [this](const QString& text) {
        WriteText(Table(), QStringLiteral("number"), text);
        bool ok = false;
        const int32_t number = text.toInt(&ok);
        Edit16->setText(GetNameObj(ok ? number : -1));
    });
    Edit16 = new QLineEdit(panel);
    Edit16->setGeometry(263, 97, 218, 19);
    Edit16->setReadOnly(true);

    auto box = [this, panel](const QString& caption, QPoint at) {
        auto* c = new QCheckBox(caption, panel);
        c->setLayoutDirection(Qt::RightToLeft);
        c->setGeometry(at.x(), at.y(), 97, 17);
        connect(c, &QCheckBox::toggled, this, [this] { WriteRez(); });
        return c;
    };
    CheckBox2 = box(QStringLiteral("Стационарная"), {8, 97});
    CheckBox3 = box(QStringLiteral("Патруль"), {8, 120});
    CheckBox4 = box(QStringLiteral("Заблокировать"), {384, 122});

    auto* frame = new QGroupBox(QStringLiteral("Фотография"), panel);
    frame->setGeometry(492, 5, 118, 134);
    Image1 = new QLabel(panel);
    Image1->setGeometry(496, 23, 110, 113);
    Image1->setScaledContents(true);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setWordWrap(true);
    Label4 = new QLabel(QStringLiteral("Загрузка..."), panel);
    Label4->move(524, 72);
    Label4->hide();
    BitBtn8 = new QPushButton(QStringLiteral("Загрузить"), panel);
    BitBtn8->setGeometry(492, 145, 118, 26);
    connect(BitBtn8, &QPushButton::clicked, this, [this] { BitBtn8Click(); });
    // Tab goes through the panel as it reads, row by row.
    QWidget* const order[] = {Edit1, Edit2, Edit3, CheckBox2, Edit15, Edit16, CheckBox3, CheckBox4, BitBtn8};
    for (size_t k = 1; k < std::size(order); ++k) {
        QWidget::setTabOrder(order[k - 1], order[k]);
    }
    return panel;
}

QString TerminalsPage::RegistrationText(int32_t position) {
    TBaseClient* table = Table();
    if (GetBit(uint8_t(IntegerAt(table, kStatus, position)), 1)) {
        return QStringLiteral("Зарегистрирован");
    }
    const int32_t day = IntegerAt(table, QStringLiteral("smsdate"), position);
    if (day == 0) {
        return QStringLiteral("Не запрашивал");
    }
    const QDate date = QDate(1899, 12, 30).addDays(day);
    return QLocale().toString(date, QLocale::ShortFormat) + u' ' +
           QString::number(IntegerAt(table, QStringLiteral("smssend"), position));
}

void TerminalsPage::Rebuild() {
    ShowSortedPositions(Table(), SG1Sort, [this](std::vector<int32_t> order) {
        if (!ApplyOrder(std::move(order))) {
            return;
        }
        Grid()->Model().SetSortField(SG1Sort);
        Grid()->horizontalHeader()->viewport()->update();
        // The highlighted row may now show another terminal: the detail panel follows it, as on the
        // other pages, so that it and the pop-up menu never act on a record the operator does not see.
        SelectRow(Grid()->CurrentRow());
    });
}

void TerminalsPage::SortByColumn(int column) {
    SG1Sort = column;
    if (Table() != nullptr) {
        Table()->RefreshYes = true;
    }
    Rebuild();
}

void TerminalsPage::SelectRow(int r) {
    const std::vector<int32_t>& idx = Grid()->Idx();
    if (idx.empty() || r < 1 || size_t(r) > idx.size()) {
        Edit1->clear();
        Edit2->clear();
        Edit3->clear();
        Edit15->clear();
        ClearPhoto();
        return;
    }
    TBaseClient* table = Table();
    const int32_t p = idx[size_t(r - 1)];
    {
        auto guard = table->Guard();
        table->SetRecordIndex(p);
    }
    Edit1->setText(TextAt(table, QStringLiteral("fio"), p));
    Edit2->setText(TextAt(table, QStringLiteral("address"), p));
    Edit3->setText(TextAt(table, QStringLiteral("tel"), p));
    Edit15->setText(TextAt(table, QStringLiteral("number"), p));
    const auto rez = uint8_t(IntegerAt(table, kRez, p));
    CheckBox2->setChecked(GetBit(rez, 1));
    CheckBox3->setChecked(GetBit(rez, 2));
    CheckBox4->setChecked(GetBit(rez, 3));
    const QString foto = TextAt(table, QStringLiteral("foto"), p);
    if (foto.isEmpty()) {
        ClearPhoto();
    } else if (foto != Image1NameF) {
        Image1->clear();
        RequestPhoto(foto);
    }
}

void TerminalsPage::RequestPhoto(const QString& foto) {
    const QString name = NewGUIDStr() + QStringLiteral(".jpg");
    if (client_udp* c = client ? client() : nullptr;
        c != nullptr && !c->Soob.PutSoob(GetFileRequest(foto).Name(name).Text())) {
        // Asked for again at the next selection, like a photo that did not come.
        Image1NameF = foto;
        EndPhotoFetch(kPhotoNotRequested);
        return;
    }
    Label4->show();
    Image1Name = name;
    Image1NameF = foto;
    Image1NameFT = CurrentDateTime().addSecs(kPhotoWaitSeconds);
}

// Only a fetch under way times out; a photo that has come stays for as long as its row's foto is the
// same.
void TerminalsPage::CheckPhotoTimeout(const QDateTime& now) {
    if (!Image1Name.isEmpty() && now > Image1NameFT) {
        EndPhotoFetch(kPhotoNotReceived);
    }
}

void TerminalsPage::PhotoMissing(const QString& nameInServ) {
    if (!Image1Name.isEmpty() && (nameInServ.isEmpty() || nameInServ == Image1NameF)) {
        EndPhotoFetch(kPhotoMissing);
    }
}

void TerminalsPage::PhotoNotSent(const QString& reason) {
    const QString why = reason == u"refused"      ? QStringLiteral("сервер его не принял")
                        : reason == u"unreadable" ? QStringLiteral("файл не читается")
                                                  : QStringLiteral("слишком длинный путь к файлу");
    dialogs_.inform(this, kPhotoNotSent.arg(why));
}

// Image1NameF stays, so that the rebuilds of the table leave the box as it is until the row is
// selected again.
void TerminalsPage::EndPhotoFetch(const QString& text) {
    Image1Name.clear();
    Label4->hide();
    Image1->setText(text);
}

void TerminalsPage::ClearPhoto() {
    EndPhotoFetch(QString());
    Image1NameF.clear();
}

void TerminalsPage::PhotoArrived(const QString& name) {
    if (name.isEmpty() || name != Image1Name) {
        return;
    }
    Label4->hide();
    const QString path = kTempDir + u'/' + name;
    // A file that is no picture leaves the box empty; it is not kept either way.
    Image1->setPixmap(QPixmap::fromImage(ReadPicture(path)));
    Image1->repaint();
    QFile::remove(path);
    Image1Name.clear();
}

QString TerminalsPage::GetNameObj(int32_t number) {
    if (object_ == nullptr) {
        return {};
    }
    auto guard = object_->Guard();
    for (int32_t p = 1; p <= object_->CountRecordFilter; ++p) {
        if (IntegerAt(object_, 7, p) == number) {
            return TextAt(object_, 8, p);
        }
    }
    return {};
}

// All three boxes are written at each change, so the record gets exactly what they show.
void TerminalsPage::WriteRez() {
    WriteFlagBits(Table(), kRez,
                  {{1, CheckBox2->isChecked()}, {2, CheckBox3->isChecked()}, {3, CheckBox4->isChecked()}});
}

void TerminalsPage::StartAdding() {
    Edit1->clear();
    Edit2->clear();
    Edit3->clear();
    Edit15->clear();
    Edit16->clear();
    CheckBox2->setChecked(false);
    CheckBox3->setChecked(false);
    CheckBox4->setChecked(false);
    Table()->Add();
}

bool TerminalsPage::ReadyToSave() {
    if (CheckBox2->isChecked() && (Edit16->text().isEmpty() || Edit15->text() == QStringLiteral("0"))) {
        dialogs_.inform(this, kNotSaved);
        return false;
    }
    return true;
}

// The picked photo is shown at once and sent with the record; the box then counts as showing the new
// foto, so the record's update does not fetch back what was just sent.
void TerminalsPage::BitBtn8Click() {
    if (!InAddOrEdit(Table())) {
        return;
    }
    const QString path = dialogs_.openPicture(this);
    if (path.isEmpty()) {
        return;
    }
    const QString suffix = QFileInfo(path).suffix();
    const QString nameInServ = kPhotoFolder + NewGUIDStr() + (suffix.isEmpty() ? QString() : u'.' + suffix);
    if (!picked_) {
        picked_ = PickedPhoto{
            {}, {}, Image1->pixmap(), Image1->text(), Image1Name.isEmpty() ? Image1NameF : QString()};
    }
    picked_->path = path;
    picked_->nameInServ = nameInServ;
    Image1Name.clear();
    Label4->hide();
    Image1->setPixmap(QPixmap::fromImage(ReadPicture(path)));
    Image1NameF = nameInServ;
    WriteText(Table(), QStringLiteral("foto"), nameInServ);
}

void TerminalsPage::SendWithRecord() {
    if (!picked_) {
        return;
    }
    if (client_udp* c = client ? client() : nullptr;
        c != nullptr && !c->SoobFile.PutSoob(PutFileText(picked_->nameInServ, picked_->path))) {
        dialogs_.inform(this, kPhotoNotSent.arg(QStringLiteral("очередь файлов заполнена")));
    }
    picked_.reset();
}

void TerminalsPage::UndoShown() {
    if (!picked_) {
        return;
    }
    if (picked_->pixmapBefore.isNull()) {
        Image1->setText(picked_->textBefore);
    } else {
        Image1->setPixmap(picked_->pixmapBefore);
    }
    Image1NameF = picked_->fotoBefore;
    picked_.reset();
}

void TerminalsPage::PopupMenu1Popup() {
    if (Grid()->Idx().empty()) {
        N1->setEnabled(false);
        N3->setEnabled(false);
        return;
    }
    const bool registered = GetBit(uint8_t(CurrentInteger(Table(), kStatus)), 1);
    N1->setEnabled(!registered);
    N3->setEnabled(registered);
}

void TerminalsPage::N1Click() {
    TBaseClient* table = Table();
    if (table == nullptr || Grid()->Idx().empty()) {
        return;
    }
    table->Edit();
    WriteInteger(table, QStringLiteral("smssend"), 0);
    table->Post();
}

void TerminalsPage::N3Click() {
    TBaseClient* table = Table();
    if (table == nullptr || Grid()->Idx().empty()) {
        return;
    }
    auto status = uint8_t(CurrentInteger(table, kStatus));
    SetBit(status, 1, 0);
    table->Edit();
    WriteInteger(table, kStatus, status);
    table->Post();
}

std::vector<std::pair<QString, QString>> TerminalsPage::UniqueValues() const {
    return {{QStringLiteral("tel"), Edit3->text()}};
}
