#include "session/table_registration.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

class TableRegistrationTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previous_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    }
    void TearDown() override { QDir::setCurrent(previous_); }

    QTemporaryDir dir_;
    QString previous_;
};

TEST_F(TableRegistrationTest, SixTablesInDownloadOrderWithCacheFolders) {
    TBaseC Base;
    const TableNumbers numbers = RegisterConfigTables(Base);
    ASSERT_EQ(Base.Count(), 6);
    const int32_t expected[] = {numbers.NumberObject,   numbers.NumberGPS,   numbers.NumberGPeople,
                                numbers.NumberGroupGPS, numbers.Numbergpsug, numbers.NumberGPSShab};
    for (int32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(expected[i], i);
        TBaseClient* table = Base[i];
        EXPECT_EQ(table->NameTableS, QString::fromLatin1(kConfigTableNames[i]));
        EXPECT_TRUE(table->Cache);
        EXPECT_FALSE(table->Arh);
        EXPECT_TRUE(table->LoadFields.isEmpty());
        EXPECT_EQ(table->LoadFilter, "{}");
        EXPECT_TRUE(QDir(dir_.filePath("temp/" + table->NameTableS)).exists());
    }
    EXPECT_FALSE(QDir(dir_.filePath("arh")).exists());
}

}  // namespace
