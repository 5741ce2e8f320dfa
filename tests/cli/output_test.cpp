#include "cli/output.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

namespace {

TEST(OutputTest, JsonStringRoundTripsEveryCharacterThroughAStrictParser) {
    QString text = QStringLiteral("Газель \"А\" \\ / ");
    for (char16_t c = 0; c < 0x20; ++c) {
        text += QChar(c);
    }
    const QByteArray line = QStringLiteral("{\"v\":%1}").arg(JsonString(text)).toUtf8();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    EXPECT_EQ(document.object().value("v").toString(), text);
}

}  // namespace
