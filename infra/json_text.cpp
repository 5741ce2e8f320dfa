#include "infra/json_text.h"

namespace {

bool IsNumberChar(QChar c) {
    const char16_t u = c.unicode();
    return u == '-' || u == '.' || (u >= '0' && u <= '9');
}

// Index of the bracket that balances the one at `open`, counting only that bracket kind and ignoring
// quotes; -1 when the text ends first.
qsizetype BalancingBracket(const QString& text, qsizetype open) {
    const QChar opening = text[open];
    const QChar closing = opening == u'{' ? u'}' : u']';
    qsizetype opened = 1;
    qsizetype closed = 0;
    for (qsizetype p = open + 1; p < text.size(); ++p) {
        if (text[p] == opening) {
            ++opened;
        } else if (text[p] == closing) {
            ++closed;
        }
        if (opened == closed) {
            return p;
        }
    }
    return -1;
}

qsizetype NumberRunEnd(const QString& text, qsizetype from) {
    qsizetype p = from;
    while (p < text.size() && IsNumberChar(text[p])) {
        ++p;
    }
    return p;
}

bool IsBracket(QChar c) {
    return c == u'{' || c == u'[';
}

}  // namespace

QString StrToJSONStr(const QString& s) {
    QString out;
    out.reserve(s.size() + s.size() / 8);
    for (QChar c : s) {
        if (c == u'"' || c == u'\\' || c == u'/') {
            out += u'\\';
        }
        out += c;
    }
    return out;
}

QString GetJSONValue(const QString& text, const QString& key) {
    const QString needle = u'"' + key + u'"';
    const qsizetype found = text.indexOf(needle);
    if (found < 0) {
        return {};
    }
    const qsizetype n = text.size();
    qsizetype p = found + needle.size();
    if (p < n && text[p] == u' ') {
        ++p;
    }
    if (p < n && text[p] == u':') {
        ++p;
    }
    if (p < n && text[p] == u' ') {
        ++p;
    }
    if (p >= n) {
        return {};
    }
    const QChar c = text[p];
    if (c == u'"') {
        QString value;
        for (qsizetype q = p + 1; q < n; ++q) {
            const QChar ch = text[q];
            if (ch == u'"') {
                break;
            }
            if (ch == u'\\' && q + 1 < n &&
                (text[q + 1] == u'"' || text[q + 1] == u'\\' || text[q + 1] == u'/')) {
                ++q;
                value += text[q];
                continue;
            }
            value += ch;
        }
        return value;
    }
    if (IsBracket(c)) {
        const qsizetype close = BalancingBracket(text, p);
        return close < 0 ? QString() : text.mid(p + 1, close - p - 1);
    }
    if (QStringView(text).sliced(p).startsWith(u"true")) {
        return QStringLiteral("true");
    }
    if (QStringView(text).sliced(p).startsWith(u"false")) {
        return QStringLiteral("false");
    }
    return text.mid(p, NumberRunEnd(text, p) - p);
}

bool GetJSONPair(QString& text, QString& key, QString& value) {
    key.clear();
    value.clear();
    bool taken = false;
    QString rest = text;

    const qsizetype opening = rest.indexOf(u'"');
    if (opening >= 0) {
        rest.remove(0, opening + 1);
    }
    const qsizetype closing = rest.indexOf(u'"');
    if (closing >= 0) {
        key = rest.left(closing);
        // The key, its closing quote and the colon: no blanks are allowed around the colon here.
        rest.remove(0, closing + 2);
        if (rest.isEmpty()) {
            text = rest;
            return false;
        }
        const QChar c = rest[0];
        if (c == u'"') {
            qsizetype q = 1;
            while (q < rest.size() && rest[q] != u'"') {
                if (rest[q] == u'\\') {
                    ++q;
                    if (q >= rest.size()) {
                        break;
                    }
                }
                value += rest[q];
                ++q;
            }
            rest.remove(0, q + 1);
            taken = true;
        } else if (IsBracket(c)) {
            const qsizetype close = BalancingBracket(rest, 0);
            if (close >= 0) {
                value = rest.mid(1, close - 1);
                rest.remove(0, close + 1);
                taken = true;
            }
        } else if (rest.startsWith(u"true")) {
            value = QStringLiteral("true");
            rest.remove(0, 4);
            taken = true;
        } else if (rest.startsWith(u"false")) {
            value = QStringLiteral("false");
            rest.remove(0, 5);
            taken = true;
        } else if (IsNumberChar(c)) {
            const qsizetype end = NumberRunEnd(rest, 0);
            value = rest.left(end);
            rest.remove(0, end);
            taken = true;
        }
    }
    if (rest.startsWith(u',')) {
        rest.remove(0, 1);
    }
    text = rest;
    return taken;
}

QString GetJSONItem(QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    qsizetype start = 0;
    while (start < text.size() && !IsBracket(text[start])) {
        ++start;
    }
    text.remove(0, start);
    if (text.isEmpty()) {
        return {};
    }
    const qsizetype close = BalancingBracket(text, 0);
    if (close < 0) {
        return {};
    }
    QString item = text.left(close + 1);
    text.remove(0, close + 1);
    return item;
}
