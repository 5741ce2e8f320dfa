// The vehicles page ("gps", button "ТС", shown first): the vehicles fitted with trackers, in
// identifier order, with a detail panel of their columns. Columns are addressed by position in the
// table "gps", except "imei" which is written by name as a 64-bit integer.
//
// Thread-safety: UI thread only.
#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/record_page.h"

// The column of the table "gps" that a column of a vehicle grid shows (number, name, registration
// plate, owner); 0 for the row number column. The groups page lists the vehicles the same way.
int32_t VehicleGridColumnToTable(int column);

class VehiclesPage : public RecordPage {
  public:
    VehiclesPage(QWidget* navigationBar, const Dialogs& dialogs, QWidget* parent);

    RecordGrid* StringGrid2() const { return Grid(); }
    // The rebuild of everything the table "gps" feeds (the window's RefreshGPS).
    std::function<void()> refreshGPS;
    void Rebuild() override;
    // Steps of RefreshGPS for this page's grid: the order, then the selection handler.
    void ShowOrder(std::vector<int32_t> order);
    void SelectRow(int r) override;

    // The detail panel's parts, by the names the operators' manuals use.
    QLineEdit* Edit19;  // number
    QLineEdit* Edit14;  // IMEI
    QLineEdit* Edit4;   // SIM
    QLineEdit* Edit5;   // registration plate
    QLineEdit* Edit13;  // name
    QComboBox* ComboBox1;
    QLineEdit* Edit18;  // password
    QLineEdit* Edit10;  // owner
    QLineEdit* Edit7;   // responsible person's phone
    QLineEdit* Edit6;   // responsible person
    QLineEdit* Edit9;   // VIN
    QLineEdit* Edit8;   // model
    QLineEdit* Edit11;  // colour
    QFrame* Panel10;    // map colour swatch
    QPushButton* BitBtn7;
    QLineEdit* Edit23;  // the suite's own device IMEI
    QLineEdit* Edit12;  // note
    QButtonGroup* RadioGroup1;

    // Current swatch colour as stored: red in the lowest byte, then green, then blue.
    uint32_t MapColour() const { return mapColour_; }
    void BitBtn7Click();

  protected:
    void StartAdding() override;
    std::vector<std::pair<QString, QString>> UniqueValues() const override;

  private:
    struct TextEdit {
        QLineEdit* edit;
        int32_t column;
    };
    QWidget* MakeDetailPanel();
    QLineEdit* AddEdit(QWidget* panel, const QString& caption, QRect geometry, int32_t column,
                       int maxLength = 0);
    void PaintSwatch(uint32_t colour);
    void ClearEdits();
    void SetCoordinateSource(int index);

    std::vector<TextEdit> edits_;
    uint32_t mapColour_ = 0;
};
