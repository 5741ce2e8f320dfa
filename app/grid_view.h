// The operator's own view of a grid on top of the order its page gives: a sort by any column (a
// second press on the same header reverses it) and a filter by the texts the grid shows (every
// typed word must be found in some cell of the row, without regard to letter case, "ё" found by
// "е"). Columns the page sorts itself (the header press is the page's) only get reversed here.
//
// Numbers sort as numbers and dates as dates (a cell that starts with a date, such as a
// registration date followed by a count), other texts in the user's locale without regard to
// letter case, with the digits in them as numbers. The texts of the rows are read once per page
// order and kept until the next one, so that each keystroke and each sort only walks memory.
//
// Thread-safety: UI thread only.
#pragma once

#include <QCollatorSortKey>
#include <QString>
#include <QStringList>
#include <QStringMatcher>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// A text as the find compares it: case-folded, "ё" as "е".
QString FoldForFind(const QString& text);

class GridView {
  public:
    using CellText = std::function<QString(int32_t position, int column)>;
    // The texts of a column at many positions at once, where the page can read them faster than
    // cell by cell.
    using ColumnTexts =
        std::function<std::vector<QString>(const std::vector<int32_t>& positions, int column)>;

    GridView(CellText text, int columns) : text_(std::move(text)), columns_(columns) {}

    void SetColumnTexts(ColumnTexts texts) { columnTexts_ = std::move(texts); }
    // The page's order (record positions); forgets what was read of the rows before.
    void SetBase(std::vector<int32_t> base);
    const std::vector<int32_t>& Base() const { return base_; }

    // The columns whose header press the page answers with its own order (by default none but 0,
    // the row number, which stands for the page's order).
    void SetPageSorted(std::vector<int> columns) { pageSorted_ = std::move(columns); }
    void PressHeader(int column);
    // The column the operator sorted by last, -1 before any press.
    int Pressed() const { return pressed_; }
    bool Descending() const { return descending_; }

    void SetFind(const QString& text);
    // Reads the rows' texts for the find ahead of the first keystroke.
    void PrepareFind() { ReadFindTexts(); }
    const QString& Find() const { return find_; }

    // Whether the shown rows may differ from the page's order.
    bool Active() const { return !words_.isEmpty() || descending_ || ownSort_ > 0; }
    std::vector<int32_t> Shown();

  private:
    struct Key {
        int rank = 0;  // 0 number, 1 date, 2 text
        double first = 0;
        double second = 0;
        int text = -1;  // index into texts_
    };
    void ReadKeys(int column);
    void ReadFindTexts();
    // Whether the find only adds to the words of the last one, so its rows are among the last found.
    bool Narrower() const;
    // Indices into base_ in the order shown before any find.
    std::vector<size_t> Ordered();

    std::vector<QString> Texts(int column) const;

    CellText text_;
    ColumnTexts columnTexts_;
    int columns_;
    std::vector<int32_t> base_;
    std::vector<int> pageSorted_ = {0};
    int pressed_ = -1;
    int ownSort_ = 0;  // the column sorted here, 0 for the page's order
    bool descending_ = false;
    QString find_;
    QStringList words_;
    int keysColumn_ = -1;
    std::vector<Key> keys_;
    std::vector<QCollatorSortKey> texts_;
    std::vector<QString> findTexts_;
    // The order of the base by ownSort_ (indices into base_), kept so that a reversal only reverses.
    int sortedColumn_ = -1;
    std::vector<size_t> sorted_;
    // The rows (indices into base_) the last find showed, and its words: a find that only adds to
    // them looks among those rows alone.
    std::vector<size_t> found_;
    QStringList foundWords_;
    bool foundValid_ = false;
};
