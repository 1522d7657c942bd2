#include "ZKGpxTestDocument.h"

namespace ZKGpxTestDocument {

namespace {

ZKGpxMetadata fullMetadata()
{
    ZKGpxMetadata m;
    m.name = QStringLiteral("Morning ride");
    m.shtname = QStringLiteral("Morning");
    m.desc = QStringLiteral("Along the river & back <fast>");
    m.authorName = QStringLiteral("Aiko");
    m.authorEmail = QStringLiteral("aiko@example.org");
    m.authorLink = QStringLiteral("http://example.org/aiko");
    m.time = QStringLiteral("2023-05-01T06:00:00Z");
    m.minlat = QStringLiteral("35.600000");
    m.minlon = QStringLiteral("139.600000");
    m.maxlat = QStringLiteral("35.700000");
    m.maxlon = QStringLiteral("139.800000");
    m.user.name = QStringLiteral("aiko");
    m.user.gender = QStringLiteral("1");
    m.user.weight = QStringLiteral("55");
    m.user.age = QStringLiteral("31");
    m.user.height = QStringLiteral("162");
    m.user.mhr = QStringLiteral("188");
    m.user.lthr = QStringLiteral("165");
    m.user.map = QStringLiteral("320");
    m.user.ftp = QStringLiteral("210");
    m.user.longdist = QStringLiteral("110");
    m.user.sprint = QStringLiteral("140");
    m.user.racetime = QStringLiteral("3600");
    m.user.racedist = QStringLiteral("10000");
    m.user.bike = {QStringLiteral("Roadie"), QStringLiteral("8"), QStringLiteral("road"), QStringLiteral("2096"),
                   QStringLiteral("bike1")};
    m.user.zoneDefs = {{QStringLiteral("hr"), {0, 120, 150}, {119, 149, 200}},
                       {QStringLiteral("pwr"), {-5}, {100, 999}}};
    m.deviceText1 = QStringLiteral("65");
    m.deviceText2 = QStringLiteral("1");
    m.deviceText3 = QStringLiteral("188");
    m.sys = QStringLiteral("Kavel50");
    m.sysVersion = QStringLiteral("1.2.3");
    m.sharetype = QStringLiteral("ride");
    m.sctry = QStringLiteral("JP");
    m.ectry = QStringLiteral("JP");
    m.splace = QStringLiteral("Chofu");
    m.eplace = QStringLiteral("Haneda");
    m.acttype = QStringLiteral("cycling");
    m.rtetype = QStringLiteral("loop");
    m.trvtime = QStringLiteral("3725");
    m.trvdist = QStringLiteral("30500");
    m.appName = QStringLiteral("orvo");
    m.appVersion = QStringLiteral("2.8.0.20");
    m.stime = QStringLiteral("2023-05-01T06:00:00Z");
    m.etime = QStringLiteral("2023-05-01T07:02:05Z");
    m.acttypeSubtype = QStringLiteral("road");
    m.poollen = QStringLiteral("25");
    return m;
}

ZKGpxTrack track(const QString &order, const QString &firstTime, const QString &secondTime)
{
    ZKGpxTrack t;
    t.itvSegStart = order + QStringLiteral("0");
    t.itvSegEnd = order + QStringLiteral("9");
    t.order = order;
    t.acttype = QStringLiteral("cycling");
    t.acttypeSubtype = QStringLiteral("road");
    t.breaktype = QStringLiteral("pause");
    t.appendPoint({QStringLiteral("35.650000"), QStringLiteral("139.700000"), QStringLiteral("12.5"),
                   QStringLiteral("start"), firstTime, QStringLiteral("1"), QStringLiteral("0.5"),
                   QStringLiteral("7.2")});
    t.appendPoint({QStringLiteral("35.651234"), QStringLiteral("-139.701234"), QStringLiteral("-3.0"), QString(),
                   secondTime, QString(), QString(), QString()});
    return t;
}

ZKGpxLap lap(const QString &order)
{
    ZKGpxLap l;
    l.order = order;
    l.start = QStringLiteral("2023-05-01T06:00:00Z");
    l.end = QStringLiteral("2023-05-01T06:30:00Z");
    l.distance = QStringLiteral("15000");
    l.calorie = QStringLiteral("400");
    l.step = QStringLiteral("0");
    l.altloss = QStringLiteral("30");
    l.altgain = QStringLiteral("35");
    l.speedMax = QStringLiteral("45.5");
    l.speedAvg = QStringLiteral("28.1");
    l.hrmMax = QStringLiteral("176");
    l.hrmAvg = QStringLiteral("142");
    l.cadMax = QStringLiteral("110");
    l.cadAvg = QStringLiteral("88");
    l.pwrMax = QStringLiteral("600");
    l.pwrAvg = QStringLiteral("190");
    l.rtime = QStringLiteral("1800");
    l.gainaltlen = QStringLiteral("2000");
    l.lostaltlen = QStringLiteral("1900");
    l.gainalttime = QStringLiteral("300");
    l.lostalttime = QStringLiteral("280");
    return l;
}

ZKGpxLogPoint logPoint(const QString &time, const QString &hrm)
{
    ZKGpxLogPoint p;
    p.time = time;
    p.hrm = hrm;
    p.cad = QStringLiteral("90");
    p.spd = QStringLiteral("27.5");
    p.tmp = QStringLiteral("18");
    p.pwr = QStringLiteral("200");
    p.brm = QStringLiteral("1");
    return p;
}

} // namespace

std::unique_ptr<ZKGpx2> fullRide()
{
    auto doc = std::make_unique<ZKGpx2>();
    doc->metadata = fullMetadata();

    doc->route.emplace();
    doc->route->name = QStringLiteral("To the bay");
    doc->route->cmt = QStringLiteral("flat");
    doc->route->desc = QStringLiteral("river path");
    doc->route->src = QStringLiteral("planner");
    doc->route->number = QStringLiteral("99");
    doc->route->type = QStringLiteral("bike");
    doc->route->appendPoint({QStringLiteral("35.600001"), QStringLiteral("139.600002"), QStringLiteral("Start"),
                             QStringLiteral("c1"), QStringLiteral("d1"), QStringLiteral("t1")});
    doc->route->appendPoint({QStringLiteral("35.700001"), QStringLiteral("139.800002"), QStringLiteral("End"),
                             QString(), QString(), QString()});

    doc->trackList.emplace();
    doc->trackList->append(
        track(QStringLiteral("1"), QStringLiteral("2023-05-01T06:00:00Z"), QStringLiteral("2023-05-01T06:00:05Z")));
    doc->trackList->append(
        track(QStringLiteral("2"), QStringLiteral("2023-05-01T06:40:00Z"), QStringLiteral("2023-05-01T06:40:05Z")));

    doc->waypoints.append({QStringLiteral("35.660000"), QStringLiteral("139.710000"), QStringLiteral("5"),
                           QStringLiteral("2023-05-01T06:10:00Z"), QStringLiteral("Cafe"), QStringLiteral("coffee"),
                           QStringLiteral("good beans"), QStringLiteral("Restaurant"), QStringLiteral("food"),
                           QStringLiteral("1"), QStringLiteral("+81-3-0000"), QStringLiteral("JP"),
                           QStringLiteral("Setagaya"), QStringLiteral("Tamagawa"), QStringLiteral("12")});
    doc->waypoints.append({QStringLiteral("35.670000"), QStringLiteral("139.720000"), QString(), QString(),
                           QStringLiteral("Bench"), QString(), QString(), QString(), QString(), QString(), QString(),
                           QString(), QString(), QString(), QString()});

    doc->logSegments.emplace();
    doc->logSegments->append({{logPoint(QStringLiteral("2023-05-01T06:00:00Z"), QStringLiteral("120")),
                               logPoint(QStringLiteral("2023-05-01T06:00:01Z"), QStringLiteral("121"))},
                              QStringLiteral("auto")});
    doc->logSegments->append({{logPoint(QStringLiteral("2023-05-01T06:40:00Z"), QStringLiteral("130"))}, QString()});

    doc->workoutLog.emplace();
    doc->workoutLog->id = QStringLiteral("7");
    doc->workoutLog->type = QStringLiteral("interval");
    doc->workoutLog->subtype = QStringLiteral("2");
    doc->workoutLog->lthr = QStringLiteral("165");
    doc->workoutLog->mhr = QStringLiteral("188");
    doc->workoutLog->ftp = QStringLiteral("210");
    doc->workoutLog->map = QStringLiteral("320");
    doc->workoutLog->appendInterval(
        {QStringLiteral("1"), QStringLiteral("2023-05-01T06:00:00Z"), QStringLiteral("2023-05-01T06:10:00Z")});
    doc->workoutLog->appendInterval({QStringLiteral("2"), QStringLiteral("2023-05-01T06:10:00Z"), QString()});

    doc->laps.emplace();
    doc->laps->append(lap(QStringLiteral("1")));
    doc->laps->append(lap(QStringLiteral("2")));
    ZKGpxLap summary = lap(QString());
    summary.end = QStringLiteral("2023-05-01T07:02:05Z");
    doc->laps->summary = summary;
    return doc;
}

QByteArray gpxFile(const QByteArray &body, const QByteArray &version, const QByteArray &creator)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx xmlns=\"http://www.tarvex.com/xmlschemas/KRM/2/2\" "
           "creator=\"" +
           creator + "\" version=\"" + version + "\">" + body + "</gpx>\n";
}

} // namespace ZKGpxTestDocument
