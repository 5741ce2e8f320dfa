#include "import_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "exchange/column_captions.h"
#include "tables/base_client.h"

namespace {

constexpr auto kLineTimeout = std::chrono::seconds(30);
const QColor kBadLine(0xFF, 0xD6, 0xD6);
const QColor kConfirmedLine(0xD6, 0xF5, 0xD6);

}  // namespace

ImportDialog::ImportDialog(TBaseClient& table, TBaseClient* objects, Sheet sheet, const QString& about,
                           QWidget* parent)
    : QDialog(parent), table_(table), objects_(objects), sheet_(std::move(sheet)) {
    setObjectName(QStringLiteral("import"));
    setWindowTitle(QStringLiteral("Импорт: %1").arg(RecordNoun(table.NameTableS)));
    resize(1000, 640);
    profile_ = ImportProfileOf(table.NameTableS).value_or(ImportProfile{table.NameTableS, {}, {}, false});

    mapping_ = new QTableWidget(int(sheet_.header.size()), 2, this);
    mapping_->setHorizontalHeaderLabels({QStringLiteral("Столбец файла"), QStringLiteral("Столбец таблицы")});
    mapping_->verticalHeader()->hide();
    mapping_->horizontalHeader()->setStretchLastSection(true);
    const QStringList mapped = MapColumns(table, sheet_.header);
    QStringList columns;
    {
        const auto guard = table.Guard();
        for (const auto& column : table.Fields) {
            if (!column->name.isEmpty() && FieldHasStorage(column->TypeField) &&
                !ServerKeptColumn(column->name)) {
                columns << column->name;
            }
        }
    }
    for (int r = 0; r < sheet_.header.size(); ++r) {
        mapping_->setItem(r, 0, new QTableWidgetItem(sheet_.header[r]));
        auto* choice = new QComboBox(mapping_);
        choice->addItem(QStringLiteral("— не загружать —"), QString());
        for (const QString& column : columns) {
            const QString caption = ColumnCaption(table.NameTableS, column);
            choice->addItem(caption == column ? column : QStringLiteral("%1 (%2)").arg(caption, column),
                            column);
        }
        choice->setCurrentIndex(std::max(0, choice->findData(mapped.value(r))));
        connect(choice, &QComboBox::currentIndexChanged, this, [this] { Check(); });
        mapping_->setCellWidget(r, 1, choice);
    }
    mapping_->setMaximumHeight(160);

    errorColumn_ = int(sheet_.header.size());
    preview_ = new QTableWidget(int(sheet_.lines.size()), errorColumn_ + 2, this);
    QStringList headers = {};
    for (const QString& h : sheet_.header) {
        headers << h;
    }
    headers << QStringLiteral("Ошибки") << QStringLiteral("Результат");
    preview_->setHorizontalHeaderLabels(headers);
    preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QStringList lineNumbers;
    for (size_t i = 0; i < sheet_.lines.size(); ++i) {
        const SheetLine& line = sheet_.lines[i];
        lineNumbers << QString::number(line.line);
        for (int c = 0; c < line.cells.size() && c < errorColumn_; ++c) {
            preview_->setItem(int(i), c, new QTableWidgetItem(line.cells[c]));
        }
    }
    preview_->setVerticalHeaderLabels(lineNumbers);

    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    progress_ = new QProgressBar(this);
    start_ = new QPushButton(QStringLiteral("Импортировать"), this);
    stop_ = new QPushButton(QStringLiteral("Остановить"), this);
    close_ = new QPushButton(QStringLiteral("Закрыть"), this);
    stop_->setEnabled(false);
    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });
    connect(close_, &QPushButton::clicked, this, [this] { reject(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(progress_, 1);
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(about, this));
    layout->addWidget(mapping_);
    layout->addWidget(preview_, 1);
    layout->addWidget(summary_);
    layout->addLayout(buttons);

    steps_.setInterval(1);
    connect(&steps_, &QTimer::timeout, this, [this] { Step(); });
    Check();
}

QStringList ImportDialog::CurrentMapping() const {
    QStringList mapping;
    for (int r = 0; r < mapping_->rowCount(); ++r) {
        mapping << static_cast<QComboBox*>(mapping_->cellWidget(r, 1))->currentData().toString();
    }
    return mapping;
}

void ImportDialog::Check() {
    const QStringList mapping = CurrentMapping();
    const QString mappingError = CheckMapping(profile_, mapping);
    lines_ = CheckLines(table_, objects_, profile_, sheet_, mapping);
    int valid = 0;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const bool ok = lines_[i].Valid();
        valid += ok ? 1 : 0;
        auto* errors = new QTableWidgetItem(lines_[i].errors.join(QStringLiteral("; ")));
        preview_->setItem(int(i), errorColumn_, errors);
        for (int c = 0; c <= errorColumn_; ++c) {
            if (QTableWidgetItem* item = preview_->item(int(i), c)) {
                item->setBackground(ok ? QBrush() : QBrush(kBadLine));
            }
        }
    }
    const int bad = int(lines_.size()) - valid;
    summary_->setText(mappingError.isEmpty() ? QStringLiteral("Строк: %1, к загрузке: %2, с ошибками: %3")
                                                   .arg(lines_.size())
                                                   .arg(valid)
                                                   .arg(bad)
                                             : mappingError);
    start_->setEnabled(mappingError.isEmpty() && valid > 0);
}

