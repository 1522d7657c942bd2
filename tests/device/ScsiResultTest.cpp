#include "OrvoTestSupport.h"

#include "device/ScsiResult.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct ResultCase
{
    const char *name;
    ScsiTransport::Answer answer;
    qsizetype expected;
    ScsiResult::Category category;
    quint8 key;
    quint8 asc;
    quint8 ascq;
};

ScsiTransport::Answer checkCondition(const char *senseHex)
{
    return ScsiTransport::Answer{0, false, ScsiResult::kStatusCheckCondition, QByteArray::fromHex(senseHex), 0};
}

} // namespace

TEST(ScsiResult, SortsEveryAnswerIntoOneCategory)
{
    using C = ScsiResult::Category;
    const std::vector<ResultCase> cases = {
        {"good, all data", {0, false, 0x00, {}, 512}, 512, C::Ok, 0, 0, 0},
        {"good, more than needed", {0, false, 0x00, {}, 96}, 0, C::Ok, 0, 0, 0},
        {"good, data missing", {0, false, 0x00, {}, 511}, 512, C::ShortTransfer, 0, 0, 0},
        {"system error wins over everything", {19, true, 0x02, {}, 0}, 0, C::OsError, 0, 0, 0},
        {"time-out", {0, true, 0x00, {}, 512}, 512, C::Timeout, 0, 0, 0},
        {"busy has no sense", {0, false, 0x08, {}, 0}, 0, C::Status, 0, 0, 0},
        {"check condition without sense", checkCondition(""), 0, C::Status, 0, 0, 0},
        {"fixed sense", checkCondition("70 00 05 00 00 00 00 0A 00 00 00 00 21 00 00 00 00 00"), 0, C::Sense, 5, 0x21,
         0},
        {"deferred fixed sense", checkCondition("71 00 03 00 00 00 00 0A 00 00 00 00 0C 02 00 00 00 00"), 0, C::Sense,
         3, 0x0C, 2},
        {"fixed sense with a valid bit and flags in the key byte",
         checkCondition("F0 00 E4 00 00 00 00 0A 00 00 00 00 44 00"), 0, C::Sense, 4, 0x44, 0},
        {"fixed sense cut before asc", checkCondition("70 00 06 00 00 00 00 0A 00 00 00 00"), 0, C::Sense, 6, 0, 0},
        {"fixed sense whose length stops before asc", checkCondition("70 00 06 00 00 00 00 04 00 00 00 00 29 00"), 0,
         C::Sense, 6, 0, 0},
        {"fixed sense of two bytes has no key", checkCondition("70 00"), 0, C::Status, 0, 0, 0},
        {"descriptor sense", checkCondition("72 05 24 01 00 00 00 00"), 0, C::Sense, 5, 0x24, 1},
        {"descriptor sense cut short", checkCondition("72 05"), 0, C::Status, 0, 0, 0},
        {"unknown sense format", checkCondition("7F 05 24 00"), 0, C::Status, 0, 0, 0},
    };
    for (const ResultCase &c : cases) {
        SCOPED_TRACE(c.name);
        const ScsiResult result = ScsiResult::check(c.answer, c.expected);
        EXPECT_EQ(result.category(), c.category);
        EXPECT_EQ(result.ok(), c.category == C::Ok);
        EXPECT_EQ(result.senseKey(), c.key);
        EXPECT_EQ(result.asc(), c.asc);
        EXPECT_EQ(result.ascq(), c.ascq);
        EXPECT_FALSE(result.describe().isEmpty());
    }
}
