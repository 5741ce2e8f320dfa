// TBaseClient: the client-side replica of one server table. Records are held column by column
// (FieldGFB); they are never removed, only flagged deleted in the "p_d" column. The first column is
// the record identifier "n_abs" (code 1), the second the flags byte "p_d" (code 3).
//
// Thread-safety: the session client's thread loads the table and applies record updates while the
// GUI thread reads and edits it. Every public operation takes the table's re-entrant lock for its
// whole run. A look-up that selects a record (RecNoTemp) followed by an accessor that reads it is two
// operations: hold Guard() across both. The load-state flags the session client polls without the
// lock (FlagLoadData, SendLoadData, StartLoad, RefreshYes) are atomic; every other field is read and
// written under the lock. No operation takes another table's lock while the caller might hold that
// table's lock in the opposite order, except the master/slave link, which only reads its master.
//
// Lifetime: tables live in a TBaseC for the whole process; a column pointer stays valid until the
// next Clear (or a load, which clears first).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "tables/field.h"

class TBaseClient;
// Collation keys of the view's sort column, kept between rebuilds (view_sort.h).
struct ViewSortCache;

// Receives each JSON command built by Post and DeleteRecordCurrent.
using TNetDataSend9 = std::function<void(TBaseClient* Sender, const QString& Data)>;
// Receives each binary record built by Post, DeleteRecordCurrent, DeleteSprRecord and SendToNet, with
// its NetCommand value (tables/record_message.h).
using TNetDataSend =
    std::function<void(TBaseClient* Sender, uint32_t Command, const QByteArray& Data, int32_t Size)>;
using TNotifyEvent = std::function<void(TBaseClient* Sender)>;
using TNetData =
    std::function<void(TBaseClient* Sender, const QByteArray& Data, uint32_t Command, int32_t DataSize)>;
using TFieldREfreshEvent = std::function<void(TBaseClient* Sender, const QStringList& Fields)>;

// A dictionary text with its key (GetFieldSpr).
struct SprItem {
    QString text;
    uint32_t key = 0;
};

// Ports of network clients (GetClientPort).
using stru_ia = std::vector<int32_t>;

class TBaseClient {
  public:
    using GuardType = std::unique_lock<std::recursive_mutex>;

    TBaseClient();
    ~TBaseClient();
    TBaseClient(const TBaseClient&) = delete;
    TBaseClient& operator=(const TBaseClient&) = delete;

    // Holds the table's lock for a look-up-and-read pair (or any longer sequence).
    [[nodiscard]] GuardType Guard() const { return GuardType(FLock); }

    // --- identity and columns ---
    QString ComponentName;  // "base" + index in the set
    QString NameTableS;
    const QString& NameTable() const { return NameTableS; }
    std::vector<std::unique_ptr<FieldGFB>> Fields;
    int32_t CountRecord = 0;
    int32_t CountRecordFilter = 0;

    // --- view (record numbers are 1-based storage numbers; positions are 1-based) ---
    std::vector<int32_t> SortData;
    int32_t N_AbsRecNo = 0;
    int32_t N_AbsRecNoMin = 0;
    int32_t N_AbsRecNoMax = 0;
    int32_t RecNo = 0;
    int32_t RecNoI = 0;
    int32_t RecNoTemp = 0;
    bool FSorted = false;
    QString FSort;
    bool FFiltered = false;
    uint8_t FFilterOper = 0;
    TBaseClient* FMasterTable = nullptr;
    QString FMasterField;
    QString FSlaveField;

    // --- editing ---
    bool RecordNE = false;
    bool EditRecord = false;
    int32_t BEdit = 0;
    int32_t GlobalrecT = 0;
    QString UserLoc;

    // --- loading ---
    bool Cache = false;
    bool Arh = false;
    bool Zip = false;
    bool veltax = false;
    QString LoadFileName;
    bool LoadTypeRaw = true;
    QString LoadFields;
    QString LoadFilter;
    std::atomic<bool> SendLoadData{false};
    std::atomic<bool> StartLoad{false};
    std::atomic<bool> FlagLoadData{false};
    std::atomic<bool> RefreshYes{true};
    std::atomic<bool> FFlagRefresh{false};
    bool RefreshEdit = true;

    // --- record updates and events ---
    QStringList FieldRefresh;
    QStringList FieldRefreshEvent;
    QStringList NetClient;
    TNetDataSend OnNetDataSend;
    TNetDataSend9 OnNetDataSend9;
    TNotifyEvent OnRefresh;
    TNetData OnNetEvent;
    TFieldREfreshEvent OnFieldRefresh;
    bool FAutoSave = false;
    bool FlagNotFound = false;
    bool Gorec = false;
    int32_t LastRecAbs = 0;

