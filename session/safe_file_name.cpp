#include "safe_file_name.h"

QString FileNamePart(const QString& name) {
    qsizetype cut = -1;
    for (qsizetype i = name.size() - 1; i >= 0; --i) {
        const QChar c = name.at(i);
        if (c == u'\\' || c == u'/' || c == u':') {
            cut = i;
            break;
        }
    }
    return name.mid(cut + 1);
}

QString SafeFileName(const QString& name) {
    QString part = FileNamePart(name);
    if (part.isEmpty() || part == u"." || part == u".." || part.contains(QChar(0))) {
        return {};
    }
    return part;
}
