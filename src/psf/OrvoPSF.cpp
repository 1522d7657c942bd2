#include "psf/OrvoPSF.h"

#include "env/OrvoByteWriter.h"
#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFDistHeader.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFPOIFrame.h"
#include "psf/OrvoPSFRouteFrame.h"
#include "psf/OrvoPSFSensorLogFrame.h"
#include "psf/OrvoPSFTrackFrame.h"
#include "psf/OrvoPSFWorkoutFrame.h"
#include "psf/OrvoPSFWorkoutLogFrame.h"
#include "training/ZKTrncrs.h"
#include "training/ZKTrncrsReader.h"

namespace {

constexpr quint32 kNoSection = 0xFFFFFFFF;

enum Section {
    PoiSection = 0,
    RouteSection = 1,
    WorkoutSection = 2,
    WorkoutLogSection = 3,
    TrackSection = 4,
    SensorLogSection = 5
};

// Area-table words that the container's own operations use.
enum LayoutWord {
    PoiStart = 3,
    PoiCapacity = 5,
    WorkoutStart = 7,
    WorkoutCapacity = 9,
    RouteStart = 11,
    RouteCapacity = 13,
    IntervalStart = 17,
    IntervalCapacity = 19,
    TrackStart = 25,
    TrackCapacity = 28,
};

// Words of a header record that layoutRecord() sets.
constexpr qsizetype kPoiFree = 66;
constexpr qsizetype kPoiEnd = 72;
constexpr qsizetype kWorkoutFree = 76;
constexpr qsizetype kWorkoutStart = 80;
constexpr qsizetype kWorkoutEnd = 84;
constexpr qsizetype kRouteFree = 88;
constexpr qsizetype kRouteEnd = 96;
constexpr qsizetype kIntervalFree = 112;
constexpr qsizetype kIntervalEnd = 120;
constexpr qsizetype kTrackFree = 136;
constexpr qsizetype kTrackEnd = 144;
constexpr qsizetype kLayoutRecordMinSize = kTrackEnd + 4;

QByteArrayView sectionBytes(const QByteArray &image, const OrvoPSFDistHeader &header, int section)
{
    const quint32 address = header.sectionAddress(section);
    if (address == kNoSection)
        return {};
    if (qsizetype(address) >= image.size()) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::parse")
            << "section" << section << "at" << address << "lies outside the image of" << image.size() << "bytes";
        return {};
    }
    return QByteArrayView(image).sliced(qsizetype(address));
}

QByteArrayView distHeaderBytes(const QByteArray &image)
{
    if (image.size() <= OrvoPSF::kDistHeaderOffset)
        return {};
    return QByteArrayView(image).sliced(OrvoPSF::kDistHeaderOffset);
}

void patchU32(QByteArray &record, qsizetype offset, qint32 value)
{
    OrvoByteWriter::patch(record, offset).writeU32Le(quint32(value));
}

} // namespace

const char *const OrvoPSF::kVersion = "1.4.x.x";

std::unique_ptr<OrvoPSF> OrvoPSF::parse(const QByteArray &image, QByteArray *flashHeaderRecord, const Layout &layout,
                                        const QString &version)
{
    if (version != QLatin1String(kVersion)) {
        qCInfo(lcOrvoPsf) << "PSF version" << version << "is not" << kVersion << ": no container";
        return nullptr;
    }
    auto psf = std::make_unique<OrvoPSF>(image, flashHeaderRecord);
    psf->init(layout);
    const OrvoPSFDistHeader &header = *psf->distHeader();
    auto *sensorLogFrame = new OrvoPSFSensorLogFrame(sectionBytes(image, header, SensorLogSection));
    auto *poiFrame = new OrvoPSFPOIFrame(sectionBytes(image, header, PoiSection));
    auto *trackFrame = new OrvoPSFTrackFrame(sectionBytes(image, header, TrackSection));
    auto *routeFrame = new OrvoPSFRouteFrame(sectionBytes(image, header, RouteSection), trackFrame, sensorLogFrame);
    auto *workoutLogFrame = new OrvoPSFWorkoutLogFrame(sectionBytes(image, header, WorkoutLogSection));
    auto *workoutFrame = new OrvoPSFWorkoutFrame(sectionBytes(image, header, WorkoutSection), workoutLogFrame);
    psf->setPoiFrame(poiFrame);
    psf->setTrackFrame(trackFrame);
    psf->setSensorLogFrame(sensorLogFrame);
    psf->setRouteFrame(routeFrame);
    psf->setWorkoutFrame(workoutFrame);
    psf->setWorkoutLogFrame(workoutLogFrame);
    return psf;
}

OrvoPSF::OrvoPSF(const QByteArray &image, QByteArray *flashHeaderRecord, QObject *parent)
    : OrvoPSFField(parent)
    , m_flashHeaderRecord(flashHeaderRecord)
{
    setDistHeader(new OrvoPSFDistHeader(distHeaderBytes(image)));
}

OrvoPSF::~OrvoPSF()
{
    delete m_distHeader;
    delete m_poiFrame;
    delete m_trackFrame;
    delete m_routeFrame;
    delete m_sensorLogFrame;
    delete m_workoutFrame;
    delete m_workoutLogFrame;
}

template<typename T>
void OrvoPSF::replace(QPointer<T> &held, T *object)
{
    if (held && held != object)
        delete held.data();
    if (object)
        object->setParent(this);
    held = object;
}

