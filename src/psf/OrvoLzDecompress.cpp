#include "psf/OrvoLzDecompress.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"

#include <optional>

namespace {

// A number has at most four 7-bit groups; a longer one is malformed.
constexpr int kMaxNumberBytes = 4;
constexpr uchar kMoreBit = 0x80;
constexpr uchar kGroupMask = 0x7F;

class Decoder
{
public:
    Decoder(QByteArrayView source, qsizetype capacity)
        : m_source(source)
        , m_capacity(capacity)
    {}

    bool run(QByteArray &out)
    {
        const uchar escape = uchar(m_source[0]);
        m_in = 1;
        while (m_in < m_source.size()) {
            const uchar b = uchar(m_source[m_in++]);
            if (b != escape) {
                if (!append(out, b))
                    return false;
            } else if (m_in < m_source.size() && m_source[m_in] == 0) {
                ++m_in;
                if (!append(out, escape))
                    return false;
            } else if (!copyBack(out)) {
                return false;
            }
        }
        return true;
    }

private:
    bool append(QByteArray &out, uchar b)
    {
        if (out.size() >= m_capacity)
            return fail("literal beyond the output capacity", out.size());
        out.append(char(b));
        return true;
    }

    bool copyBack(QByteArray &out)
    {
        const std::optional<qsizetype> length = readNumber();
        const std::optional<qsizetype> distance = length ? readNumber() : std::nullopt;
        if (!length || !distance)
            return fail("copy without a complete length and distance", m_source.size());
        if (*distance == 0 || *distance > out.size())
            return fail("copy distance outside the output", *distance);
        if (*length > m_capacity - out.size())
            return fail("copy length beyond the output capacity", *length);
        for (qsizetype i = 0; i < *length; ++i)
            out.append(out.at(out.size() - *distance));
        return true;
    }

    std::optional<qsizetype> readNumber()
    {
        qsizetype value = 0;
        for (int i = 0; i < kMaxNumberBytes && m_in < m_source.size(); ++i) {
            const uchar b = uchar(m_source[m_in++]);
            value = (value << 7) | (b & kGroupMask);
            if (!(b & kMoreBit))
                return value;
        }
        return std::nullopt;
    }

    bool fail(const char *what, qsizetype value) const
    {
        ORVO_TRACE_WARNING(lcOrvoPsf, "lzDecompress") << "glyph stream rejected at source offset" << m_in << ":" << what
                                                      << "(" << value << "), capacity" << m_capacity;
        return false;
    }

    QByteArrayView m_source;
    qsizetype m_capacity = 0;
    qsizetype m_in = 0;
};

} // namespace

bool lzDecompress(QByteArrayView source, QByteArray &destination, qsizetype capacity)
{
    destination.clear();
    if (source.isEmpty())
        return true;
    QByteArray out;
    if (!Decoder(source, capacity).run(out))
        return false;
    destination = out;
    return true;
}
