#include "util/ZKGpxReader.h"

#include "env/ZKLogger.h"
#include "util/ZKGpxDialect.h"

#include <QFile>

#include <array>
#include <vector>

namespace {

enum Dialect { First = 1, Second = 2, Both = First | Second };

enum class ChildKind {
    // Its text under its name.
    Leaf,
    // Its attributes under "<name>_<attribute>", then its text under its name.
    AttributedLeaf,
    // Looked into: its own children belong to the enclosing element.
    Container,
    // Looked into after its attributes are taken as "<name>_<attribute>".
    AttributedContainer,
    // An element of the rule table, read by its own rule.
    Block,
};

// Names are texts built once, so that the keys handed on share them instead of being built
// again for every element read.
struct ChildRule
{
    QString name;
    ChildKind kind;
    int dialects = Both;
};

using Opening = void (ZKGpxImportable::*)();
using Closing = void (ZKGpxImportable::*)(const ZKGpxKeyMap &);

// What one element of the dialect opens in the target, which of its children carry values, and
// what receives the values at its end tag.
struct BlockRule
{
    QString name;
    Opening open;
    bool collectsAttributes;
    Closing close;
    std::vector<ChildRule> children;
};

constexpr ChildKind kLeaf = ChildKind::Leaf;
constexpr ChildKind kBlock = ChildKind::Block;

const std::vector<ChildRule> kLapChildren = {
    {QStringLiteral("distance"), kLeaf},
    {QStringLiteral("calorie"), kLeaf},
    {QStringLiteral("step"), kLeaf},
    {QStringLiteral("altloss"), kLeaf},
    {QStringLiteral("altgain"), kLeaf},
    {QStringLiteral("rtime"), kLeaf},
    {QStringLiteral("gainaltlen"), kLeaf},
    {QStringLiteral("lostaltlen"), kLeaf},
    {QStringLiteral("gainalttime"), kLeaf},
    {QStringLiteral("lostalttime"), kLeaf},
    {QStringLiteral("speed"), ChildKind::AttributedContainer},
    {QStringLiteral("hrm"), ChildKind::AttributedContainer},
    {QStringLiteral("cad"), ChildKind::AttributedContainer},
    {QStringLiteral("pwr"), ChildKind::AttributedContainer},
};

const std::array kBlockRules = {
    BlockRule{QStringLiteral("rte"),
              &ZKGpxImportable::newRoute,
              false,
              &ZKGpxImportable::setRoute,
              {{QStringLiteral("name"), kLeaf},
               {QStringLiteral("cmt"), kLeaf},
               {QStringLiteral("desc"), kLeaf},
               {QStringLiteral("src"), kLeaf},
               {QStringLiteral("number"), kLeaf},
               {QStringLiteral("type"), kLeaf},
               {QStringLiteral("rtept"), kBlock}}},
    BlockRule{QStringLiteral("rtept"),
              nullptr,
              true,
              &ZKGpxImportable::addRoutePoint,
              {{QStringLiteral("name"), kLeaf},
               {QStringLiteral("cmt"), kLeaf},
               {QStringLiteral("desc"), kLeaf},
               {QStringLiteral("type"), kLeaf}}},
    BlockRule{
        QStringLiteral("trk"), &ZKGpxImportable::newTrackList, false, nullptr, {{QStringLiteral("trkseg"), kBlock}}},
    BlockRule{QStringLiteral("trkseg"),
              &ZKGpxImportable::newTrack,
              false,
              &ZKGpxImportable::setIntervalSegment,
              {{QStringLiteral("trkpt"), kBlock},
               {QStringLiteral("order"), kLeaf, Second},
               {QStringLiteral("extensions"), ChildKind::Container, Second},
               {QStringLiteral("itvSeg"), ChildKind::AttributedContainer, Second},
               {QStringLiteral("acttype"), ChildKind::AttributedLeaf, Second}}},
    BlockRule{QStringLiteral("trkpt"),
              nullptr,
              true,
              &ZKGpxImportable::addTrackPoint,
              {{QStringLiteral("ele"), kLeaf},
               {QStringLiteral("cmt"), kLeaf},
               {QStringLiteral("time"), kLeaf},
               {QStringLiteral("type"), kLeaf},
               {QStringLiteral("magvar"), kLeaf},
               {QStringLiteral("speed"), kLeaf},
               {QStringLiteral("extensions"), ChildKind::Container}}},
    BlockRule{QStringLiteral("wpt"),
              nullptr,
              true,
              &ZKGpxImportable::addWaypoint,
              {{QStringLiteral("name"), kLeaf},
               {QStringLiteral("cmt"), kLeaf},
               {QStringLiteral("desc"), kLeaf},
               {QStringLiteral("sym"), kLeaf},
               {QStringLiteral("ele"), kLeaf},
               {QStringLiteral("time"), kLeaf},
               {QStringLiteral("type"), ChildKind::AttributedLeaf},
               {QStringLiteral("tel"), kLeaf},
               {QStringLiteral("ctry"), kLeaf},
               {QStringLiteral("place"), kLeaf},
               {QStringLiteral("road"), kLeaf},
               {QStringLiteral("hnum"), kLeaf},
               {QStringLiteral("extensions"), ChildKind::Container}}},
    BlockRule{QStringLiteral("extensions"),
              nullptr,
              false,
              nullptr,
              {{QStringLiteral("ssrlog"), kBlock, Second},
               {QStringLiteral("wrklog"), kBlock, Second},
               {QStringLiteral("laps"), kBlock, Second},
               {QStringLiteral("training"), kBlock, First}}},
    BlockRule{QStringLiteral("training"),
              &ZKGpxImportable::newTrainingLog,
              false,
              nullptr,
              {{QStringLiteral("logpt"), kBlock}}},
    BlockRule{QStringLiteral("ssrlog"),
              &ZKGpxImportable::newLogSegmentList,
              false,
              nullptr,
              {{QStringLiteral("logseg"), kBlock}}},
    BlockRule{
        QStringLiteral("logseg"), &ZKGpxImportable::newLogSegment, false, nullptr, {{QStringLiteral("logpt"), kBlock}}},
    BlockRule{QStringLiteral("logpt"),
              nullptr,
              true,
              &ZKGpxImportable::addLogPoint,
              {{QStringLiteral("hrm"), kLeaf},
               {QStringLiteral("cad"), kLeaf},
               {QStringLiteral("spd"), kLeaf},
               {QStringLiteral("tmp"), kLeaf},
               {QStringLiteral("brm"), kLeaf},
               {QStringLiteral("pwr"), kLeaf, Second},
               {QStringLiteral("pdm"), kLeaf, First},
               {QStringLiteral("cps"), kLeaf, First}}},
    BlockRule{QStringLiteral("wrklog"),
              &ZKGpxImportable::newWorkoutLog,
              true,
              &ZKGpxImportable::setWorkoutLog,
              {{QStringLiteral("lthr"), kLeaf},
               {QStringLiteral("mhr"), kLeaf},
               {QStringLiteral("map"), kLeaf},
               {QStringLiteral("ftp"), kLeaf},
               {QStringLiteral("interval"), kBlock}}},
    BlockRule{QStringLiteral("interval"),
              nullptr,
              true,
              &ZKGpxImportable::addWorkoutInterval,
              {{QStringLiteral("start"), kLeaf}, {QStringLiteral("end"), kLeaf}}},
    BlockRule{QStringLiteral("laps"),
              &ZKGpxImportable::newLapList,
              false,
              nullptr,
              {{QStringLiteral("lap"), kBlock}, {QStringLiteral("summary"), kBlock}}},
    BlockRule{QStringLiteral("lap"), nullptr, true, &ZKGpxImportable::addLap, kLapChildren},
    BlockRule{QStringLiteral("summary"), nullptr, true, &ZKGpxImportable::setSummary, kLapChildren},
};

// The children of `gpx` read by the rule table; `metadata` has a reader of its own.
const std::array kRootBlocks = {"rte", "trk", "wpt", "extensions"};

// Leaves of the metadata extensions, compared in lower case.
const std::array kMetadataExtensionLeaves = {"stime",  "etime",  "poollen", "sharetype", "sctry",  "ectry",
                                             "splace", "eplace", "rtetype", "trvtime",   "trvdist"};

const BlockRule *findBlockRule(QStringView name)
{
    for (const BlockRule &rule : kBlockRules) {
        if (name == rule.name)
            return &rule;
    }
    return nullptr;
}

const ChildRule *findChildRule(const BlockRule &rule, QStringView name)
{
    for (const ChildRule &child : rule.children) {
        if (name == child.name)
            return &child;
    }
    return nullptr;
}

template<std::size_t N>
bool isOneOf(QStringView name, const std::array<const char *, N> &names)
{
    for (const char *candidate : names) {
        if (name == QLatin1String(candidate))
            return true;
    }
    return false;
}

} // namespace

