// The mobile terminals page ("Default", button "МТК"): the terminals and the people who carry them
// (table "gpeople"), sortable by clicking a header, with the holder's photo fetched from the server
// as a file and uploaded as one. The object a stationary terminal is bound to is looked up by number
// in the table "object".
//
// Only one photo fetch is tracked at a time: Image1NameF is the server path whose photo is shown,
// being fetched or reported missing, Image1Name the local name of the fetch under way, Image1NameFT
// the time after which that fetch counts as lost. A fetch ends with the photo, or with the box saying
// that the server has no such file or that none came in time; the row's next selection asks again.
//
// Thread-safety: UI thread only.
#pragma once

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <functional>
#include <optional>

#include "app/record_page.h"

class client_udp;

inline const QString kPhotoFolder = QStringLiteral("photo\\mobile\\");

class TerminalsPage : public RecordPage {
  public:
    TerminalsPage(QWidget* navigationBar, const Dialogs& dialogs, QWidget* parent);

    void SetTables(TBaseClient* gpeople, TBaseClient* object) {
        SetTable(gpeople);
        object_ = object;
    }
    // The session client the photo requests go to; may be null (no requests are made then).
    std::function<client_udp*()> client;

    RecordGrid* StringGrid1() const { return Grid(); }
    QLineEdit* Edit1;  // full name
    QLineEdit* Edit2;  // address
    QLineEdit* Edit3;  // phone
    QCheckBox* CheckBox2;
    QLineEdit* Edit15;  // object number
    QLineEdit* Edit16;  // object name
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox4;
    QLabel* Image1;
    QLabel* Label4;
    QPushButton* BitBtn8;
    QMenu* PopupMenu1;
    QAction* N1;  // "Сброс запросов"
    QAction* N3;  // "Сброс регистрации"

    int SG1Sort = 0;
    QString Image1Name;
    QString Image1NameF;
    QDateTime Image1NameFT;

    // RefreshMobile.
    void Rebuild() override;
    void SelectRow(int r) override;
    void SortByColumn(int column);
    // The name of the object with that number, empty when there is none.
    QString GetNameObj(int32_t number);

    // From the window's polling: a lost fetch is reported; a fetched file arrived; the server has no
    // file of that path (empty: of the fetch under way).
    void CheckPhotoTimeout(const QDateTime& now);
    void PhotoArrived(const QString& name);
    void PhotoMissing(const QString& nameInServ);
    // The session gave up sending a picked photo ("sendfileerror"), for this reason.
    void PhotoNotSent(const QString& reason);

    void BitBtn8Click();
    void PopupMenu1Popup();
    void N1Click();
    void N3Click();

  protected:
    void StartAdding() override;
    bool ReadyToSave() override;
    std::vector<std::pair<QString, QString>> UniqueValues() const override;
    void SendWithRecord() override;
    void UndoShown() override;

  private:
    QWidget* MakeDetailPanel();
    QString RegistrationText(int32_t position);
    void WriteRez();
    void RequestPhoto(const QString& foto);
    // Ends the fetch under way, if any, with the box empty or saying why it is.
    void EndPhotoFetch(const QString& text);
    // An empty box for a row without a photo.
    void ClearPhoto();

    TBaseClient* object_ = nullptr;

    // A photo picked for the record being added or edited; it goes to the server when the record
    // is saved.
    struct PickedPhoto {
        QString path;
        QString nameInServ;
        // What the photo box showed before, for "Отменить": its picture or text, and the foto it
        // showed (empty when its photo was still on its way, so that it is asked for again).
        QPixmap pixmapBefore;
        QString textBefore;
        QString fotoBefore;
    };
    std::optional<PickedPhoto> picked_;
};

// A new GUID as 36 upper-case characters without braces.
QString NewGUIDStr();
