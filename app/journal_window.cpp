#include "journal_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "journal/change_journal.h"

namespace {

const QStringList kHeaders = {"Время", "Таблица", "Запись", "Действие", "Поля", "Состояние"};

QString FieldsText(const JournalEntry& e) {
    QStringList parts;
    for (const JournalField& f : e.fields) {
        parts << (e.action == JournalAction::Edit
                      ? QStringLiteral("%1: «%2» → «%3»").arg(f.column, f.before, f.after)
                  : e.action == JournalAction::Add ? QStringLiteral("%1: «%2»").arg(f.column, f.after)
                                                   : QStringLiteral("%1: «%2»").arg(f.column, f.before));
    }
    return parts.join(QStringLiteral("; "));
}

QString Cell(const JournalEntry& e, int column) {
    switch (column) {
        case 0:
            return e.when.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
        case 1:
            return e.table;
        case 2:
            return e.n_abs != 0 ? QString::number(e.n_abs) : QString();
        case 3:
            return JournalActionText(e.action);
        case 4:
            return FieldsText(e);
        case 5:
            return e.note.isEmpty() ? JournalStateText(e.state)
                                    : JournalStateText(e.state) + QStringLiteral(": ") + e.note;
        default:
            return {};
    }
}

}  // namespace

void JournalModel::Filter(const QString& table, const QString& text) {
    beginResetModel();
    rows_.clear();
    const auto& entries = journal_.Entries();
    for (size_t i = entries.size(); i-- > 0;) {
        const JournalEntry& e = entries[i];
        if (!table.isEmpty() && e.table != table) {
            continue;
        }
        bool found = text.isEmpty();
        for (int c = 0; c < kHeaders.size() && !found; ++c) {
            found = Cell(e, c).contains(text, Qt::CaseInsensitive);
        }
        if (found) {
            rows_.push_back(i);
        }
    }
    endResetModel();
}

int JournalModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int JournalModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(kHeaders.size());
}

QVariant JournalModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || size_t(index.row()) >= rows_.size()) {
        return {};
    }
    const size_t i = rows_[size_t(index.row())];
    return i < journal_.Entries().size() ? Cell(journal_.Entries()[i], index.column()) : QString();
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= kHeaders.size()) {
        return {};
    }
    return kHeaders[section];
}

JournalWindow::JournalWindow(const ChangeJournal& journal, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("journal"));
    setWindowTitle(QStringLiteral("Журнал изменений"));
    resize(1000, 500);
    table_ = new QComboBox(this);
    table_->addItem(QStringLiteral("Все таблицы"), QString());
    for (const char* name : {"gps", "gpeople", "groupgps", "gpsug"}) {
        table_->addItem(QString::fromLatin1(name), QString::fromLatin1(name));
    }
    text_ = new QLineEdit(this);
    text_->setPlaceholderText(QStringLiteral("Найти…"));
    text_->setClearButtonEnabled(true);
    model_ = new JournalModel(journal, this);
    view_ = new QTableView(this);
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->setWordWrap(false);
    for (int c : {0, 1, 2, 3}) {
        view_->setColumnWidth(c, c == 0 ? 140 : 90);
    }
    view_->setColumnWidth(4, 430);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("Таблица"), this));
    filters->addWidget(table_);
    filters->addWidget(new QLabel(QStringLiteral("Поиск"), this));
    filters->addWidget(text_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(view_, 1);

    dirty_.setSingleShot(true);
    dirty_.setInterval(200);
    connect(&dirty_, &QTimer::timeout, this, [this] { Refilter(); });
    connect(table_, &QComboBox::currentIndexChanged, this, [this] { Refilter(); });
    connect(text_, &QLineEdit::textChanged, this, [this] { Refilter(); });
    Refilter();
}

void JournalWindow::Refilter() {
    model_->Filter(table_->currentData().toString(), text_->text().trimmed());
}
