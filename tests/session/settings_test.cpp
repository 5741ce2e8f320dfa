#include "session/settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "infra/codepage.h"

namespace {

struct IniCase {
    const char* text;
    std::optional<const char*> address;
};

class IniValueTest : public testing::TestWithParam<IniCase> {};

TEST_P(IniValueTest, FindsAddressOfServerHost) {
    const auto value = IniValue(QByteArray(GetParam().text), "ServerHost", "Address");
    ASSERT_EQ(value.has_value(), GetParam().address.has_value());
    if (value) {
        EXPECT_EQ(*value, QString::fromUtf8(*GetParam().address));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniValueTest,
    testing::Values(IniCase{"[ServerHost]\nAddress=10.0.0.5\n", "10.0.0.5"},
                    IniCase{"[serverhost]\r\n  address =  10.0.0.5  \r\n", "10.0.0.5"},
                    IniCase{"[Main]\nAddress=1.1.1.1\n[ServerHost]\nPort=1\nAddress=2.2.2.2\n", "2.2.2.2"},
                    IniCase{"[ServerHost]\nAddress=\"1.2.3.4,5.6.7.8\"\n", "1.2.3.4,5.6.7.8"},
                    IniCase{"[ServerHost]\nAddress=\n", ""},
                    IniCase{"[ServerHost]\n;Address=1.1.1.1\n", std::nullopt},
                    IniCase{"Address=1.1.1.1\n[ServerHost]\n", std::nullopt},
                    IniCase{"[ServerHost\nAddress=1.1.1.1\n", std::nullopt},
                    IniCase{"[ServerHost]\n=1.1.1.1\nAddress\n", std::nullopt},
                    IniCase{"[ServerHost]\nAddress=a\nAddress=b\n", "a"}, IniCase{"", std::nullopt}));

struct IntegerCase {
    const char* text;
    int32_t expected;
};

class IniIntegerTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(IniIntegerTest, ReadsOrFallsBack) {
    EXPECT_EQ(IniInteger(GetParam().text, 9010), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniIntegerTest,
                         testing::Values(IntegerCase{"9011", 9011}, IntegerCase{" 42 ", 42},
                                         IntegerCase{"-1", -1}, IntegerCase{"$FF", 255},
                                         IntegerCase{"0x10", 16}, IntegerCase{"abc", 9010},
                                         IntegerCase{"12abc", 9010}, IntegerCase{"", 9010},
                                         IntegerCase{"--5", 9010}, IntegerCase{"2147483647", 2147483647},
                                         IntegerCase{"2147483648", 9010}, IntegerCase{"1.5", 9010}));

class ServerSettingsTest : public testing::Test {
  protected:
    void Write(const QByteArray& bytes) {
        QFile file(dir_.filePath("setup.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    ServerSettings Read() { return ReadServerSettings(dir_.path() + '/'); }

    QTemporaryDir dir_;
};

TEST_F(ServerSettingsTest, DefaultsWithoutFile) {
    const ServerSettings settings = Read();
    EXPECT_EQ(settings.host, "127.0.0.1");
    EXPECT_EQ(settings.port, 9010);
}

TEST_F(ServerSettingsTest, PortKeepsLowSixteenBitsAndNonNumbersFallBack) {
    Write("[ServerHost]\nAddress=192.168.1.7\nPort=65546\n");
    EXPECT_EQ(Read().host, "192.168.1.7");
    EXPECT_EQ(Read().port, 10);
    Write("[ServerHost]\nPort=-1\n");
    EXPECT_EQ(Read().port, 65535);
    Write("[ServerHost]\nPort=port\n");
    EXPECT_EQ(Read().port, 9010);
}

TEST_F(ServerSettingsTest, ReadsCodePageText) {
    Write(toAnsi(QStringLiteral("[ServerHost]\nAddress=сервер\n")));
    EXPECT_EQ(Read().host, QStringLiteral("сервер"));
}

TEST_F(ServerSettingsTest, ReadsOnlyTheFirstMegabyte) {
    QByteArray bytes(kMaxSetupIniBytes, ' ');
    bytes += "\n[ServerHost]\nPort=1\n";
    Write(bytes);
    EXPECT_EQ(Read().port, 9010);
}

}  // namespace
