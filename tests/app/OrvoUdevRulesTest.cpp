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

// How the device is attached: its SCSI generic node has a USB device among its parents, and
// udev may have named its bus.
enum class Bus { Usb, UsbNamedByUdev, Internal };

struct Device
{
    QByteArray vendor;
    QByteArray model;
    Bus bus = Bus::Usb;
};

Device device(const QByteArray &vendor, const QByteArray &model, Bus bus = Bus::Usb)
{
    return {vendor.left(kVendorWidth).leftJustified(kVendorWidth, ' '),
            model.left(kModelWidth).leftJustified(kModelWidth, ' '), bus};
}

const QString kUsbMark = QStringLiteral("ENV{ORVO_USB_ATTACHED}");

// One rule as udev reads it: the node's subsystem, the keys that match the node's parents and
// properties, and what it assigns.
struct Rule
{
    QMap<QString, QByteArray> matches;
    QMap<QString, QByteArray> assigned;
};

// Reads the rules, taking only the keys that rules of access to SCSI nodes of USB devices
// need: anything else fails the test, so that a rule this reader would misjudge cannot pass.
QVector<Rule> parseRules(const QByteArray &text)
{
    static const QRegularExpression key(QStringLiteral(
        R"re(\G(SUBSYSTEM|SUBSYSTEMS|ATTRS\{vendor\}|ATTRS\{model\}|ENV\{ID_BUS\}|ENV\{ORVO_USB_ATTACHED\}|TAG)(==|\+=|=)"([^"]*)"(, |$))re"));
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
            if (m.captured(2) == QLatin1String("=="))
                parsed.matches.insert(m.captured(1), value);
            else
                parsed.assigned.insert(m.captured(1), value);
            end = m.capturedEnd();
        }
        EXPECT_EQ(end, rule.size()) << "unreadable rule: " << line.constData();
        EXPECT_EQ(parsed.matches.value(QStringLiteral("SUBSYSTEM")), "scsi_generic") << line.constData();
        const bool marks = parsed.assigned.keys() == QStringList{kUsbMark};
        const bool grants = parsed.assigned.keys() == QStringList{QStringLiteral("TAG")};
        EXPECT_TRUE(marks || grants) << line.constData();
        if (marks) {
            EXPECT_EQ(parsed.assigned.value(kUsbMark), "1");
        } else {
            EXPECT_EQ(parsed.assigned.value(QStringLiteral("TAG")), "uaccess") << line.constData();
            EXPECT_EQ(parsed.matches.value(QStringLiteral("SUBSYSTEMS")), "scsi") << line.constData();
            EXPECT_EQ(parsed.matches.value(kUsbMark), "1") << "a rule for every bus: " << line.constData();
        }
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

// Whether the rule's keys other than the mark hold for the device. SUBSYSTEMS=="usb" finds a
// USB parent; ENV{ID_BUS} is what udev tells of the bus, and it tells it of USB devices only.
bool keysHold(const Rule &rule, const Device &d, bool marked)
{
    for (auto it = rule.matches.cbegin(); it != rule.matches.cend(); ++it) {
        const QString &name = it.key();
        if (name == QLatin1String("SUBSYSTEMS") && *it == "usb" && d.bus == Bus::Internal)
            return false;
        if (name == QLatin1String("ENV{ID_BUS}") && !(*it == "usb" && d.bus == Bus::UsbNamedByUdev))
            return false;
        if (name == QLatin1String("ATTRS{vendor}") && !attributeMatches(*it, d.vendor))
            return false;
        if (name == QLatin1String("ATTRS{model}") && !attributeMatches(*it, d.model))
            return false;
        if (name == kUsbMark && !(marked && *it == "1"))
            return false;
    }
    return true;
}

// The rules in their order, as udev runs them on the device's node.
bool rulesGrant(const QVector<Rule> &rules, const Device &d)
{
    bool marked = false;
    bool granted = false;
    for (const Rule &rule : rules) {
        if (!keysHold(rule, d, marked))
            continue;
        if (rule.assigned.contains(kUsbMark)) {
            marked = true;
        } else {
            EXPECT_TRUE(rule.matches.contains(QStringLiteral("ATTRS{vendor}")) ||
                        rule.matches.contains(QStringLiteral("ATTRS{model}")));
            granted = true;
        }
    }
    return granted;
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

// Where a device of ours shows a text of the table: at the start of the vendor field, at the
// start of the model field, or from the end of the (full, padded) vendor field into the model.
bool placedAsOurs(const QVector<OrvoDeviceInfo> &rows, const Device &d)
{
    for (const OrvoDeviceInfo &row : rows) {
        for (const QString &part : row.matchString.split(QLatin1Char(':'))) {
            const QByteArray text = part.trimmed().toLower().toLatin1();
            const QByteArray vendor = d.vendor.toLower();
            const QByteArray model = d.model.toLower();
            if ((text.size() <= kVendorWidth && vendor.startsWith(text)) ||
                (text.size() <= kModelWidth && model.startsWith(text)))
                return true;
            for (qsizetype split = 1; split < text.size(); ++split) {
                if (vendor.endsWith(text.left(split)) && model.startsWith(text.mid(split)))
                    return true;
            }
        }
    }
    return false;
}

QByteArray withoutMiddle(const QByteArray &text)
{
    QByteArray shorter = text;
    return shorter.remove(text.size() / 2, 1);
}

// Devices that show each alternative in every place it can be found (and where a device of
// ours never shows it), in other cases, cut short, and split at the vendor's end with and
// without padding between; on USB, named by udev or not, and as internal disks; and some
// common devices of other makers.
QVector<Device> samplesOf(const QVector<OrvoDeviceInfo> &rows)
{
    QVector<Device> samples = {device("ATA", "Samsung SSD 870"), device("Generic", "STORAGE DEVICE"),
                               device("USB", "DISK 2.0"), device("SanDisk", "Cruzer Blade")};
    for (const OrvoDeviceInfo &row : rows) {
        for (const QString &part : row.matchString.split(QLatin1Char(':'))) {
            const QByteArray text = part.toLatin1();
            for (const QByteArray &variant : {text, text.toUpper(), text.toLower(), withoutMiddle(text)}) {
                for (const Bus bus : {Bus::Usb, Bus::UsbNamedByUdev, Bus::Internal}) {
                    samples.append(device(variant, "USB DISK", bus));
                    samples.append(device("ACME", variant, bus));
                    samples.append(device("ATA", variant + " SSD 1TB", bus));
                    samples.append(device("ACME", "SSD " + variant, bus));
                    samples.append(device("X" + variant, "USB DISK", bus));
                    samples.append(device(variant.left(kVendorWidth), variant.mid(kVendorWidth), bus));
                    for (qsizetype split = 1; split < variant.size(); ++split) {
                        const QByteArray head = QByteArray("XXXXXXXX" + variant.left(split)).right(kVendorWidth);
                        samples.append(device(head, variant.mid(split), bus));
                        samples.append(device(variant.left(split), variant.mid(split), bus));
                    }
                }
            }
        }
    }
    return samples;
}

// The rules grant exactly the USB-attached devices that show a text of the table where a
// device of ours shows it, and nothing the program would not serve.
void expectRulesAgreeWithTable(const QByteArray &rulesText, const QVector<OrvoDeviceInfo> &rows)
{
    const QVector<Rule> rules = parseRules(rulesText);
    int served = 0;
    int internal = 0;
    for (const Device &d : samplesOf(rows)) {
        const bool ours = placedAsOurs(rows, d);
        const bool expected = ours && d.bus != Bus::Internal;
        served += expected ? 1 : 0;
        internal += ours && d.bus == Bus::Internal ? 1 : 0;
        const bool granted = rulesGrant(rules, d);
        EXPECT_EQ(granted, expected) << "vendor \"" << d.vendor.constData() << "\" model \"" << d.model.constData()
                                     << "\" bus " << int(d.bus);
        if (granted) {
            EXPECT_TRUE(tableServes(rows, d))
                << "vendor \"" << d.vendor.constData() << "\" model \"" << d.model.constData() << '"';
        }
    }
    EXPECT_GT(served, 0);
    EXPECT_GT(internal, 0);
}

// Internal disks whose model holds a text of the table, and USB devices of other makers that
// hold one in the middle of a field: none is opened.
TEST(OrvoUdevRules, InternalDisksAndOtherMakersWordsAreNotOpened)
{
    QByteArray rules;
    QString error;
    QVector<OrvoDeviceInfo> rows;
    for (const OrvoDeviceTypeTable::Row &r : OrvoDeviceTypeTable::rows())
        rows.append(r.info);
    ASSERT_TRUE(OrvoUdevRules::compose(rows, rules, error)) << qPrintable(error);
    const QVector<Rule> parsed = parseRules(rules);
    const struct
    {
        const char *name;
        Device device;
        bool granted;
    } cases[] = {
        {"our flash device on USB", device("TARVEX", "KOSMIR"), true},
        {"our drive on USB, named by udev", device("Tarvex", "Kavel50", Bus::UsbNamedByUdev), true},
        {"internal disk named like our flash device", device("ATA", "KOSMIR SSD 1TB", Bus::Internal), false},
        {"internal disk of our vendor's name", device("TARVEX", "KAVEL", Bus::Internal), false},
        {"USB disk with the word inside its model", device("ACME", "SSD KOSMIR 1TB"), false},
        {"USB disk with the word inside its vendor", device("XKOSMIR", "DISK"), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rulesGrant(parsed, c.device), c.granted);
    }
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