    // --- table and columns (base_client.cpp) ---
    void Clear();
    int32_t AddField(const Stru_NetFields& Fi);
    void GetFieldN(int32_t idx, Stru_NetFields& Fi);
    FieldGFB* GetFieldIndex(int32_t IndexF);
    uint8_t GetFieldType(const QString& name);
    int32_t GetFieldSize(const QString& name);
    int32_t GetFieldSprSize(const QString& name);
    int32_t GetNumberField(const QString& name);
    bool FieldYes(const QString& name);
    int32_t GetCountFields();
    int32_t MaxNumberFileds() { return GetCountFields() - 1; }
    int64_t GetAllSize();
    void GetFieldSpr(const QString& name, std::vector<SprItem>& list);
    bool AutoSave() const { return FAutoSave; }
    void SetAutoSave(bool value) { FAutoSave = value; }

    // --- table files (table_file_reader.cpp; AddFieldData in column_buffer.cpp) ---
    // Loads the table file (or JSON table text) at FileName and deletes it. False when the file was
    // malformed (what came before the fault is kept and the table is still marked loaded) or could
    // not be inflated (the table stays not loaded). A missing file changes nothing and gives false.
    bool LoadFromFile(const QString& FileName);
    // Reads one column's values for CountRecordFilter records from p at offset xx2 and advances xx2;
    // false (and nothing past the fault) when p is too short.
    bool AddFieldData(const Stru_NetFields& Fi, const QByteArray& p, int32_t nf1, int64_t& xx2);

    // --- load requests and JSON table texts (load_request.cpp) ---
    // The load request: clears the table and reads its cache (unless ReadCacheAhead did so since),
    // then names the digests of the columns it holds. Empty when the table is loaded or asked for.
    QString GetJSONLoad();
    // Clears the table and reads its cache for the coming GetJSONLoad, so that a thread beside the
    // session can do it ahead of the request; nothing when the table is loaded or already asked for.
    void ReadCacheAhead();
    // Throws TableConversionError for a column descriptor that is not four integers.
    void LoadFromJSON(const QString& Data);
    // True when a record was found and changed.
    bool RefreshFromJSON(const QString& data);

    // --- local cache (cache.cpp) ---
    // Fills the (cleared) table from "temp/<table>/"; false when a cache file was damaged or locked.
    bool CacheLoad();

    // --- view, navigation, filters and search (view.cpp; the sort in view_sort.cpp) ---
    void RefreshData();
    void Refresh() { RefreshData(); }
    void First();
    void Next();
    void Prior();
    void Last();
    bool eof();
    int32_t RecordIndex();
    void SetRecordIndex(int32_t Value);
    int32_t Count();
    void SetCount(int32_t Value);
    bool FlagRefresh() const { return FFlagRefresh; }
    void SetFlagRefresh(bool Value);
    bool Sorted();
    void SetSorted(bool Value);
    QString Sort();
    void SetSort(const QString& Value);
    bool Filtered();
    void SetFiltered(bool Value);
    uint8_t FilterOper();
    void SetFilterOper(uint8_t Value);
    TBaseClient* MasterTable();
    void SetMasterTable(TBaseClient* Value);
    QString MasterField();
    void SetMasterField(const QString& Value);
    QString SlaveField();
    void SetSlaveField(const QString& Value);
    void SetFilter(const QString& name, const QString& filter, uint8_t u);
    void ClearAllFilter();
    void FindByField(const QString& name, const QString& FindS, uint8_t u);

    // --- look-ups and moves by identifier (view_lookup.cpp) ---
    FieldGFB* GetField(const QString& name, int32_t Pos);
    FieldGFB* GetFieldNumber(int32_t number, int32_t Pos);
    FieldGFB* GetFieldCurrent(const QString& name);
    FieldGFB* GetFieldNumberCurrent(int32_t number);
    FieldGFB* GetFieldInAbs(const QString& name, int32_t n_abs);
    int32_t GetFieldCurrentAsInteger(const QString& name);
    int32_t FindData(const QString& Field, const QString& Data);
    bool GotoAbs(int32_t n_abs);
    int32_t GetPosInAbs(int32_t n_abs);
    int32_t GetSortPos(int32_t FullPos);

    // --- editing and posting (editing.cpp) ---
    void Add();
    bool Edit();
    void Cancel();
    int32_t Post();
    void DeleteRecordCurrent();
    bool DeletedRecordL(int32_t n_abs);
    bool DeletedRecord(int32_t n_abs);
    void DeleteSprRecord(const QString& NameField, int32_t NumberRecord);
    void CopyFromRecord(int32_t n_abs);

    // --- network data path (net_data.cpp) ---
    // Applies a record update (see docs/record-messages.md for the layout) at 0-based storage
    // index Pos; a short or inconsistent update changes nothing beyond its complete entries.
    void PutDataFieldPos(int32_t Pos, const QByteArray& data);
    void NetData(const QByteArray& Data, int32_t Size);
    void SendToNet(uint32_t Command, const QByteArray& data);
    void GetClientPort(stru_ia& list);

    // First column with exactly this name (and, when usable, a code other than 0); null if none.
    // Expects the lock to be held (base_client.cpp).
    FieldGFB* FindColumn(const QString& name, bool usable) const;

  private:
    // The table holds its cache as ReadCacheAhead read it for the next request; Clear resets it.
    bool CacheReadAhead = false;
    mutable std::recursive_mutex FLock;
    std::shared_ptr<ViewSortCache> FSortCache;
};
