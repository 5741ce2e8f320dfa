#include "grid_view.h"

#include <QCollator>
#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <numeric>

namespace {

bool Number(const QString& text, double& value) {
    QString t = text.trimmed();
    if (t.isEmpty()) {
        return false;
    }
    t.remove(u' ').remove(QChar(0x00A0)).replace(u',', u'.');
    bool ok = false;
    value = t.toDouble(&ok);
    return ok;
}

// A date at the start of the text (days since 1899-12-30) and a number after it, if any.
bool LeadingDate(const QString& text, double& days, double& after) {
    static const QRegularExpression date(
        QStringLiteral("^\\s*(\\d{1,2})[./](\\d{1,2})[./](\\d{2,4})\\s*(.*)$"));
    const QRegularExpressionMatch m = date.match(text);
    if (!m.hasMatch()) {
        return false;
    }
    int year = m.captured(3).toInt();
    year += year < 100 ? 2000 : 0;
    const bool dayFirst = QLocale().dateFormat(QLocale::ShortFormat).indexOf(u'd') <
                          QLocale().dateFormat(QLocale::ShortFormat).indexOf(u'M');
    const int a = m.captured(1).toInt();
    const int b = m.captured(2).toInt();
    const QDate d(year, dayFirst ? b : a, dayFirst ? a : b);
    if (!d.isValid()) {
        return false;
    }
    days = double(QDate(1899, 12, 30).daysTo(d));
    if (!Number(m.captured(4), after)) {
        after = 0;
    }
    return true;
}

}  // namespace

QString FoldForFind(const QString& text) {
    QString folded = text.toCaseFolded();
    folded.replace(QChar(0x0451), QChar(0x0435));
    return folded;
}

void GridView::SetBase(std::vector<int32_t> base) {
    base_ = std::move(base);
    keysColumn_ = -1;
    keys_.clear();
    texts_.clear();
    findTexts_.clear();
    sortedColumn_ = -1;
    sorted_.clear();
    foundValid_ = false;
}

void GridView::PressHeader(int column) {
    descending_ = column == pressed_ ? !descending_ : false;
    pressed_ = column;
    const bool pages = std::find(pageSorted_.begin(), pageSorted_.end(), column) != pageSorted_.end();
    ownSort_ = pages || column < 1 || column >= columns_ ? 0 : column;
    foundValid_ = false;
}

void GridView::SetFind(const QString& text) {
    find_ = text;
    words_ = FoldForFind(text).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

std::vector<QString> GridView::Texts(int column) const {
    if (columnTexts_) {
        return columnTexts_(base_, column);
    }
    std::vector<QString> texts(base_.size());
    for (size_t i = 0; i < base_.size(); ++i) {
        texts[i] = text_(base_[i], column);
    }
    return texts;
}

void GridView::ReadKeys(int column) {
    if (keysColumn_ == column) {
        return;
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    keys_.assign(base_.size(), Key());
    texts_.clear();
    const std::vector<QString> all = Texts(column);
    for (size_t i = 0; i < base_.size(); ++i) {
        const QString& text = all[i];
        Key& k = keys_[i];
        if (Number(text, k.first)) {
            k.rank = 0;
        } else if (LeadingDate(text, k.first, k.second)) {
            k.rank = 1;
        } else {
            k.rank = 2;
            k.text = int(texts_.size());
            texts_.push_back(collator.sortKey(text));
        }
    }
    keysColumn_ = column;
}

void GridView::ReadFindTexts() {
    if (findTexts_.size() == base_.size()) {
        return;
    }
    findTexts_.assign(base_.size(), QString());
    for (int c = 1; c < columns_; ++c) {
        const std::vector<QString> column = Texts(c);
        for (size_t i = 0; i < base_.size(); ++i) {
            findTexts_[i] += column[i];
            findTexts_[i] += u'\n';
        }
    }
    for (QString& row : findTexts_) {
        row = FoldForFind(row);
    }
}

bool GridView::Narrower() const {
    if (!foundValid_ || foundWords_.isEmpty() || words_.size() < foundWords_.size()) {
        return false;
    }
    // A row holding each new word holds each old word it contains.
    for (qsizetype i = 0; i < foundWords_.size(); ++i) {
        if (!words_[i].contains(foundWords_[i])) {
            return false;
        }
    }
    return true;
}

std::vector<size_t> GridView::Ordered() {
    std::vector<size_t> order(base_.size());
    std::iota(order.begin(), order.end(), size_t(0));
    if (ownSort_ > 0) {
        if (sortedColumn_ != ownSort_) {
            ReadKeys(ownSort_);
            sorted_ = order;
            std::stable_sort(sorted_.begin(), sorted_.end(), [this](size_t a, size_t b) {
                const Key& x = keys_[a];
                const Key& y = keys_[b];
                if (x.rank != y.rank) {
                    return x.rank < y.rank;
                }
                if (x.rank == 2) {
                    return texts_[size_t(x.text)].compare(texts_[size_t(y.text)]) < 0;
                }
                return x.first != y.first ? x.first < y.first : x.second < y.second;
            });
            sortedColumn_ = ownSort_;
        }
        order = sorted_;
    }
    if (descending_) {
        std::reverse(order.begin(), order.end());
    }
    return order;
}

std::vector<int32_t> GridView::Shown() {
    std::vector<size_t> order = Narrower() ? found_ : Ordered();
    if (!words_.isEmpty()) {
        ReadFindTexts();
        std::vector<QStringMatcher> matchers;
        for (const QString& w : words_) {
            matchers.emplace_back(w, Qt::CaseSensitive);
        }
        std::erase_if(order, [&](size_t i) {
            return !std::all_of(matchers.begin(), matchers.end(),
                                [&](const QStringMatcher& m) { return m.indexIn(findTexts_[i]) >= 0; });
        });
    }
    foundWords_ = words_;
    foundValid_ = true;
    std::vector<int32_t> shown;
    shown.reserve(order.size());
    for (const size_t i : order) {
        shown.push_back(base_[i]);
    }
    found_ = std::move(order);
    return shown;
}
