#include "BenchWork.h"

#include "BenchGpxPoints.h"
#include "Kavel40Emulator.h"
#include "PsfImage14Builder.h"
#include "PsfImage15Builder.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoFSDeviceService.h"
#include "devices/fs/OrvoKavel50CR.h"
#include "devices/gal/OrvoGalDevice.h"
#include "devices/psf15/OrvoPSFFlashImage.h"
#include "env/OrvoEnv.h"
#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFExportDevice.h"
#include "psf15/OrvoPSFRoute_1_5.h"
#include "psf15/OrvoPSFTrackSeg_1_5.h"
#include "search/ZKTrackDP.h"
#include "util/ZKGpx2.h"
#include "util/ZKGpxReader.h"
#include "util/ZKGpxWriter.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace BenchWork {

namespace {

OrvoPSFExportDevice exportDevice()
{
    OrvoPSFExportDevice device;
    device.modelName = QStringLiteral("Kavel35");
    device.firmwareVersion = QStringLiteral("3.1.4");
    device.classFlag2 = 2;
    return device;
}

constexpr int kImportedPoints = 32767;
constexpr size_t kStoredPointRecords = 65532;

ZKGpx2 climbingRoute()
{
    ZKGpx2 document;
    document.metadata.emplace();
    document.metadata->name = QStringLiteral("Climb");
    document.route.emplace();
    document.trackList.emplace();
    ZKGpxTrack track;
    track.points.reserve(kImportedPoints);
    for (int i = 0; i < kImportedPoints; ++i) {
        ZKGpxTrackPoint point;
        point.lat = QString::number(48.0 + (i % 1000) * 1e-5, 'f', 6);
        point.lon = QString::number(11.0 + (i / 1000) * 1e-5, 'f', 6);
        point.ele = QString::number(i % 2 ? 520 : 500);
        track.points.append(point);
    }
    document.trackList->append(track);
    return document;
}

} // namespace

qint64 importRoute15()
{
    auto device = Kavel40::makeDevice(PsfImage15Builder().build().bytes);
    auto client = Kavel40::makeClient(device);
    ZKGpx2 document = climbingRoute();
    if (!client->initial())
        return -1;
    QElapsedTimer timer;
    timer.start();
    if (!client->addRoute(document))
        return -1;
    const qint64 ns = timer.nsecsElapsed();
    std::vector<OrvoPSFRoute_1_5 *> routes;
    if (!client->flashImage()->routes(false, routes) || routes.size() != 1)
        return -1;
    const auto *segments = client->flashImage()->trackSegmentsOfRoute(*routes.front());
    const bool whole = segments && segments->size() == 1 && segments->front()->points().size() == kStoredPointRecords;
    return whole ? ns : -1;
}

qint64 exportRides(const QString &imagePath, const QString &folder, qint64 &parseNs)
{
    QFile file(imagePath);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray image = file.readAll();
    QByteArray record(PsfImage14Builder::kHeaderRecordSize, '\0');
    const auto layout = PsfImage14Builder::layout(PsfImage14Builder::Model::Kavel35);
    QElapsedTimer timer;
    timer.start();
    const std::unique_ptr<OrvoPSF> psf = OrvoPSF::parse(image, &record, layout, QString::fromLatin1(OrvoPSF::kVersion));
    parseNs = timer.nsecsElapsed();
    if (!psf)
        return -1;
    const QStringList files = psf->trackToXML(folder, exportDevice());
    const qint64 total = timer.nsecsElapsed();
    return files.isEmpty() ? -1 : total;
}

qint64 exportKavel50Rides(const QString &driveRoot, const QString &folder)
{
    OrvoEnv::instance()->setUserFolder(driveRoot + QStringLiteral("-user"));
    const OrvoDeviceInfo row{QStringLiteral("0901"), QStringLiteral("Kavel50"), QStringLiteral("Tarvex"), {}};
    OrvoKavel50CR client;
    client.setDeviceService(
        std::make_unique<OrvoFSDeviceService>(driveRoot, row, driveRoot + QStringLiteral("/device.ini")));
    if (!client.initial())
        return -1;
    QElapsedTimer timer;
    timer.start();
    const QStringList files = client._exportTrack(folder);
    const qint64 total = timer.nsecsElapsed();
    return files.isEmpty() ? -1 : total;
}

qint64 listGalActivities(const QString &root, int expected)
{
    const OrvoDeviceInfo row{QStringLiteral("1207"), QStringLiteral("Kavel21"), QStringLiteral("Tarvex"), {}};
    OrvoGalDevice device;
    device.setDeviceService(std::make_unique<OrvoFSDeviceService>(root, row, root + QStringLiteral("/device.ini")));
    QString drive;
    if (!device.getDrive(drive))
        return -1;
    QElapsedTimer timer;
    timer.start();
    device.setLibraryHome(drive);
    const std::optional<QStringList> names = device.listActivityFiles();
    const qint64 total = timer.nsecsElapsed();
    return names && names->size() == expected ? total : -1;
}

qint64 readGpx(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    ZKGpx2 document;
    ZKGpxReader reader(document);
    if (!reader.readFile(path) || !document.trackList || document.trackList->tracks.isEmpty())
        return -1;
    return timer.nsecsElapsed();
}

qint64 scanGpx(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    QXmlStreamReader reader(&file);
    qint64 elements = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            ++elements;
    }
    return reader.hasError() || elements == 0 ? -1 : timer.nsecsElapsed();
}

qint64 writeGpx(const QString &path)
{
    ZKGpx2 document;
    document.trackList.emplace();
    document.trackList->append(ZKGpxTrack());
    document.trackList->current()->points = BenchGpxPoints::points();
    QElapsedTimer timer;
    timer.start();
    ZKGpxWriter writer(QStringLiteral("2.0"), document);
    return writer.write(path) ? timer.nsecsElapsed() : -1;
}

qint64 streamGpx(const QString &path)
{
    const QList<ZKGpxTrackPoint> points = BenchGpxPoints::points();
    QElapsedTimer timer;
    timer.start();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return -1;
    QXmlStreamWriter writer(&file);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(2);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("gpx"));
    writer.writeStartElement(QStringLiteral("trk"));
    writer.writeStartElement(QStringLiteral("trkseg"));
    for (const ZKGpxTrackPoint &point : points) {
        writer.writeStartElement(QStringLiteral("trkpt"));
        writer.writeAttribute(QStringLiteral("lat"), point.lat);
        writer.writeAttribute(QStringLiteral("lon"), point.lon);
        writer.writeTextElement(QStringLiteral("ele"), point.ele);
        writer.writeTextElement(QStringLiteral("time"), point.time);
        writer.writeEndElement();
    }
    writer.writeEndDocument();
    if (writer.hasError() || !file.flush() || !file.commit())
        return -1;
    return timer.nsecsElapsed();
}

qint64 convertRide(const QString &gpsLog, const QString &trainLog, const QString &gpxPath)
{
    QElapsedTimer timer;
    timer.start();
    ZKTrackDP provider;
    QDate startDate;
    if (!provider.readGpsLog(gpsLog, false, startDate) || !provider.readTrainLog(trainLog, startDate))
        return -1;
    return ZKGpxWriter(QStringLiteral("2.2.0.3"), provider).write(gpxPath) ? timer.nsecsElapsed() : -1;
}

} // namespace BenchWork
