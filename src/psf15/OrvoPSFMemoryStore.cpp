#include "psf15/OrvoPSFMemoryStore.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"

namespace {

constexpr int kManagementEnd = 0;
constexpr int kDistHeaderEnd = 1;
constexpr int kProfileBlock = 44;
constexpr int kBlockSize = 45;

} // namespace

OrvoPSFMemoryStore::OrvoPSFMemoryStore()
    : m_layout(*this)
    , m_image(m_layout.imageSize(), uchar(0xFF))
{}

OrvoPSFMemoryStore::OrvoPSFMemoryStore(const QByteArray &image)
    : m_layout(*this)
{
    const auto *bytes = reinterpret_cast<const uchar *>(image.constData());
    m_image.assign(bytes, bytes + image.size());
}

OrvoPSFMemoryStore::~OrvoPSFMemoryStore() = default;

OrvoPSFFlashLayout &OrvoPSFMemoryStore::layout()
{
    return m_layout;
}

bool OrvoPSFMemoryStore::loadHeader(std::span<uchar> &image)
{
    if (!holds(m_layout.table()[kManagementEnd], "management header"))
        return false;
    image = std::span<uchar>(m_image);
    return true;
}

bool OrvoPSFMemoryStore::loadDistHeader(std::span<uchar> &distHeader)
{
    if (!holds(m_layout.table()[kDistHeaderEnd], "distribution header"))
        return false;
    distHeader = std::span<uchar>(m_image).subspan(m_layout.table()[kManagementEnd]);
    return true;
}

bool OrvoPSFMemoryStore::loadRoutes()
{
    return true;
}

bool OrvoPSFMemoryStore::loadTracks()
{
    return true;
}

bool OrvoPSFMemoryStore::loadWorkouts()
{
    return true;
}

bool OrvoPSFMemoryStore::loadReserved()
{
    return true;
}

bool OrvoPSFMemoryStore::loadSensorLogs()
{
    return true;
}

bool OrvoPSFMemoryStore::loadWorkoutLogs()
{
    return true;
}

bool OrvoPSFMemoryStore::loadUserInfoLogs()
{
    return true;
}

bool OrvoPSFMemoryStore::loadInfoArea(std::span<uchar> &block)
{
    const qsizetype start = m_layout.table()[kProfileBlock];
    const qsizetype size = m_layout.table()[kBlockSize];
    if (!holds(start + size, "profile block"))
        return false;
    block = std::span<uchar>(m_image).subspan(size_t(start), size_t(size));
    return true;
}

QByteArray OrvoPSFMemoryStore::image() const
{
    return QByteArray(reinterpret_cast<const char *>(m_image.data()), qsizetype(m_image.size()));
}

bool OrvoPSFMemoryStore::holds(qsizetype end, const char *what) const
{
    if (end <= qsizetype(m_image.size()))
        return true;
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFMemoryStore::load")
        << "an image of" << m_image.size() << "bytes ends before the" << what << "at offset" << end;
    return false;
}
