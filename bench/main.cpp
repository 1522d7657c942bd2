// orvo-bench: times the PSF 1.4 and Kavel50 ride exports and the GPX reader and writer against
// gpsbabel on the same data, and against bare QXmlStreamReader/QXmlStreamWriter passes as the
// floor, the import of the longest route a PSF 1.5 segment holds into an emulated Kavel40, and
// the activity listing of GAL devices of three sizes through the device's own path.
// Not a test: it prints figures and fails only when it cannot run.
#include "BenchFullImage14.h"
#include "BenchGalActivities.h"
#include "BenchKavel50Rides.h"
#include "BenchProcess.h"
#include "BenchRideLogs.h"
#include "BenchWork.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>

namespace {

constexpr int kDefaultRuns = 5;
// Two drive sizes, so that the time a ride takes shows whether the export stays linear.
constexpr std::array<int, 2> kKavel50RideCounts = {100, 1000};
// Three device sizes, so that the time an activity takes shows whether the listing stays linear.
constexpr std::array<int, 3> kGalActivityCounts = {250, 2000, 8000};

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

int runChild(const QStringList &arguments)
{
    if (arguments.size() < 2)
        return 2;
    const QString &mode = arguments.at(0);
    const QString &path = arguments.at(1);
    qint64 ns = -1;
    qint64 parseNs = 0;
    if (mode == QLatin1String("export") && arguments.size() == 3)
        ns = BenchWork::exportRides(path, arguments.at(2), parseNs);
    else if (mode == QLatin1String("export50") && arguments.size() == 3)
        ns = BenchWork::exportKavel50Rides(path, arguments.at(2));
    else if (mode == QLatin1String("read"))
        ns = BenchWork::readGpx(path);
    else if (mode == QLatin1String("scan"))
        ns = BenchWork::scanGpx(path);
    else if (mode == QLatin1String("write"))
        ns = BenchWork::writeGpx(path);
    else if (mode == QLatin1String("stream"))
        ns = BenchWork::streamGpx(path);
    else if (mode == QLatin1String("convert") && arguments.size() == 4)
        ns = BenchWork::convertRide(path, arguments.at(2), arguments.at(3));
    else if (mode == QLatin1String("import15"))
        ns = BenchWork::importRoute15();
    else if (mode == QLatin1String("galList") && arguments.size() == 3)
        ns = BenchWork::listGalActivities(path, arguments.at(2).toInt());
    if (ns < 0)
        return 1;
    out() << ns << ' ' << parseNs << Qt::endl;
    return 0;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

// The figures of one side of a path over all runs.
struct Series
{
    QList<double> workMs;
    QList<double> parseMs;
    QList<double> wallMs;
    double peakMiB = 0;

    bool add(const BenchProcess &run)
    {
        if (!run.ok)
            return false;
        const QStringList numbers = run.output.split(QLatin1Char(' '));
        workMs.append(numbers.value(0).toDouble() / 1e6);
        parseMs.append(numbers.value(1).toDouble() / 1e6);
        wallMs.append(run.wallMs);
        peakMiB = std::max(peakMiB, run.peakMiB);
        return true;
    }
};

// One path: ours, the floor (a bare Qt pass, when there is one) and the peer (when gpsbabel is
// there), each run once per round, in alternating order.
struct Path
{
    QString name;
    std::function<BenchProcess()> ours;
    std::function<BenchProcess()> floor;
    std::function<BenchProcess()> peer;
    Series oursSeries;
    Series floorSeries;
    Series peerSeries;

    bool runRound(int round)
    {
        QList<std::pair<std::function<BenchProcess()> *, Series *>> sides = {
            {&ours, &oursSeries}, {&floor, &floorSeries}, {&peer, &peerSeries}};
        if (round % 2)
            std::reverse(sides.begin(), sides.end());
        for (const auto &[run, series] : sides) {
            if (*run && !series->add((*run)()))
                return false;
        }
        return true;
    }
};

QList<double> ratios(const QList<double> &numerators, const QList<double> &denominators)
{
    QList<double> r;
    for (qsizetype i = 0; i < std::min(numerators.size(), denominators.size()); ++i)
        r.append(denominators.at(i) > 0 ? numerators.at(i) / denominators.at(i) : 0);
    return r;
}

QString cell(double value, int width, int decimals = 1)
{
    return QString::number(value, 'f', decimals).rightJustified(width);
}

void printTable(const QList<Path> &paths)
{
    out() << QStringLiteral("%1%2%3%4%5%6%7%8%9\n")
                 .arg(QStringLiteral("path"), -26)
                 .arg(QStringLiteral("ours ms"), 10)
                 .arg(QStringLiteral("(wall)"), 9)
                 .arg(QStringLiteral("floor ms"), 10)
                 .arg(QStringLiteral("ours/floor"), 11)
                 .arg(QStringLiteral("peer ms"), 10)
                 .arg(QStringLiteral("peer/ours"), 10)
                 .arg(QStringLiteral("ours MiB"), 10)
                 .arg(QStringLiteral("peer MiB"), 10);
    for (const Path &p : paths) {
        const Series &o = p.oursSeries;
        out() << p.name.leftJustified(26) << cell(median(o.workMs), 10) << cell(median(o.wallMs), 9);
        if (p.floor)
            out() << cell(median(p.floorSeries.workMs), 10)
                  << cell(median(ratios(o.workMs, p.floorSeries.workMs)), 11, 2);
        else
            out() << QString(21, QLatin1Char(' '));
        if (p.peer)
            out() << cell(median(p.peerSeries.wallMs), 10)
                  << cell(median(ratios(p.peerSeries.wallMs, o.wallMs)), 10, 2);
        else
            out() << QStringLiteral("%1%2").arg(QStringLiteral("-"), 10).arg(QStringLiteral("-"), 10);
        out() << cell(o.peakMiB, 10) << (p.peer ? cell(p.peerSeries.peakMiB, 10) : QStringLiteral("%1").arg("-", 10))
              << '\n';
    }
}

// The exported files in name order, and one checksum over their bytes in that order.
QByteArray exportChecksum(const QDir &folder, QStringList &files, qint64 &bytes)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    files = folder.entryList(QDir::Files, QDir::Name);
    bytes = 0;
    for (const QString &name : files) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray content = file.readAll();
        bytes += content.size();
        hash.addData(content);
    }
    return hash.result().toHex();
}

