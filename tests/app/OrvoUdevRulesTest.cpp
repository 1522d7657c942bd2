#include "app/OrvoUdevRules.h"
#include "app/OrvoDeviceTypeTable.h"
#include "device/OrvoDeviceRegistry.h"
#include "env/OrvoUtility.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

#include <fnmatch.h>

#include <algorithm>
#include <ostream>
#include <string>

namespace {

// The kernel shows a SCSI device's INQUIRY vendor and product fields as its "vendor" and
// "model" attributes, each at its full width, padded with spaces.
constexpr int kVendorWidth = 8;
constexpr int kModelWidth = 16;

struct Device
{
    QByteArray vendor;
    QByteArray model;
};

Device device(const QByteArray &vendor, const QByteArray &model)
{
    return {vendor.left(kVendorWidth).leftJustified(kVendorWidth, ' '),
            model.left(kModelWidth).leftJustified(kModelWidth, ' ')};
}

// One rule as udev reads it: the node's subsystem, the SCSI parent's attributes, the tag.
struct Rule
{
    QMap<QString, QByteArray> matches;
    QByteArray tag;
};

// Reads the rules, taking only the keys a rule of access to SCSI nodes needs: anything else
// fails the test, so that a rule this reader would misjudge cannot pass.
QVector<Rule> parseRules(const QByteArray &text)
{
    static const QRegularExpression key(
        QStringLiteral(R"re(\G(SUBSYSTEM|SUBSYSTEMS|ATTRS\{vendor\}|ATTRS\{model\}|TAG)(==|\+=)"([^"]*)"(, |$))re"));
    QVector<Rule> rules;
    for (const QByteArray &line : text.split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QString rule = QString::fromLatin1(line);
        Rule parsed;
        qsizetype end = 0;
        for (auto it = key.globalMatch(rule); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QByteArray value = m.captured(3).toLatin1();
            if (m.captured(1) == QLatin1String("TAG") && m.captured(2) == QLatin1String("+="))
                parsed.tag = value;
            else if (m.captured(2) == QLatin1String("=="))
                parsed.matches.insert(m.captured(1), value);
            else
                ADD_FAILURE() << "unexpected assignment in: " << line.constData();
            end = m.capturedEnd();
        }
        EXPECT_EQ(end, rule.size()) << "unreadable rule: " << line.constData();
        EXPECT_EQ(parsed.matches.value(QStringLiteral("SUBSYSTEM")), "scsi_generic") << line.constData();
        EXPECT_EQ(parsed.matches.value(QStringLiteral("SUBSYSTEMS")), "scsi") << line.constData();
        EXPECT_EQ(parsed.tag, "uaccess") << line.constData();
        rules.append(parsed);
    }
    return rules;
}

// udev's attribute match: a shell glob, with the value's trailing spaces ignored unless the
// pattern itself ends in one.
bool attributeMatches(const QByteArray &pattern, QByteArray value)
{
    while (!pattern.endsWith(' ') && value.endsWith(' '))
        value.chop(1);
    return fnmatch(pattern.constData(), value.constData(), 0) == 0;
}

bool rulesGrant(const QVector<Rule> &rules, const Device &d)
{
    return std::any_of(rules.cbegin(), rules.cend(), [&](const Rule &rule) {
        const auto vendor = rule.matches.constFind(QStringLiteral("ATTRS{vendor}"));
        const auto model = rule.matches.constFind(QStringLiteral("ATTRS{model}"));
        return (vendor != rule.matches.cend() || model != rule.matches.cend()) &&
               (vendor == rule.matches.cend() || attributeMatches(*vendor, d.vendor)) &&
               (model == rule.matches.cend() || attributeMatches(*model, d.model));
    });
}

// What the program serves, asked of its own matching: a drive by its vendor text followed by
// its product text, a flash device by its INQUIRY answer.
bool tableServes(const QVector<OrvoDeviceInfo> &rows, const Device &d)
{
    if (!OrvoDeviceRegistry::matchDeviceInfos(QString::fromLatin1(d.vendor + d.model), rows).isEmpty())
        return true;
    const QByteArray inquiry = QByteArray::fromHex("008002021F000000") + d.vendor + d.model + "1.00";
    QStringList matchStrings;
    for (const OrvoDeviceInfo &row : rows)
        matchStrings.append(row.matchString);
    return OrvoUtility::getRegistryDevice(inquiry, matchStrings) >= 0;
}

QByteArray withoutMiddle(const QByteArray &text)
{
    QByteArray shorter = text;
    return shorter.remove(text.size() / 2, 1);
}

// Devices that show each alternative in every place it can be found, in other cases, cut
// short, and split at the vendor's end with and without padding between; and some common
// devices of other makers.
QVector<Device> samplesOf(const QVector<OrvoDeviceInfo> &rows)
{
    QVector<Device> samples = {device("ATA", "Samsung SSD 870"), device("Generic", "STORAGE DEVICE"),
                               device("USB", "DISK 2.0"), device("SanDisk", "Cruzer Blade")};
    for (const OrvoDeviceInfo &row : rows) {
        for (const QString &part : row.matchString.split(QLatin1Char(':'))) {
            const QByteArray text = part.toLatin1();
            for (const QByteArray &variant : {text, text.toUpper(), text.toLower(), withoutMiddle(text)}) {
                samples.append(device(variant, "USB DISK"));
                samples.append(device("ACME", variant));
                samples.append(device(variant.left(kVendorWidth), variant.mid(kVendorWidth)));
                for (qsizetype split = 1; split < variant.size(); ++split) {
                    const QByteArray head = QByteArray("XXXXXXXX" + variant.left(split)).right(kVendorWidth);
                    samples.append(device(head, variant.mid(split)));
                    samples.append(device(variant.left(split), variant.mid(split)));
                }
            }
        }
    }
    return samples;
}

void expectRulesAgreeWithTable(const QByteArray &rulesText, const QVector<OrvoDeviceInfo> &rows)
{
    const QVector<Rule> rules = parseRules(rulesText);
    int served = 0;
    for (const Device &d : samplesOf(rows)) {
        const bool expected = tableServes(rows, d);
        served += expected ? 1 : 0;
        EXPECT_EQ(rulesGrant(rules, d), expected)
            << "vendor \"" << d.vendor.constData() << "\" model \"" << d.model.constData() << '"';
    }
    EXPECT_GT(served, 0);
}

OrvoDeviceInfo row(const char *model, const QString &match)
{
    return {QStringLiteral("1105"), QLatin1String(model), match, {}};
}

QVector<OrvoDeviceInfo> tableRows()
{
    QVector<OrvoDeviceInfo> rows;
    for (const OrvoDeviceTypeTable::Row &r : OrvoDeviceTypeTable::rows())
        rows.append(r.info);
    return rows;
}

TEST(OrvoUdevRules, TheBuiltRulesFileGrantsExactlyTheDevicesOfTheTable)
{
    QFile built(qEnvironmentVariable("ORVO_UDEV_RULES"));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly)) << qPrintable(built.fileName());
    const QByteArray text = built.readAll();
    QByteArray composed;
    QString error;
    ASSERT_TRUE(OrvoUdevRules::compose(tableRows(), composed, error)) << qPrintable(error);
    EXPECT_EQ(text, composed);
    expectRulesAgreeWithTable(text, tableRows());
}

struct TableCase
{
    const char *name;
    QVector<OrvoDeviceInfo> rows;
};

void PrintTo(const TableCase &c, std::ostream *os)
{
    *os << c.name;
}

class OrvoUdevRulesTableTest : public ::testing::TestWithParam<TableCase>
{};

TEST_P(OrvoUdevRulesTableTest, GrantExactlyTheDevicesTheTableServes)
{
    QByteArray rules;
    QString error;
    ASSERT_TRUE(OrvoUdevRules::compose(GetParam().rows, rules, error)) << qPrintable(error);
    expectRulesAgreeWithTable(rules, GetParam().rows);
}

const TableCase kTables[] = {
    {"one_flash_device", {row("Kavel40", QStringLiteral("KOSMIR"))}},
    {"texts_in_several_cases_and_rows",
     {row("Kavel21", QStringLiteral("TARVEX:kavel:Kavel")), row("Kavel50", QStringLiteral("Tarvex:KAVEL"))}},
    // "MS" alone is no alternative: the longer texts must keep their own rules.
    {"texts_with_spaces_across_the_vendor_field", {row("Kavel50", QStringLiteral("VORNA Device:VORNA MS"))}},
    {"text_longer_than_the_vendor_field", {row("Pulmor30", QStringLiteral("TESKAPULMOR30"))}},
    {"text_longer_than_the_model_field", {row("Pulmor35", QStringLiteral("ZUNDAR-PULMOR-35-HR"))}},
    {"punctuation", {row("Kavel35", QStringLiteral("Q.U-I_L/M+A"))}},
};

INSTANTIATE_TEST_SUITE_P(All, OrvoUdevRulesTableTest, ::testing::ValuesIn(kTables),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(OrvoUdevRules, RefusesMatchTextsThatWouldOpenOtherDevices)
{
    const struct
    {
        const char *name;
        QString match;
    } cases[] = {
        {"empty table entry", QString()},
        {"empty alternative", QStringLiteral("KOSMIR:")},
        {"only spaces", QStringLiteral("KOSMIR:  ")},
        {"star", QStringLiteral("KOS*")},
        {"question mark", QStringLiteral("KO?MIR")},
        {"bracket", QStringLiteral("[K]OSMIR")},
        {"bar", QStringLiteral("KOS|MIR")},
        {"quote", QStringLiteral("KOS\"MIR")},
        {"backslash", QStringLiteral("KOS\\MIR")},
        {"tab", QStringLiteral("KOS\tMIR")},
        {"not ASCII", QStringLiteral("K\u00d6SMIR")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray rules = "untouched";
        QString error;
        EXPECT_FALSE(OrvoUdevRules::compose({row("Kavel20", QStringLiteral("TREVANIS")), row("Kavel40", c.match)},
                                            rules, error));
        EXPECT_EQ(rules, "untouched");
        EXPECT_TRUE(error.contains(QStringLiteral("Kavel40"))) << qPrintable(error);
    }
}

} // namespace
