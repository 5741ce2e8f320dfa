#include "session/table_registration.h"

namespace {

int32_t Register(TBaseC& Base, const char* name) {
    return AddTable(Base, QString::fromLatin1(name), QString(), QString(), /*Cache=*/true, /*Arh=*/false);
}

}  // namespace

TableNumbers RegisterConfigTables(TBaseC& Base) {
    TableNumbers numbers;
    numbers.NumberObject = Register(Base, kConfigTableNames[0]);
    numbers.NumberGPS = Register(Base, kConfigTableNames[1]);
    numbers.NumberGPeople = Register(Base, kConfigTableNames[2]);
    numbers.NumberGroupGPS = Register(Base, kConfigTableNames[3]);
    numbers.Numbergpsug = Register(Base, kConfigTableNames[4]);
    numbers.NumberGPSShab = Register(Base, kConfigTableNames[5]);
    return numbers;
}
