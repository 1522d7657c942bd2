#include "psf/OrvoPSFStepType.h"

#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct NameCase
{
    int code;
    const char *name;
};

const NameCase kNames[] = {
    {1, "Warmup"}, {2, "Work"}, {3, "Steady"}, {4, "Cool-down"}, {5, "Recovery"},
    {6, "Sprint"}, {7, "Walk"}, {0, "Other"},  {8, "Other"},     {-1, "Other"},
};

TEST(OrvoPSFStepTypeTest, CodesHaveTheirNames)
{
    for (const NameCase &c : kNames) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(OrvoPSFStepType(c.code).name(), QString::fromLatin1(c.name));
        EXPECT_EQ(OrvoPSFStepType(c.code).type(), c.code);
    }
}

struct FromNameCase
{
    const char *text;
    int code;
};

const FromNameCase kFromNames[] = {
    {"walk", 7},  {"WARMUP", 1}, {"cool-down", 4}, {"Sprint", 6}, {"Other", 0},
    {"other", 0}, {"", 0},       {"Walking", 0},   {" Work", 0},
};

TEST(OrvoPSFStepTypeTest, NamesGiveTheirCodesIgnoringCase)
{
    for (const FromNameCase &c : kFromNames) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(OrvoPSFStepType::fromName(QString::fromLatin1(c.text)), c.code);
    }
}

} // namespace
