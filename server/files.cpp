#include "files.h"

#include <QDir>
#include <QFileInfo>

#include "infra/file_names.h"

FilesFolder::FilesFolder(QString root) : root_(QDir(root).absolutePath()) {}

QString FilesFolder::resolve(const QString& serverPath) const {
    const QString inside = ConfinedPath(serverPath);
    return inside.isEmpty() ? QString() : root_ + u'/' + inside;
}

bool FilesFolder::makeParents(const QString& localPath) {
    return QDir().mkpath(QFileInfo(localPath).path());
}