ZKGpxReader::ZKGpxReader(ZKGpxImportable &target)
    : m_target(target)
{}

bool ZKGpxReader::readFile(const QString &path)
{
    m_error.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        ZK_LOG_ERROR(QStringLiteral("can't open %s"), path);
        m_error = file.errorString();
        return false;
    }
    clear();
    setDevice(&file);
    while (!atEnd()) {
        readNext();
        if (!isStartElement())
            continue;
        if (isStartElement() && name() == QLatin1String("gpx"))
            readGpx();
        else
            raiseError(QStringLiteral("error reading <gpx>"));
    }
    bool ok = true;
    if (hasError()) {
        m_error = QStringLiteral("%1 (line %2, column %3)")
                      .arg(QXmlStreamReader::errorString())
                      .arg(lineNumber())
                      .arg(columnNumber());
        ok = false;
    } else if (file.error() != QFileDevice::NoError) {
        m_error = file.errorString();
        ok = false;
    }
    // The file goes out of scope here; the reader must not keep pointing at it.
    setDevice(nullptr);
    return ok;
}

QString ZKGpxReader::ownName() const
{
    return ownNameView().toString();
}

QStringView ZKGpxReader::ownNameView() const
{
    return namespaceUri() == m_namespace ? name() : QStringView();
}

