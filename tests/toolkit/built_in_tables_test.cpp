// InstallBuiltInTables: the process-wide tables are empty until the start-up installs them, and
// then answer with the built-in rows.
#include "toolkit/built_in_tables.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

void ExpectInstalled()
{
    EXPECT_EQ(GlobalResultCodeTable().Count(), 121);
    EXPECT_EQ(GlobalVrDictionary().Count(), 27);
    EXPECT_EQ(GlobalUidDictionary().Count(), 153);
    EXPECT_EQ(
        GlobalTagDictionary().Count(), static_cast<int32_t>(BuiltInTagRows().size() + NewerTagRows().size()));
    EXPECT_EQ(ResultCodeName(ERROR_FILE_FORMAT), "ERROR_FILE_FORMAT");
    EXPECT_EQ(ResultCodeMessage(ERROR_FILE_FORMAT), "Error File Format: Invalid format.");
    EXPECT_EQ(GlobalVrDictionary().IndexOf(vr::UN), 24);
    EXPECT_EQ(GlobalUidDictionary().Find("1.2.840.10008.1.2.1"), 2);
    const int32_t pixelData = GlobalTagDictionary().IndexOf(tags::PIXEL_DATA);
    EXPECT_EQ(GlobalTagDictionary().NameOf(pixelData), "Pixel Data");
    EXPECT_EQ(GlobalTagDictionary().VrOf(pixelData), vr::OB);
}

} // namespace

// Runs first in this program: nothing has installed the tables yet.
TEST(BuiltInTablesTest, GlobalTablesAreEmptyUntilInstalled)
{
    EXPECT_EQ(GlobalResultCodeTable().Count(), 0);
    EXPECT_EQ(ResultCodeName(SUCCESS), "");
    EXPECT_EQ(ResultCodeMessage(ERROR_FILE_FORMAT), "");
    EXPECT_EQ(GlobalVrDictionary().IndexOf(vr::UN), -1);
    EXPECT_EQ(GlobalUidDictionary().Find("1.2.840.10008.1.2"), -1);
    EXPECT_EQ(GlobalTagDictionary().IndexOf(tags::PIXEL_DATA), -1);
    EXPECT_EQ(GlobalTagDictionary().VrOf(GlobalTagDictionary().IndexOf(tags::PIXEL_DATA)), vr::UN);
}

TEST(BuiltInTablesTest, InstallFillsAllFourAndCanRepeat)
{
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    ExpectInstalled();
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    ExpectInstalled();
}

TEST(BuiltInTablesTest, BuiltInRowCounts)
{
    EXPECT_EQ(BuiltInResultCodeRows().size(), 121u);
    EXPECT_EQ(BuiltInVrRows().size(), 27u);
    EXPECT_EQ(BuiltInUidRows().size(), 153u);
    EXPECT_EQ(BuiltInTagRows().size(), 1839u);
    // Codes 17 to 27 belong to facilities this system lacks and have no row.
    for (int32_t code = 17; code <= 27; ++code)
        EXPECT_EQ(BuiltInResultCodeRows()[static_cast<size_t>(code)].name, nullptr) << code;
}
