// The groups page ("group", button "Группы"): groups of vehicles (table "groupgps") in identifier
// order, the members of the selected group (table "gpsug") in name order, and all vehicles (table
// "gps", in the order of the vehicles page) to add from. Groups follow the shared browse/edit mode;
// members are added and removed at once. "Добавить" rests from its press until the new member is
// in the members table (or a time-out tells the operator that the server did not confirm it), so a
// vehicle is not sent twice; it is off while a group is being added.
//
// Thread-safety: UI thread only.
#pragma once

#include <QCheckBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/record_page.h"

class FindBar;

class GroupsPage : public RecordPage {
  public:
    GroupsPage(QWidget* navigationBar, const Dialogs& dialogs, QWidget* parent);

    void SetTables(TBaseClient* groupgps, TBaseClient* gpsug, TBaseClient* gps);

    RecordGrid* StringGrid3() const { return Grid(); }
    RecordGrid* StringGrid4() const { return grid4_; }
    RecordGrid* StringGrid5() const { return grid5_; }
    FindBar* VehicleFinder() const { return vehicleFinder_; }
    QLineEdit* Edit30;
    QCheckBox* CheckBox1;
    QPushButton* SpeedButton4;  // "Добавить"
    QPushButton* SpeedButton5;  // "Удалить"

    // Identifier of the group whose members are shown; 0 until a group is selected.
    int32_t Tek_n_abs_gtoupgps = 0;

    // RefreshGroupGPS.
    void Rebuild() override;
    void SelectRow(int r) override;
    // REfreshGPSUG: always rebuilds the members grid.
    void REfreshGPSUG();
    // The vehicles grid's part of RefreshGPS.
    void ShowVehicleOrder(std::vector<int32_t> order);
    // Whether the vehicle in row `down` of the vehicles grid may join the selected group.
    bool MonaUp(int down);

    void SpeedButton4Click();
    void SpeedButton5Click();
    // From the window's polling: an addition of a member that has not come in time is reported.
    void CheckMemberTimeout(const QDateTime& now);

  protected:
    void StartAdding() override;

  private:
    void StringGrid4SelectCell(int r);
    void StringGrid5SelectCell(int r);
    QString MemberName(int32_t memberPosition);
    void WriteInternal();
    bool HasMember(int32_t group, int32_t vehicle);

    TBaseClient* gpsug_ = nullptr;
    TBaseClient* gps_ = nullptr;
    RecordGrid* grid4_ = nullptr;
    RecordGrid* grid5_ = nullptr;
    FindBar* vehicleFinder_ = nullptr;

    // A member added by "Добавить" and not yet in the members table, with the time it may take.
    struct PendingMember {
        int32_t group;
        int32_t vehicle;
        QDateTime deadline;
    };
    std::optional<PendingMember> pending_;
};