bool ZKGpxReader::acceptsDialect(int dialects) const
{
    return (dialects & m_majorVersion) != 0;
}

void ZKGpxReader::readGpx()
{
    // A file of another creator or dialect reaches the target with nothing; its first child then
    // fails the top-level scan in readFile.
    if (attributes().value(QStringLiteral("creator")).toString().toLower() != QLatin1String(kZKGpxCreator))
        return;
    const QStringView version = attributes().value(QStringLiteral("version"));
    int major = 0;
    if (version.startsWith(QLatin1String("2.")))
        major = 2;
    else if (version.startsWith(QLatin1String("1.")))
        major = 1;
    else
        return;
    m_majorVersion = major;
    m_namespace = namespaceUri().toString();
    m_target.setVersion(major);

    while (!atEnd()) {
        readNext();
        if (isEndElement())
            return;
        if (!isStartElement())
            continue;
        const QString element = ownName();
        if (element == QLatin1String("metadata"))
            readMetadata();
        else if (isOneOf(element, kRootBlocks))
            readBlock(element);
        else
            skipElement();
    }
}

void ZKGpxReader::readBlock(QStringView element)
{
    const BlockRule &rule = *findBlockRule(element);
    if (rule.open)
        (m_target.*rule.open)();
    ZKGpxKeyMap map;
    if (rule.collectsAttributes)
        readAttributes(rule.name, map);

    int depth = 0;
    while (!atEnd()) {
        readNext();
        if (isEndElement()) {
            if (depth == 0)
                break;
            --depth;
            continue;
        }
        if (!isStartElement())
            continue;
        const ChildRule *child = findChildRule(rule, ownNameView());
        if (!child || !acceptsDialect(child->dialects)) {
            skipElement();
            continue;
        }
        const QString &childName = child->name;
        switch (child->kind) {
        case ChildKind::AttributedLeaf:
            readAttributes(childName, map);
            map.insert(childName, readLeafText());
            break;
        case ChildKind::Leaf:
            map.insert(childName, readLeafText());
            break;
        case ChildKind::AttributedContainer:
            readAttributes(childName, map);
            ++depth;
            break;
        case ChildKind::Container:
            ++depth;
            break;
        case ChildKind::Block:
            readBlock(childName);
            break;
        }
    }
    // An element cut off by the end of the input or an XML error hands nothing on.
    if (isEndElement() && rule.close)
        (m_target.*rule.close)(map);
}