void OrvoPSF::setDistHeader(OrvoPSFDistHeader *header)
{
    replace(m_distHeader, header);
}

void OrvoPSF::setPoiFrame(OrvoPSFPOIFrame *frame)
{
    replace(m_poiFrame, frame);
}

void OrvoPSF::setRouteFrame(OrvoPSFRouteFrame *frame)
{
    replace(m_routeFrame, frame);
}

void OrvoPSF::setTrackFrame(OrvoPSFTrackFrame *frame)
{
    replace(m_trackFrame, frame);
}

void OrvoPSF::setSensorLogFrame(OrvoPSFSensorLogFrame *frame)
{
    replace(m_sensorLogFrame, frame);
}

void OrvoPSF::setWorkoutFrame(OrvoPSFWorkoutFrame *frame)
{
    replace(m_workoutFrame, frame);
}

void OrvoPSF::setWorkoutLogFrame(OrvoPSFWorkoutLogFrame *frame)
{
    replace(m_workoutLogFrame, frame);
}

OrvoPSFDistHeader *OrvoPSF::distHeader() const
{
    return m_distHeader;
}

OrvoPSFPOIFrame *OrvoPSF::poiFrame() const
{
    return m_poiFrame;
}

OrvoPSFRouteFrame *OrvoPSF::routeFrame() const
{
    return m_routeFrame;
}

OrvoPSFTrackFrame *OrvoPSF::trackFrame() const
{
    return m_trackFrame;
}

OrvoPSFSensorLogFrame *OrvoPSF::sensorLogFrame() const
{
    return m_sensorLogFrame;
}

OrvoPSFWorkoutFrame *OrvoPSF::workoutFrame() const
{
    return m_workoutFrame;
}

OrvoPSFWorkoutLogFrame *OrvoPSF::workoutLogFrame() const
{
    return m_workoutLogFrame;
}

QByteArray OrvoPSF::serialize() const
{
    QByteArray bytes(kFileHeaderSize, char(0xFF));
    const OrvoPSFField *parts[] = {m_distHeader, m_poiFrame, m_routeFrame, m_trackFrame, m_sensorLogFrame};
    for (const OrvoPSFField *part : parts) {
        if (part)
            bytes.append(part->serialize());
    }
    return bytes;
}

bool OrvoPSF::isKeptWord(int k)
{
    return (k >= 0 && k <= 26) || k == 28 || (k >= 30 && k <= 33) || (k >= 38 && k <= 42);
}

void OrvoPSF::init(const Layout &words)
{
    for (int k = 0; k < kLayoutWords; ++k)
        m_layout[size_t(k)] = isKeptWord(k) ? words[size_t(k)] : 0;
}

qint32 OrvoPSF::layoutWord(int k) const
{
    return isKeptWord(k) ? m_layout[size_t(k)] : 0;
}

void OrvoPSF::setFlag(int value)
{
    m_flag = quint8(value);
}

void OrvoPSF::setFlag2(int value)
{
    m_flag2 = quint8(value);
}

bool OrvoPSF::update(QByteArray &image)
{
    bool done = false;
    if (m_flashHeaderRecord)
        done = layoutRecord(*m_flashHeaderRecord);
    else
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::update") << "no header record to reset";
    done = writeRoutes(image) && done;
    done = writeWorkouts(image) && done;
    done = writePOIs(image) && done;
    return done;
}

bool OrvoPSF::layoutRecord(QByteArray &record) const
{
    if (record.size() < kLayoutRecordMinSize) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::layoutRecord")
            << "header record of" << record.size() << "bytes, at least" << kLayoutRecordMinSize << "expected";
        return false;
    }
    OrvoByteWriter::patch(record, kPoiFree).writeU16Le(quint16(layoutWord(PoiCapacity)));
    patchU32(record, kPoiEnd, layoutWord(PoiStart));
    patchU32(record, kWorkoutFree, layoutWord(WorkoutCapacity));
    patchU32(record, kWorkoutStart, layoutWord(WorkoutStart));
    patchU32(record, kWorkoutEnd, layoutWord(WorkoutStart));
    patchU32(record, kRouteFree, layoutWord(RouteCapacity));
    patchU32(record, kRouteEnd, layoutWord(RouteStart));
    patchU32(record, kIntervalFree, layoutWord(IntervalCapacity));
    patchU32(record, kIntervalEnd, layoutWord(IntervalStart));
    patchU32(record, kTrackFree, layoutWord(TrackCapacity));
    patchU32(record, kTrackEnd, layoutWord(TrackStart));
    return true;
}

bool OrvoPSF::writeRoutes(QByteArray &)
{
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::writeRoutes") << "routes cannot be written back yet";
    return false;
}

bool OrvoPSF::writeWorkouts(QByteArray &)
{
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::writeWorkouts") << "workouts cannot be written back yet";
    return false;
}

bool OrvoPSF::writePOIs(QByteArray &)
{
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::writePOIs") << "POIs cannot be written back yet";
    return false;
}

bool OrvoPSF::importXml(const QString &fileName)
{
    ZKTrncrs document;
    ZKTrncrsReader reader(&document);
    if (!reader.readFile(fileName)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::importXml") << "cannot read the workout file" << fileName;
        return false;
    }
    return addWorkout(document);
}

bool OrvoPSF::addWorkout(const ZKTrncrs &)
{
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::addWorkout") << "workouts cannot be added yet";
    return false;
}
