#include "tahoma.h"

#include <QStringList>

QFont Tahoma(int pixels, bool bold) {
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("Tahoma"), {QStringLiteral("DejaVu Sans Condensed"),
                                                              QStringLiteral("Liberation Sans Narrow"),
                                                              QStringLiteral("Liberation Sans")});
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}
