#include "OrvoTestSupport.h"

#include "device/OrvoDeviceRegistry.h"

#include <gtest/gtest.h>

namespace {

const QString kM1 = QStringLiteral("TARVEX:kavel:Kavel:VORNA Device:VORNA MS:VORNA");
const QString kM2 = QStringLiteral("Tarvex:kavel:Kavel:VORNA Device:VORNA MS:VORNA");

OrvoDeviceInfo row(const char *productId, const char *model, const QString &match)
{
    return OrvoDeviceInfo{QString::fromLatin1(productId), QString::fromLatin1(model), match, {}};
}

QStringList models(const QVector<const OrvoDeviceInfo *> &rows)
{
    QStringList names;
    for (const OrvoDeviceInfo *info : rows)
        names.append(info->modelName);
    return names;
}

struct MatchCase
{
    const char *name;
    QString vendorText;
    QStringList expected;
};

const QVector<OrvoDeviceInfo> kTypes = {
    row("1207", "Kavel21", kM1),
    row("1102", "Kavel20", QStringLiteral("TREVANIS")),
    row("0901", "Kavel50", kM2),
    row("1105", "Kavel40", QStringLiteral("KOSMIR")),
};

const MatchCase kMatchCases[] = {
    {"VendorAndProductOfTheFamily", QStringLiteral("TARVEX  Kavel50         "), {"Kavel21", "Kavel50"}},
    {"AnyCase", QStringLiteral("vorna   vorna ms"), {"Kavel21", "Kavel50"}},
    {"CodenameInsideALongerText", QStringLiteral("ACME    xxTrevanisxx"), {"Kavel20"}},
    {"UnrelatedStick", QStringLiteral("SanDisk Cruzer Blade"), {}},
    {"EmptyText", QString(), {}},
};

void PrintTo(const MatchCase &c, std::ostream *os)
{
    *os << c.name;
}

class OrvoDeviceMatchTest : public ::testing::TestWithParam<MatchCase>
{};

} // namespace

TEST_P(OrvoDeviceMatchTest, KeepsEveryRowWithAnAlternativeInTheText)
{
    EXPECT_EQ(models(OrvoDeviceRegistry::matchDeviceInfos(GetParam().vendorText, kTypes)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, OrvoDeviceMatchTest, ::testing::ValuesIn(kMatchCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(OrvoDeviceMatch, AnEmptyAlternativeMatchesEveryText)
{
    const QVector<OrvoDeviceInfo> types = {row("0001", "Gap", QStringLiteral("ONE::TWO")),
                                           row("0002", "Empty", QString()),
                                           row("0003", "Other", QStringLiteral("THREE"))};
    EXPECT_EQ(models(OrvoDeviceRegistry::matchDeviceInfos(QStringLiteral("SanDisk"), types)),
              QStringList({"Gap", "Empty"}));
}

TEST(OrvoDeviceRegistry, RegistersAtEitherEndAndUnregistersTheFirstOfAModel)
{
    OrvoDeviceRegistry registry;
    EXPECT_EQ(registry.fsIdSource(), 3);
    const OrvoDeviceInfo appended = registry.registerDevice(row("1003", "Kavel35", QStringLiteral("QUILMA")), false);
    EXPECT_EQ(appended.productId, QStringLiteral("1003"));
    registry.registerDevice(row("1101", "Kavel35", QStringLiteral("QUILMA")), false);
    registry.registerDevice(row("1207", "Kavel21", kM1), true);
    EXPECT_EQ(registry.deviceTypes().first().modelName, QStringLiteral("Kavel21"));

    registry.unregisterDevice(QStringLiteral("Kavel35"));
    ASSERT_EQ(registry.deviceTypes().size(), 2);
    EXPECT_EQ(registry.deviceTypes().at(0).modelName, QStringLiteral("Kavel21"));
    EXPECT_EQ(registry.deviceTypes().at(1).productId, QStringLiteral("1101")) << "only the first row goes";

    registry.unregisterDevice(QStringLiteral("kavel21"));
    EXPECT_EQ(registry.deviceTypes().size(), 2) << "model names are compared exactly";
}
