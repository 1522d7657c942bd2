#include "psf/OrvoPSFNamedObject.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"

namespace {

constexpr qsizetype kNamesOffsetWord = 32;
constexpr qsizetype kCodeLength = 3;
// Room for the largest string a 16-bit payload length can describe.
constexpr qsizetype kScratchSize = OrvoPSFMultiLangString_1_5::kHeaderSize + 0xFFFF;

} // namespace

OrvoPSFNamedObject::OrvoPSFNamedObject(std::span<uchar> bytes)
    : OrvoPSFObject(bytes)
{}

OrvoPSFNamedObject::~OrvoPSFNamedObject() = default;

qint64 OrvoPSFNamedObject::namesOffset() const
{
    return link(kNamesOffsetWord);
}

void OrvoPSFNamedObject::setNamesOffset(qint64 offset)
{
    setLink(kNamesOffsetWord, offset);
}

void OrvoPSFNamedObject::loadNames()
{
    const qint64 first = namesOffset();
    m_names = first >= 0 ? loadStrings(first) : Strings();
}

OrvoPSFNamedObject::Strings OrvoPSFNamedObject::loadStrings(qsizetype first) const
{
    Strings chain;
    qsizetype offset = first;
    for (;;) {
        if (!contains(offset, OrvoPSFMultiLangString_1_5::kHeaderSize)) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFNamedObject::loadStrings")
                << "string at offset" << offset << "lies outside the" << available() << "bytes of the record";
            break;
        }
        auto string = std::make_unique<OrvoPSFMultiLangString_1_5>(spanFrom(offset), false);
        // A stray has-next bit on the last string leads into erased flash.
        if (string->isErased()) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFNamedObject::loadStrings")
                << "string at offset" << offset << "is erased flash; the chain ends before it";
            break;
        }
        if (!string->isComplete()) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFNamedObject::loadStrings")
                << "string at offset" << offset << "of" << string->size() << "bytes runs past the" << available()
                << "bytes of the record";
            break;
        }
        const bool more = string->hasNext();
        offset += string->size();
        chain.push_back(std::move(string));
        if (!more)
            return chain;
    }
    // The chain was cut short: its last string stops saying that another follows, or the bytes
    // after it (a record written there later) would join the chain once written back.
    if (!chain.empty())
        chain.back()->setHasNext(false);
    return chain;
}

OrvoPSFMultiLangString_1_5 *OrvoPSFNamedObject::addName(const QString &text, const QString &code)
{
    const bool first = m_names.empty();
    const qsizetype position = first ? size() : namesOffset() + stringsSize(m_names);
    OrvoPSFMultiLangString_1_5 *added = appendString(m_names, position, text, code, false, true);
    if (added && first)
        setNamesOffset(position);
    return added;
}

QString OrvoPSFNamedObject::name(const QString &code) const
{
    if (isBitFont())
        return {};
    const OrvoPSFMultiLangString_1_5 *string = findName(code, Qt::CaseInsensitive);
    if (!string)
        return {};
    const QByteArray payload = string->payload();
    const qsizetype end = payload.indexOf('\0');
    return QString::fromLatin1(end < 0 ? payload : payload.left(end));
}

QImage OrvoPSFNamedObject::nameImage(const QString &code) const
{
    if (!isBitFont())
        return {};
    const OrvoPSFMultiLangString_1_5 *string = findName(code, Qt::CaseSensitive);
    return string ? string->toImage() : QImage();
}

const OrvoPSFNamedObject::Strings &OrvoPSFNamedObject::names() const
{
    return m_names;
}

qsizetype OrvoPSFNamedObject::stringsSize(const Strings &strings)
{
    qsizetype total = 0;
    for (const auto &string : strings)
        total += string->size();
    return total;
}

qsizetype OrvoPSFNamedObject::stringBound(const QString &text, bool asBitFont, bool isDesc)
{
    qsizetype payload = text.size();
    if (asBitFont)
        payload = isDesc ? OrvoPSFMultiLangString_1_5::kDescriptionBytes : OrvoPSFMultiLangString_1_5::kNameBytes;
    return OrvoPSFMultiLangString_1_5::kHeaderSize + payload;
}

OrvoPSFMultiLangString_1_5 *OrvoPSFNamedObject::appendString(Strings &chain, qsizetype position, const QString &text,
                                                             const QString &code, bool isDesc, bool reset)
{
    if (!contains(position, OrvoPSFMultiLangString_1_5::kHeaderSize)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFNamedObject::appendString")
            << "no room for a string at offset" << position << "of a record of" << available() << "bytes";
        return nullptr;
    }
    QByteArray scratch(kScratchSize, '\0');
    if (!reset)
        scratch.replace(0, OrvoPSFMultiLangString_1_5::kHeaderSize,
                        bytesAt(position, OrvoPSFMultiLangString_1_5::kHeaderSize));
    OrvoPSFMultiLangString_1_5 rendered(spanOf(scratch), reset);
    if (!rendered.setString(text, code, isBitFont(), isDesc))
        return nullptr;
    if (!contains(position, rendered.size())) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFNamedObject::appendString")
            << "string of" << rendered.size() << "bytes does not fit at offset" << position << "of a record of"
            << available() << "bytes";
        return nullptr;
    }
    writeBytes(position, QByteArrayView(scratch).first(rendered.size()));
    if (!chain.empty())
        chain.back()->setHasNext(true);
    chain.push_back(std::make_unique<OrvoPSFMultiLangString_1_5>(spanFrom(position), false));
    return chain.back().get();
}

const OrvoPSFMultiLangString_1_5 *OrvoPSFNamedObject::findName(const QString &code,
                                                               Qt::CaseSensitivity sensitivity) const
{
    if (m_names.empty())
        return nullptr;
    if (code.isEmpty())
        return m_names.front().get();
    QByteArray wanted = code.toLatin1().left(kCodeLength);
    wanted.append(kCodeLength - wanted.size(), '\0');
    for (const auto &string : m_names) {
        if (string->code().left(kCodeLength).compare(wanted, sensitivity) == 0)
            return string.get();
    }
    return nullptr;
}