// gpsbabel reading every exported file as GPX and writing them as one GPX file.
std::function<BenchProcess()> peerRewrite(const QString &gpsbabel, const QDir &exported, const QStringList &files,
                                          const QString &output)
{
    if (gpsbabel.isEmpty())
        return {};
    QStringList rewrite{QStringLiteral("-i"), QStringLiteral("gpx")};
    for (const QString &name : files)
        rewrite << QStringLiteral("-f") << exported.filePath(name);
    rewrite << QStringLiteral("-o") << QStringLiteral("gpx") << QStringLiteral("-F") << output;
    return [=] { return BenchProcess::run(gpsbabel, rewrite); };
}

// One export row of a Kavel50 drive of the given rides: the drive is written once, exported
// once to check what comes out, then exported into a fresh folder in every run.
struct Kavel50Export
{
    int rides = 0;
    QString drive;
    QStringList files;
    qint64 bytes = 0;
};

bool prepareKavel50Export(const QDir &work, const std::function<BenchProcess(const QStringList &)> &child,
                          Kavel50Export &e)
{
    e.drive = work.filePath(QStringLiteral("kavel50-%1").arg(e.rides));
    QDir(e.drive).removeRecursively();
    if (!BenchKavel50Rides::writeDrive(e.drive, e.rides))
        return false;
    QDir checked(work.filePath(QStringLiteral("export50-%1").arg(e.rides)));
    checked.removeRecursively();
    if (!child({QStringLiteral("export50"), e.drive, checked.path()}).ok)
        return false;
    exportChecksum(checked, e.files, e.bytes);
    return e.files.size() == e.rides;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int runBench(const QStringList &arguments)
{
    int runs = kDefaultRuns;
    QString workPath;
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments.at(i) == QLatin1String("--runs"))
            runs = std::max(1, arguments.at(i + 1).toInt());
        else if (arguments.at(i) == QLatin1String("--work"))
            workPath = arguments.at(i + 1);
    }
    QTemporaryDir temporary;
    const QDir work(workPath.isEmpty() ? temporary.path() : workPath);
    if (!work.exists() && !QDir().mkpath(work.path()))
        return 2;
    const QString self = QCoreApplication::applicationFilePath();
    const QString image = work.filePath(QStringLiteral("full-image.psf"));
    const QString points = work.filePath(QStringLiteral("points.gpx"));
    const auto layout = PsfImage14Builder::layout(PsfImage14Builder::Model::Kavel35);
    if (!writeFile(image, PsfImage14Builder::psfImage(layout, BenchFullImage14::content())))
        return 2;
    const auto child = [&self](const QStringList &childArguments) {
        return BenchProcess::run(self, QStringList{QStringLiteral("child")} + childArguments);
    };
    if (!child({QStringLiteral("write"), points}).ok)
        return 2;
    const QString gpsLog = work.filePath(QStringLiteral("ride-GPS.dat"));
    const QString trainLog = work.filePath(QStringLiteral("ride-TRN.dat"));
    if (!BenchRideLogs::write(gpsLog, trainLog))
        return 2;

    QDir checked(work.filePath(QStringLiteral("export")));
    checked.removeRecursively();
    work.mkpath(checked.path());
    if (!child({QStringLiteral("export"), image, checked.path()}).ok)
        return 2;
    QStringList exported;
    qint64 exportedBytes = 0;
    const QByteArray checksum = exportChecksum(checked, exported, exportedBytes);

    const QString gpsbabel = QStandardPaths::findExecutable(QStringLiteral("gpsbabel"));
    const std::function<BenchProcess()> exportPeer =
        peerRewrite(gpsbabel, checked, exported, work.filePath(QStringLiteral("peer-export.gpx")));
    std::function<BenchProcess()> readPeer;
    std::function<BenchProcess()> writePeer;
    if (!gpsbabel.isEmpty()) {
        const QStringList in{QStringLiteral("-i"), QStringLiteral("gpx"), QStringLiteral("-f"), points,
                             QStringLiteral("-o"), QStringLiteral("gpx")};
        readPeer = [=] { return BenchProcess::run(gpsbabel, in + QStringList{"-F", "/dev/null"}); };
        writePeer = [=] {
            return BenchProcess::run(gpsbabel, in + QStringList{"-F", work.filePath(QStringLiteral("peer.gpx"))});
        };
    }
    QList<Kavel50Export> kavel50;
    for (int rides : kKavel50RideCounts) {
        Kavel50Export e;
        e.rides = rides;
        if (!prepareKavel50Export(work, child, e)) {
            out() << "the Kavel50 drive of " << rides << " rides did not export" << Qt::endl;
            return 2;
        }
        kavel50.append(e);
    }
    int exportRound = 0;
    const auto exportOurs = [&] {
        QDir folder(work.filePath(QStringLiteral("export-%1").arg(exportRound++)));
        folder.removeRecursively();
        work.mkpath(folder.path());
        const BenchProcess run = child({QStringLiteral("export"), image, folder.path()});
        folder.removeRecursively();
        return run;
    };
    const QString written = work.filePath(QStringLiteral("written.gpx"));
    const QString converted = work.filePath(QStringLiteral("ride.gpx"));
    QList<Path> paths = {
        {QStringLiteral("export 30 rides"), exportOurs, {}, exportPeer, {}, {}, {}},
        {QStringLiteral("read 100000 points"),
         [&] {
             return child({QStringLiteral("read"), points});
         },
         [&] {
             return child({QStringLiteral("scan"), points});
         },
         readPeer,
         {},
         {},
         {}},
        {QStringLiteral("write 100000 points"),
         [&] {
             return child({QStringLiteral("write"), written});
         },
         [&] {
             return child({QStringLiteral("stream"), written});
         },
         writePeer,
         {},
         {},
         {}},
        {QStringLiteral("convert %1-point ride").arg(BenchRideLogs::kPoints),
         [&] {
             return child({QStringLiteral("convert"), gpsLog, trainLog, converted});
         },
         {},
         {},
         {},
         {},
         {}},
        {QStringLiteral("import 65533-point route"),
         [&] {
             return child({QStringLiteral("import15"), work.path()});
         },
         {},
         {},
         {},
         {},
         {}},
    };
    for (const Kavel50Export &e : std::as_const(kavel50)) {
        const auto exportKavel50 = [&, drive = e.drive] {
            QDir folder(work.filePath(QStringLiteral("export50-run-%1").arg(exportRound++)));
            folder.removeRecursively();
            const BenchProcess run = child({QStringLiteral("export50"), drive, folder.path()});
            folder.removeRecursively();
            return run;
        };
        paths.append({QStringLiteral("export %1 Kavel50 rides").arg(e.rides),
                      exportKavel50,
                      {},
                      peerRewrite(gpsbabel, QDir(work.filePath(QStringLiteral("export50-%1").arg(e.rides))), e.files,
                                  work.filePath(QStringLiteral("peer-export50.gpx"))),
                      {},
                      {},
                      {}});
    }
    for (int activities : kGalActivityCounts) {
        const QString device = work.filePath(QStringLiteral("gal-%1").arg(activities));
        QDir(device).removeRecursively();
        if (!BenchGalActivities::writeDevice(device, activities)) {
            out() << "the GAL device of " << activities << " activities was not written" << Qt::endl;
            return 2;
        }
        paths.append({QStringLiteral("list %1 GAL activities").arg(activities),
                      [=] {
                          return child({QStringLiteral("galList"), device, QString::number(activities)});
                      },
                      {},
                      {},
                      {},
                      {},
                      {}});
    }
    for (int round = 0; round < runs; ++round) {
        for (Path &path : paths) {
            if (!path.runRound(round)) {
                out() << "a run of " << path.name << " failed" << Qt::endl;
                return 2;
            }
        }
    }

    out() << "full image: " << BenchFullImage14::kRides << " rides, exported as " << exported.size() << " files of "
          << exportedBytes << " bytes; points file: " << QFile(points).size()
          << " bytes; ride logs: " << QFile(gpsLog).size() + QFile(trainLog).size() << " bytes, converted to "
          << QFile(converted).size() << " bytes of GPX\n";
    out() << "medians of " << runs << " alternating runs; ours and floor: the work in the process, (wall) and peer: "
          << "the whole process; ratios: medians of the per-run ratios; MiB: peak resident memory\n";
    if (gpsbabel.isEmpty())
        out() << "gpsbabel not found: no peer figures\n";
    else
        out() << "peer: " << gpsbabel << " reading each input as gpx and writing gpx (the export: all "
              << exported.size() << " ride files in one run)\n";
    printTable(paths);
    const Series &e = paths.first().oursSeries;
    out() << "parse of the image: " << cell(median(e.parseMs), 0) << " ms of the export's " << cell(median(e.workMs), 0)
          << " ms (" << cell(100 * median(ratios(e.parseMs, e.workMs)), 0) << " %)\n";
    for (qsizetype i = 0; i < kavel50.size(); ++i) {
        const Series &k = paths.at(paths.size() - kavel50.size() + i).oursSeries;
        out() << "Kavel50 drive of " << kavel50.at(i).rides << " rides of " << BenchKavel50Rides::kPointsPerRide
              << " points: " << kavel50.at(i).bytes << " bytes exported, "
              << cell(median(k.workMs) / kavel50.at(i).rides, 0, 2) << " ms a ride\n";
    }
    out() << "sha256 of the exported files in name order: " << checksum << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("child"))
        return runChild(arguments.mid(2));
    return runBench(arguments);
}
