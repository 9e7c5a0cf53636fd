// ResultCodeTable: the built-in rows and look-up by code.
#include "toolkit/built_in_tables.h"
#include "toolkit/result_code_table.h"

#include <climits>
#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace velmora;

namespace {

ResultCodeTable BuiltInTable()
{
    ResultCodeTable table;
    const auto rows = BuiltInResultCodeRows();
    EXPECT_EQ(table.Install(rows.data(), static_cast<int32_t>(rows.size())), SUCCESS);
    return table;
}

} // namespace

TEST(ResultCodeTableTest, BuiltInRowsByCode)
{
    const ResultCodeTable table = BuiltInTable();
    EXPECT_EQ(table.Count(), 121);
    struct Case {
        int32_t code;
        const char* name;
        const char* message;
    };
    const Case cases[] = {
        { SUCCESS, "SUCCESS", "Success" },
        { PENDING, "PENDING", "Pending: Operation in progress." },
        { ERROR_EVENT_CREATE, "ERROR_EVENT_CREATE", "Error Windows Event: Cannot create an event." },
        { ERROR_ENCRYPTION_ENCODE, "ERROR_ENCRYPTION_ENCODE", "Encryption Error: Encoding failed." },
        { ERROR_FILE_FORMAT, "ERROR_FILE_FORMAT", "Error File Format: Invalid format." },
        { ERROR_DATE_YEAR, "ERROR_DATE_YEAR", "Error Date Value: Invalid year." },
        { ERROR_DATE_MONTH, "ERROR_DATE_MONTH", "Error Date Value: Invalid month." },
        { ERROR_DATE_DAY, "ERROR_DATE_DAY", "Error Date Value: Invalid day." },
        { ERROR_TIME_HOUR, "ERROR_TIME_HOUR", "Error Time Set: Invalid hour." },
        { ERROR_TIME_MINUTE, "ERROR_TIME_MINUTE", "Error Time Set: Invalid minute." },
        { ERROR_DS_LENGTH, "ERROR_DS_LENGTH", "Error DICOM Data Set: Invalid value length (odd number)." },
        { ERROR_PDU_REJECT_USER_NO_REASON, "ERROR_PDU_REJECT_USER_NO_REASON",
            "Association Rejected: Reason not specified." },
        { ERROR_PDU_REJECT_PROVIDER_NO_REASON, "ERROR_PDU_REJECT_PROVIDER_NO_REASON",
            "Association Rejected: Reason not specified." },
        { ERROR_PDU_ABORT_INVALID_PARAMETER, "ERROR_PDU_ABORT_INVALID_PARAMETER",
            "Association Aborted: Invalid PDU parameter value." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(table.HasRow(c.code));
        EXPECT_EQ(table.NameOf(c.code), c.name);
        EXPECT_EQ(table.MessageOf(c.code), c.message);
    }
    EXPECT_EQ(ERROR_PDU_ABORT_INVALID_PARAMETER, 120);
}

TEST(ResultCodeTableTest, CodesWithoutRowsAnswerEmpty)
{
    const ResultCodeTable table = BuiltInTable();
    for (int32_t code : { 17, 20, 27, 121, 1000, -1, INT_MIN, INT_MAX }) {
        SCOPED_TRACE(code);
        EXPECT_FALSE(table.HasRow(code));
        EXPECT_EQ(table.NameOf(code), "");
        EXPECT_EQ(table.MessageOf(code), "");
    }
}

TEST(ResultCodeTableTest, EveryRowIsWellFormed)
{
    const ResultCodeTable table = BuiltInTable();
    std::set<std::string> names;
    int named = 0;
    for (int32_t code = 0; code < table.Count(); ++code) {
        if (!table.HasRow(code))
            continue;
        ++named;
        const std::string name(table.NameOf(code));
        const std::string message(table.MessageOf(code));
        SCOPED_TRACE(name);
        EXPECT_TRUE(names.insert(name).second) << "name used twice";
        EXPECT_TRUE(code <= ABORT || name.rfind("ERROR_", 0) == 0);
        // Every failure message reads "Category: text." with a colon after the category.
        if (code > 0) {
            EXPECT_NE(message.find(": "), std::string::npos);
            EXPECT_EQ(message.back(), '.');
        }
    }
    EXPECT_EQ(named, 110); // 121 codes, 17 to 27 unused
}

TEST(ResultCodeTableTest, InstallPointsAtCallerRows)
{
    ResultCodeRow rows[3] = { { "ZERO", "Zero." }, { nullptr, nullptr }, { "TWO", nullptr } };
    ResultCodeTable table;
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.NameOf(0), "");
    ASSERT_EQ(table.Install(rows, 3), SUCCESS);
    EXPECT_EQ(table.NameOf(0), "ZERO");
    EXPECT_FALSE(table.HasRow(1));
    EXPECT_EQ(table.NameOf(2), "TWO");
    EXPECT_EQ(table.MessageOf(2), "");
    // Not copied: the table reads the caller's array.
    rows[0].name = "CHANGED";
    EXPECT_EQ(table.NameOf(0), "CHANGED");

    EXPECT_EQ(table.Install(nullptr, 2), ERROR_GENERAL_PARAMETER);
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.Install(rows, -1), ERROR_GENERAL_PARAMETER);
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.Install(nullptr, 0), SUCCESS);
}
