#include "psf14/OrvoPSFRouteFrame.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFLap.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteHeader.h"

#include <algorithm>

OrvoPSFRouteFrame::OrvoPSFRouteFrame(QByteArrayView bytes, qsizetype capacity, OrvoPSFTrackFrame *trackFrame,
                                     OrvoPSFSensorLogFrame *sensorLogFrame, QObject *parent)
    : OrvoPSFField(parent)
{
    if (bytes.size() >= OrvoPSFRouteHeader::kSize)
        m_header = new OrvoPSFRouteHeader(bytes, this);
    if (!m_header) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRouteFrame::OrvoPSFRouteFrame")
            << "no Route header"
            << ": the section holds" << bytes.size() << "bytes";
        return;
    }
    loadRoutes(bytes, capacity, trackFrame, sensorLogFrame);
    loadLaps(bytes);
}

OrvoPSFRouteFrame::~OrvoPSFRouteFrame() = default;

void OrvoPSFRouteFrame::loadRoutes(QByteArrayView bytes, qsizetype capacity, OrvoPSFTrackFrame *trackFrame,
                                   OrvoPSFSensorLogFrame *sensorLogFrame)
{
    const quint32 offset = m_header->routeDataOffset();
    const qsizetype stored = m_header->effectiveRouteCount();
    const qsizetype loaded = recordsToLoad(stored, bytes.size(), offset, OrvoPSFRoute::kSize, capacity,
                                           "OrvoPSFRouteFrame::loadRoutes", "routes");
    if (loaded < stored)
        m_header->setRouteCount(quint16(loaded));
    for (qsizetype i = 0; i < loaded; ++i) {
        auto *route = new OrvoPSFRoute(bytes.sliced(offset + i * OrvoPSFRoute::kSize, OrvoPSFRoute::kSize), this);
        route->loadTracks(trackFrame, sensorLogFrame);
        m_routes.append(route);
    }
}

void OrvoPSFRouteFrame::loadLaps(QByteArrayView bytes)
{
    const quint32 offset = m_header->lapTableOffset();
    const qsizetype fitting = std::min(recordsThatFit(bytes.size(), offset, OrvoPSFLap::kSize), kLapTableSize);
    if (fitting < kLapTableSize) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRouteFrame::loadLaps")
            << "lap table at offset" << offset << ": only" << fitting << "of" << kLapTableSize
            << "laps lie inside the image";
    }
    for (qsizetype i = 0; i < fitting; ++i)
        m_laps.append(new OrvoPSFLap(bytes.sliced(offset + i * OrvoPSFLap::kSize, OrvoPSFLap::kSize), this));
}

QByteArray OrvoPSFRouteFrame::serialize() const
{
    if (!m_header)
        return {};
    QByteArray bytes = m_header->serialize();
    const qsizetype count = std::min<qsizetype>(m_header->effectiveRouteCount(), m_routes.size());
    for (qsizetype i = 0; i < count; ++i) {
        if (m_routes.at(i))
            bytes.append(m_routes.at(i)->serialize());
    }
    return bytes;
}

OrvoPSFRouteHeader *OrvoPSFRouteFrame::header() const
{
    return m_header;
}

QVector<QPointer<OrvoPSFRoute>> &OrvoPSFRouteFrame::routes()
{
    return m_routes;
}

const QVector<QPointer<OrvoPSFRoute>> &OrvoPSFRouteFrame::routes() const
{
    return m_routes;
}

const QVector<QPointer<OrvoPSFLap>> &OrvoPSFRouteFrame::laps() const
{
    return m_laps;
}

OrvoPSFLap *OrvoPSFRouteFrame::lapAt(quint32 offset) const
{
    if (offset == kOrvoPsfNone)
        return nullptr;
    return m_laps.value(qsizetype(offset / OrvoPSFLap::kSize));
}

OrvoPSFLap *OrvoPSFRouteFrame::lapOf(const OrvoPSFRoute &route) const
{
    return lapAt(route.lapOffset());
}

QVector<OrvoPSFLap *> OrvoPSFRouteFrame::lapsOf(const OrvoPSFRoute &route) const
{
    QVector<OrvoPSFLap *> laps;
    if (route.firstLapOffset() == kOrvoPsfNone)
        return laps;
    const qsizetype first = qsizetype(route.firstLapOffset() / OrvoPSFLap::kSize);
    for (qsizetype i = first; i < first + route.lapCount(); ++i) {
        if (OrvoPSFLap *lap = m_laps.value(i))
            laps.append(lap);
    }
    return laps;
}
