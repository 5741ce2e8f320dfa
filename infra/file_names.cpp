#include "infra/file_names.h"

#include <QDir>
#include <QStringList>

namespace {

constexpr qsizetype kMaxPath = 1024;

bool IsSeparator(QChar c) {
    return c == u'\\' || c == u'/' || c == u':';
}

}  // namespace

QString FileNamePart(const QString& path) {
    qsizetype cut = path.size() - 1;
    while (cut >= 0 && !IsSeparator(path[cut])) {
        --cut;
    }
    return path.mid(cut + 1);
}

bool IsPlainFileName(const QString& name) {
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(QChar(0))) {
        return false;
    }
    for (const QChar c : name) {
        if (IsSeparator(c)) {
            return false;
        }
    }
    return true;
}

QString SafeFileName(const QString& path) {
    const QString part = FileNamePart(path);
    return IsPlainFileName(part) ? part : QString();
}

QString ConfinedPath(const QString& path) {
    if (path.isEmpty() || path.size() > kMaxPath || path.contains(u':')) {
        return {};
    }
    QString p = path;
    p.replace(u'\\', u'/');
    const QStringList parts = p.split(u'/');
    for (const QString& part : parts) {
        if (!IsPlainFileName(part)) {
            return {};
        }
    }
    return parts.join(u'/');
}

bool StaysInWorkingDir(const QString& path) {
    if (path.isEmpty() || QDir::isAbsolutePath(path)) {
        return false;
    }
    const QString clean = QDir::cleanPath(path);
    return clean != u".." && !clean.startsWith(u"../");
}
