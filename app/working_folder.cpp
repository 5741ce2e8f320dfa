#include "app/working_folder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

// What a new user folder's settings hold: the server on this machine, no remembered user.
constexpr char kFirstSetupIni[] =
    "[ServerHost]\r\nAddress=127.0.0.1\r\nPort=9010\r\n[Main]\r\nUserDefault=\r\n";

}  // namespace

QString UserFolderPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/mobcfg");
}

bool EnterUserFolder(QString& error) {
    const QString folder = UserFolderPath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("не удалось создать папку %1").arg(folder);
        return false;
    }
    QFile setup(folder + QStringLiteral("/setup.ini"));
    // NewOnly: a settings file made in the meantime, or long ago, is the user's and stays.
    if (setup.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (setup.write(kFirstSetupIni) != qint64(sizeof kFirstSetupIni - 1) || !setup.flush()) {
            error = QStringLiteral("не удалось записать %1: %2").arg(setup.fileName(), setup.errorString());
            setup.close();
            setup.remove();
            return false;
        }
    } else if (!setup.exists()) {
        error = QStringLiteral("не удалось создать %1: %2").arg(setup.fileName(), setup.errorString());
        return false;
    }
    if (!QDir::setCurrent(folder)) {
        error = QStringLiteral("не удалось перейти в папку %1").arg(folder);
        return false;
    }
    return true;
}
