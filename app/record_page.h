// RecordPage: what the three record pages share. A page is in browse mode or in edit mode (adding or
// editing a record); the mode is carried by the captions of its first two buttons ("Новый" /
// "Редактировать" in browse mode, "Сохранить" / "Отменить" in edit mode). While a page is in edit
// mode its detail panel is enabled and its grid and the navigation bar are disabled, so the operator
// cannot leave the page until it returns to browse mode.
//
// "Сохранить" sends the record and leaves the page waiting for the server, its detail panel and
// "Сохранить" disabled (what is typed then could no longer be sent): an addition until the server
// confirms it, an edit until the server confirms it or the record's update arrives, whichever comes
// first, since a server need not confirm edits. "Отменить" ends the wait.
//
// A page reaches its table only once the tables are registered (SetTable). The page's grid rebuild
// skips a table that is being added to or edited; the table is reported again when it leaves that
// mode.
//
// Thread-safety: UI thread only.
#pragma once

#include <QPushButton>
#include <QWidget>
#include <cstdint>
#include <utility>
#include <vector>

#include "app/dialogs.h"

class FindBar;
class RecordGrid;
class TBaseClient;

inline const QString kNewCaption = QStringLiteral("Новый");
inline const QString kEditCaption = QStringLiteral("Редактировать");
inline const QString kSaveCaption = QStringLiteral("Сохранить");
inline const QString kCancelCaption = QStringLiteral("Отменить");
inline const QString kDeleteCaption = QStringLiteral("Удалить");
inline const QString kDeleteQuestion = QStringLiteral("Вы действительно хотите удалить эту запись?");

class RecordPage : public QWidget {
  public:
    RecordPage(QWidget* navigationBar, const Dialogs& dialogs, QWidget* parent);

    void SetTable(TBaseClient* table) { table_ = table; }
    TBaseClient* Table() const { return table_; }

    QPushButton* FirstButton() const { return first_; }
    QPushButton* SecondButton() const { return second_; }
    QPushButton* ThirdButton() const { return third_; }
    QWidget* DetailPanel() const { return detail_; }
    RecordGrid* Grid() const { return grid_; }
    FindBar* Finder() const { return finder_; }

    // Identifier of a record the next rebuild selects, -1 for none.
    int32_t RememberedId = -1;

    bool InEditMode() const;
    // Whether the page is adding a record (until the addition is confirmed or cancelled).
    bool Adding() const { return adding_; }

    // Edit (true) or browse (false) captions and states of a page's three buttons.
    static void SetButton(QPushButton* b1, QPushButton* b2, QPushButton* b3, bool Yes);

    void FirstButtonClick();
    void SecondButtonClick();
    void ThirdButtonClick();
    // The server stored the page's addition or change: back to browse mode, selecting that record.
    // A confirmation that comes while the operator is adding or editing again belongs to an earlier
    // save and leaves the edit under way alone.
    void AdditionConfirmed(int32_t n_abs);
    // The session's queue refused the command the page posted: no answer will come, so the page
    // stops waiting for one.
    void CommandNotQueued();

    // The page's grid rebuild.
    virtual void Rebuild() = 0;
    // The row-selection handler of the page's grid.
    virtual void SelectRow(int r) = 0;

  protected:
    // Lays out the page's grid, its detail panel and the button bar top to bottom in `host` (the page
    // or a part of it), under room for the navigation bar; the grid's row selection goes to
    // SelectRow. Call once from the page's constructor.
    void StackGridPanelAndButtons(QWidget* host, RecordGrid* grid, QWidget* detailPanel);
    // Steps shared by every rebuild once the order is known: the grid's index array, the buttons
    // that need a record, and the remembered record's row. False, with nothing shown, while the page
    // waits for the server and the saved record has not changed; the page then leaves the rest of
    // its rebuild too.
    bool ApplyOrder(std::vector<int32_t> order);

    // Clears the page's edits and calls the table's Add, in the page's order.
    virtual void StartAdding() = 0;
    // Whether the record may be posted; a page that refuses tells the operator why.
    virtual bool ReadyToSave() { return true; }
    // The values of the record being saved that must not belong to another record: column name and
    // the text in its edit. Checked before every save; a value held by another record asks first.
    virtual std::vector<std::pair<QString, QString>> UniqueValues() const { return {}; }
    // Sends what goes to the server with the record, just before it is posted.
    virtual void SendWithRecord() {}
    // Undoes what the page showed of a cancelled addition or edit beyond the record's own values
    // (the grid's row selection then shows those again).
    virtual void UndoShown() {}

    const Dialogs& dialogs_;

  private:
    // Asks the operator whether to save a record whose unique values another record holds.
    bool ConfirmDuplicates();
    QWidget* MakeButtonBar(RecordGrid* grid, QWidget* detailPanel);
    void EnterEditMode();
    void AwaitServer();
    void LeaveEditMode();

    QWidget* navigationBar_;
    TBaseClient* table_ = nullptr;
    RecordGrid* grid_ = nullptr;
    FindBar* finder_ = nullptr;
    QWidget* detail_ = nullptr;
    QPushButton* first_ = nullptr;
    QPushButton* second_ = nullptr;
    QPushButton* third_ = nullptr;
    bool adding_ = false;
    bool awaitingServer_ = false;
    // The session's queue refused the command posted last.
    bool refused_ = false;
    // The edited record the page waits for (-1 for an addition) and its texts when it was saved.
    int32_t savedId_ = -1;
    QStringList savedTexts_;
};

// A button whose caption is drawn in the given colour.
QPushButton* ColouredButton(const QString& caption, const QColor& colour, QWidget* parent);
