#include "app/OrvoUdevRules.h"

#include <QStringList>

#include <algorithm>

namespace {

// Field widths of a SCSI INQUIRY answer, which the kernel shows as the vendor and model
// attributes of the SCSI device, padded with spaces.
constexpr qsizetype kVendorLength = 8;
constexpr qsizetype kModelLength = 16;

const QByteArray kHeader = "# Generated from the device-type table by orvo-udev-rules; do not edit.\n"
                           "# Gives the user at the seat read and write access to the SCSI generic nodes of the\n"
                           "# supported devices. The number keeps it before 73-seat-late.rules, which turns the\n"
                           "# uaccess tag into an access list.\n";

// Our devices are attached by USB: a node of any other bus (an internal disk whose model holds
// one of the texts) is never marked, and only marked nodes are matched.
const QByteArray kUsbMark = "ORVO_USB_ATTACHED";
const QByteArray kMarkUsbNodes = "\n# Nodes of USB-attached devices only.\n"
                                 "SUBSYSTEM==\"scsi_generic\", SUBSYSTEMS==\"usb\", ENV{" +
                                 kUsbMark +
                                 "}=\"1\"\n"
                                 "SUBSYSTEM==\"scsi_generic\", ENV{ID_BUS}==\"usb\", ENV{" +
                                 kUsbMark + "}=\"1\"\n";

// One alternative, in lower case, and the models whose rows hold it.
struct Alternative
{
    QString text;
    QStringList models;
};

// Characters a udev match value takes literally: no glob, alternative, quote or escape.
bool isLiteral(QChar c)
{
    static const QString kSpecial = QStringLiteral("*?[]|\"\\");
    return c.unicode() >= 0x20 && c.unicode() < 0x7f && !kSpecial.contains(c);
}

bool collect(const OrvoDeviceInfo &row, QVector<Alternative> &alternatives, QString &error)
{
    for (const QString &part : row.matchString.split(QLatin1Char(':'))) {
        // Leading and trailing spaces are dropped: a shorter text matches everything the longer
        // one does, and udev ignores the padding after an attribute's value.
        const QString text = part.trimmed().toLower();
        if (text.isEmpty() || !std::all_of(text.cbegin(), text.cend(), isLiteral)) {
            error = QStringLiteral("row %1 (%2): match text \"%3\" cannot be a udev rule")
                        .arg(row.productId, row.modelName, part);
            return false;
        }
        auto known = std::find_if(alternatives.begin(), alternatives.end(),
                                  [&](const Alternative &a) { return a.text == text; });
        if (known == alternatives.end())
            known = alternatives.insert(alternatives.end(), Alternative{text, {}});
        if (!known->models.contains(row.modelName))
            known->models.append(row.modelName);
    }
    return true;
}

// A glob that matches the text in either case: "[Kk][Oo]..." for letters, the rest as is.
QByteArray anyCase(const QString &text)
{
    QByteArray glob;
    glob.reserve(text.size() * 4);
    for (const QChar c : text) {
        const char lower = char(c.toLower().unicode());
        const char upper = char(c.toUpper().unicode());
        if (lower == upper) {
            glob.append(lower);
        } else {
            glob.append('[').append(upper).append(lower).append(']');
        }
    }
    return glob;
}

QByteArray rule(const QByteArray &vendorGlob, const QByteArray &modelGlob)
{
    // SUBSYSTEMS keeps the attributes to the SCSI device itself: a PCI parent has a "vendor"
    // attribute too.
    QByteArray line = "SUBSYSTEM==\"scsi_generic\", ENV{" + kUsbMark + "}==\"1\", SUBSYSTEMS==\"scsi\"";
    if (!vendorGlob.isEmpty())
        line += ", ATTRS{vendor}==\"" + vendorGlob + '"';
    if (!modelGlob.isEmpty())
        line += ", ATTRS{model}==\"" + modelGlob + '"';
    return line + ", TAG+=\"uaccess\"\n";
}

// The text where the device's INQUIRY answer puts the identity: at the start of the vendor
// field, at the start of the model field, or running from the end of the vendor field into the
// model. A text elsewhere in a field is some other maker's word.
QByteArray rulesOf(const Alternative &alternative)
{
    const QString &text = alternative.text;
    QByteArray rules =
        "\n# " + text.toLatin1() + ": " + alternative.models.join(QStringLiteral(", ")).toLatin1() + '\n';
    if (text.size() <= kVendorLength)
        rules += rule(anyCase(text) + '*', {});
    if (text.size() <= kModelLength)
        rules += rule({}, anyCase(text) + '*');
    // The "?" fill asks for all 8 characters: udev ignores the padding at the end of a value,
    // the program does not.
    for (qsizetype split = 1; split < text.size(); ++split) {
        const QString head = text.left(split);
        const QString tail = text.mid(split);
        if (head.size() > kVendorLength || tail.size() > kModelLength)
            continue;
        rules += rule(QByteArray(kVendorLength - head.size(), '?') + anyCase(head), anyCase(tail) + '*');
    }
    return rules;
}

} // namespace

bool OrvoUdevRules::compose(const QVector<OrvoDeviceInfo> &rows, QByteArray &rules, QString &error)
{
    QVector<Alternative> alternatives;
    for (const OrvoDeviceInfo &row : rows) {
        if (!collect(row, alternatives, error))
            return false;
    }
    QByteArray text = kHeader + kMarkUsbNodes;
    for (const Alternative &alternative : std::as_const(alternatives))
        text += rulesOf(alternative);
    rules = text;
    return true;
}
