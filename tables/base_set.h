// TBaseC: the table set, shared by reference between the main window and the session client.
// Tables are only ever appended, so an index stays valid for the life of the process.
//
// Thread-safety: the set itself is filled (AddTable) before it is shared with other threads; after
// that only the tables change, each under its own lock.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "tables/base_client.h"

class TBaseC {
  public:
    int32_t Count() const { return int32_t(FTables.size()); }
    TBaseClient* operator[](int32_t index) const { return At(index); }
    // Null for an index outside the set.
    TBaseClient* At(int32_t index) const;
    // First table whose NameTableS equals name exactly; null / -1 when there is none.
    TBaseClient* Find(const QString& name) const;
    int32_t IndexOf(const QString& name) const;

    // Appends a new table named "base" + its index; returns its index.
    int32_t Append();

  private:
    std::vector<std::unique_ptr<TBaseClient>> FTables;
};

// Creates the table of that name or reuses it, resets its load state and settings, and creates its
// cache ("temp/<name>") and archive ("arh/<name>") folders as asked. Fields is a comma-separated list
// of column names ("" or "*" for all), Filter the inside of the server-side filter object.
int32_t AddTable(TBaseC& set, const QString& Name, const QString& Fields, const QString& Filter, bool Cache,
                 bool Arh);