void ImportDialog::Start() {
    if (run_ || !start_->isEnabled()) {
        return;
    }
    run_ = std::make_unique<ImportRun>(table_, lines_, kLineTimeout);
    mapping_->setEnabled(false);
    start_->setEnabled(false);
    stop_->setEnabled(true);
    close_->setEnabled(false);
    progress_->setRange(0, int(run_->Results().size()));
    progress_->setValue(0);
    steps_.start();
}

void ImportDialog::Stop() {
    if (run_) {
        run_->Stop();
        stop_->setEnabled(false);
    }
}

bool ImportDialog::TakeNotice(const QString& notice) {
    return run_ && !run_->Finished() && run_->TakeNotice(notice);
}

void ImportDialog::Step() {
    if (pollNotices) {
        pollNotices();
    }
    const bool going = run_->Step(ImportRun::Clock::now());
    progress_->setValue(run_->Settled());
    if (!going) {
        steps_.stop();
        ShowResults();
    }
}

void ImportDialog::ShowResults() {
    std::vector<const ImportRun::Result*> byLine(lines_.size(), nullptr);
    size_t next = 0;
    for (const ImportRun::Result& r : run_->Results()) {
        while (next < lines_.size() && lines_[next].line != r.line) {
            ++next;
        }
        if (next < lines_.size()) {
            byLine[next] = &r;
        }
    }
    for (size_t i = 0; i < lines_.size(); ++i) {
        QString text = QStringLiteral("не загружена");
        if (const ImportRun::Result* r = byLine[i]) {
            text = ImportStateText(r->state);
            if (r->state == ImportRun::State::Confirmed) {
                text += QStringLiteral(", запись %1").arg(r->n_abs);
            } else if (!r->note.isEmpty()) {
                text += QStringLiteral(": ") + r->note;
            }
        }
        auto* item = new QTableWidgetItem(text);
        if (byLine[i] != nullptr && byLine[i]->state == ImportRun::State::Confirmed) {
            item->setBackground(kConfirmedLine);
        } else {
            item->setBackground(kBadLine);
        }
        preview_->setItem(int(i), errorColumn_ + 1, item);
    }
    QString summary =
        QStringLiteral("Подтверждено сервером: %1, отклонено: %2, не подтверждено: %3, не отправлено: %4")
            .arg(run_->Count(ImportRun::State::Confirmed))
            .arg(run_->Count(ImportRun::State::Refused))
            .arg(run_->Count(ImportRun::State::Unconfirmed))
            .arg(run_->Count(ImportRun::State::NotSent));
    if (run_->Count(ImportRun::State::Unconfirmed) > 0) {
        summary += QStringLiteral(
            ". Строка без ответа сервера остановила импорт: её команда сохранена и будет отправлена, "
            "когда связь восстановится.");
    }
    summary_->setText(summary);
    stop_->setEnabled(false);
    close_->setEnabled(true);
}

void ImportDialog::reject() {
    // While lines are on their way the dialog stays: "Остановить" ends the import first.
    if (run_ && !run_->Finished()) {
        return;
    }
    QDialog::reject();
}