void ZKGpxReader::readMetadata()
{
    m_target.newMetadata();
    ZKGpxKeyMap map;
    int depth = 0;
    // `name` or `author` while inside one: its text and its children's keys are named after it.
    QString captured;
    while (!atEnd()) {
        readNext();
        if (isStartElement()) {
            const QString element = ownName();
            if (element == QLatin1String("time")) {
                map.insert(element, readLeafText());
            } else if (element == QLatin1String("bounds")) {
                readAttributes(element, map);
                ++depth;
            } else if (depth == 0 && (element == QLatin1String("name") || element == QLatin1String("author"))) {
                captured = element;
                depth = 1;
            } else if (depth == 0 && element == QLatin1String("desc")) {
                map.insert(element, readLeafText());
            } else if (depth == 0 && element == QLatin1String("extensions")) {
                readMetadataExtensions();
            } else if (depth == 1 && (element == QLatin1String("name") || element == QLatin1String("email") ||
                                      element == QLatin1String("link"))) {
                map.insert(captured + QLatin1Char('_') + element, readLeafText());
            } else if (depth == 1 && element == QLatin1String("extensions")) {
                depth = 2;
            } else if (depth == 2 && element == QLatin1String("shtname")) {
                map.insert(captured + QLatin1String("_shtname"), readLeafText());
            } else {
                skipElement();
            }
        } else if (isCharacters() && !captured.isEmpty()) {
            const QString text = this->text().trimmed().toString();
            if (!text.isEmpty())
                map.insert(captured, text);
        } else if (isEndElement()) {
            if (depth == 0) {
                m_target.setMetadata(map);
                return;
            }
            captured.clear();
            --depth;
        }
    }
}

void ZKGpxReader::readMetadataExtensions()
{
    const bool second = m_majorVersion == 2;
    ZKGpxKeyMap map;
    int depth = 0;
    // Inside `sys` until its first text that is not white space.
    bool awaitingSysText = false;
    while (!atEnd()) {
        readNext();
        if (isStartElement()) {
            const QString element = ownName().toLower();
            if (second && depth == 0 && element == QLatin1String("user")) {
                skipElement();
            } else if (second && depth == 0 && element == QLatin1String("sys")) {
                readAttributes(element, map);
                awaitingSysText = true;
                depth = 1;
            } else if (second && depth == 1 && element == QLatin1String("apps")) {
                depth = 2;
            } else if (second && depth == 2 && element == QLatin1String("app")) {
                readAttributes(element, map);
                depth = 3;
            } else if (depth == 0 && isOneOf(element, kMetadataExtensionLeaves)) {
                map.insert(element, readLeafText());
            } else if (depth == 0 && element == QLatin1String("acttype")) {
                if (second)
                    readAttributes(element, map);
                map.insert(element, readLeafText());
            } else {
                skipElement();
            }
        } else if (isCharacters() && awaitingSysText && !isWhitespace()) {
            const QString text = this->text().trimmed().toString();
            if (!text.isEmpty())
                map.insert(QStringLiteral("sys"), text);
            awaitingSysText = false;
        } else if (isEndElement()) {
            if (depth == 0) {
                m_target.setMetadataExtensions(map);
                return;
            }
            if (--depth == 0)
                awaitingSysText = false;
        }
    }
}

void ZKGpxReader::readAttributes(const QString &prefix, ZKGpxKeyMap &map)
{
    const QXmlStreamAttributes all = attributes();
    for (const QXmlStreamAttribute &attribute : all)
        map.insert(attributeKey(prefix, attribute.qualifiedName()), attribute.value().toString());
}

QString ZKGpxReader::attributeKey(const QString &prefix, QStringView name)
{
    for (const AttributeKey &known : m_attributeKeys) {
        if (known.name == name && known.prefix == prefix)
            return known.key;
    }
    // Built in place: one allocation per key, where joining texts would make three.
    QString key;
    key.reserve(prefix.size() + 1 + name.size());
    key.append(prefix).append(QLatin1Char('_')).append(name);
    // A file of many attribute names only builds the rest for itself.
    if (m_attributeKeys.size() < kKeptAttributeKeys)
        m_attributeKeys.push_back({prefix, name.toString(), key});
    return key;
}

QString ZKGpxReader::readLeafText()
{
    // What readElementText(SkipChildElements) answers; a leaf's one piece of text is taken at
    // its own size instead of going through a growing buffer.
    QString text;
    while (!atEnd()) {
        switch (readNext()) {
        case Characters:
        case EntityReference:
            if (text.isNull())
                text = this->text().toString();
            else
                text.append(this->text());
            break;
        case StartElement:
            skipCurrentElement();
            break;
        case EndElement:
            return text;
        default:
            break;
        }
    }
    return text;
}

void ZKGpxReader::skipElement()
{
    // Ends on the skipped element's own end tag, so the caller's next token is its sibling.
    skipCurrentElement();
}
