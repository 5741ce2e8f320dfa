#include "files.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

FilesFolder::FilesFolder(QString root) : root_(QDir(root).absolutePath()) {}

QString FilesFolder::resolve(const QString& serverPath) const {
    if (serverPath.isEmpty() || serverPath.size() > 1024 || serverPath.startsWith(u'\\') ||
        serverPath.startsWith(u'/') || serverPath.contains(u':') || serverPath.contains(QChar(0))) {
        return {};
    }
    QString p = serverPath;
    p.replace(u'\\', u'/');
    const QStringList parts = p.split(u'/');
    for (const QString& part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..")) {
            return {};
        }
    }
    return root_ + u'/' + parts.join(u'/');
}

bool FilesFolder::makeParents(const QString& localPath) {
    return QDir().mkpath(QFileInfo(localPath).path());
}

QString LastPathComponent(const QString& path) {
    qsizetype cut = -1;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path[i] == u'\\' || path[i] == u'/' || path[i] == u':') {
            cut = i;
        }
    }
    return path.mid(cut + 1);
}
