#include "training/ZKTrncrsReader.h"

#include "env/ZKLogger.h"

#include <QFile>

namespace {

const QString kRoot = QStringLiteral("trncrs");
const QString kCreator = QStringLiteral("tarvex");

// A text in one language is added to what the key holds as "\LNG text"; a text without a
// language replaces it.
void putLanguageText(ZKTrnMap &values, const QString &key, const QString &language, const QString &text)
{
    if (language.isEmpty())
        values.insert(key, text);
    else
        values.insert(key, QStringLiteral("%1\\%2 %3").arg(values.value(key), language.toUpper(), text));
}

} // namespace

ZKTrncrsReader::ZKTrncrsReader(ZKTrnImportable *target)
    : m_target(target)
{}

ZKTrncrsReader::~ZKTrncrsReader() = default;

bool ZKTrncrsReader::readFile(const QString &path)
{
    if (!m_target)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    m_xml.clear();
    m_xml.addData(file.readAll());
    const bool fileError = file.error() != QFileDevice::NoError;
    file.close();

    while (!m_xml.atEnd()) {
        m_xml.readNext();
        if (!m_xml.isStartElement())
            continue;
        if (m_xml.name() == kRoot)
            readRoot();
        else
            m_xml.raiseError(QStringLiteral("error reading <trncrs>"));
    }
    if (m_xml.hasError()) {
        ZK_LOG_ERROR("Error: failed to parse file");
        return false;
    }
    if (fileError) {
        ZK_LOG_ERROR("Error: Can't read file");
        return false;
    }
    return true;
}

// A root of another creator is left at its start tag, so that its first child fails the scan.
void ZKTrncrsReader::readRoot()
{
    if (m_xml.attributes().value(QLatin1String("creator")) != kCreator)
        return;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == QLatin1String("metadata"))
            readMetadata();
        else if (m_xml.name() == QLatin1String("wrk"))
            readWorkout();
        else
            m_xml.skipCurrentElement();
    }
}

void ZKTrncrsReader::readMetadata()
{
    m_target->newMetadata();
    ZKTrnMap values;
    while (m_xml.readNextStartElement()) {
        const QString name = m_xml.name().toString();
        if (name == QLatin1String("name") || name == QLatin1String("author")) {
            const NameElement element = readNameElement();
            if (!element.text.isEmpty())
                values.insert(name, element.text);
            for (const QString &shortName : element.shortNames)
                values.insert(name + QLatin1String("_shtname"), shortName);
        } else if (name == QLatin1String("desc") || name == QLatin1String("time")) {
            values.insert(name, readText());
        } else if (name == QLatin1String("sys")) {
            readAttributes(name, values);
            values.insert(name, readText());
        } else {
            m_xml.skipCurrentElement();
        }
    }
    if (!m_xml.hasError())
        m_target->setMetadata(values);
}

void ZKTrncrsReader::readWorkout()
{
    m_target->newWorkout();
    ZKTrnMap values;
    readAttributes(QStringLiteral("wrk"), values);
    while (m_xml.readNextStartElement()) {
        const QString name = m_xml.name().toString();
        const QString language = m_xml.attributes().value(QLatin1String("lang")).toString();
        if (name == QLatin1String("acttype") || name == QLatin1String("time")) {
            values.insert(name, readText());
        } else if (name == QLatin1String("desc")) {
            putLanguageText(values, name, language, readText());
        } else if (name == QLatin1String("name")) {
            const NameElement element = readNameElement();
            if (!element.text.isEmpty())
                putLanguageText(values, name, language, element.text);
            for (const QString &shortName : element.shortNames)
                putLanguageText(values, QStringLiteral("name_shtname"), language, shortName);
        } else if (name == QLatin1String("route")) {
            readAttributes(name, values);
            values.insert(name, readText());
        } else if (name == QLatin1String("itv")) {
            readInterval();
        } else {
            m_xml.skipCurrentElement();
        }
    }
    if (!m_xml.hasError())
        m_target->setWorkout(values);
}

void ZKTrncrsReader::readInterval()
{
    m_target->newInterval();
    ZKTrnMap values;
    readAttributes(QStringLiteral("itv"), values);
    while (m_xml.readNextStartElement()) {
        const QString name = m_xml.name().toString();
        if (name == QLatin1String("name") || name == QLatin1String("logreso")) {
            values.insert(name, readText());
        } else if (name == QLatin1String("goto")) {
            readAttributes(name, values);
            values.insert(name, readText());
        } else if (name == QLatin1String("target")) {
            readTarget();
        } else if (name == QLatin1String("duration")) {
            readDuration();
        } else {
            m_xml.skipCurrentElement();
        }
    }
    if (!m_xml.hasError())
        m_target->setInterval(values);
}

void ZKTrncrsReader::readTarget()
{
    m_target->newTarget();
    ZKTrnMap values;
    readAttributes(QStringLiteral("target"), values);
    m_xml.skipCurrentElement();
    if (!m_xml.hasError())
        m_target->setTarget(values);
}

void ZKTrncrsReader::readDuration()
{
    m_target->newDuration();
    ZKTrnMap values;
    readAttributes(QStringLiteral("duration"), values);
    while (m_xml.readNextStartElement()) {
        const QString name = m_xml.name().toString();
        if (name == QLatin1String("segidx") || name == QLatin1String("location"))
            readAttributes(name, values);
        m_xml.skipCurrentElement();
    }
    if (!m_xml.hasError())
        m_target->setDuration(values);
}

void ZKTrncrsReader::readAttributes(const QString &prefix, ZKTrnMap &values)
{
    const QXmlStreamAttributes attributes = m_xml.attributes();
    for (const QXmlStreamAttribute &attribute : attributes)
        values.insert(QStringLiteral("%1_%2").arg(prefix, attribute.name()), attribute.value().toString());
}

QString ZKTrncrsReader::readText()
{
    return m_xml.readElementText(QXmlStreamReader::SkipChildElements);
}

// The element's own text (blank runs between children dropped) and the texts of its
// "shtname" children in order; other children are skipped.
ZKTrncrsReader::NameElement ZKTrncrsReader::readNameElement()
{
    NameElement element;
    while (!m_xml.atEnd()) {
        m_xml.readNext();
        if (m_xml.isEndElement())
            break;
        if (m_xml.isCharacters() && !m_xml.isWhitespace())
            element.text += m_xml.text();
        else if (m_xml.isStartElement() && m_xml.name() == QLatin1String("shtname"))
            element.shortNames.append(readText());
        else if (m_xml.isStartElement())
            m_xml.skipCurrentElement();
    }
    return element;
}
