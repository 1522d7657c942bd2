#pragma once

#include "training/ZKTrncrs.h"

// Documents the training tests write and compare.
namespace TrainingSamples {

// Every record and field filled, two workouts, multi-language texts, characters that need
// escaping and text beyond ASCII.
inline ZKTrncrs fullDocument()
{
    ZKTrncrs doc;
    ZKTrncrsMetadata m;
    m.name = QStringLiteral("Spring plan");
    m.nameShtname = QStringLiteral("Spring");
    m.desc = QStringLiteral("Base & tempo <weeks 1-4>");
    m.author = QStringLiteral("J\u00fcrgen");
    m.authorShtname = QStringLiteral("JG");
    m.time = QStringLiteral("2013-01-01T00:00:00Z");
    m.sys = QStringLiteral("Kavel50");
    m.sysMajor = QStringLiteral("1");
    m.sysMinor = QStringLiteral("3");
    m.sysBuildmajor = QStringLiteral("0");
    m.sysBuildminor = QStringLiteral("9");
    doc.metadata() = m;

    ZKTrncrsWorkout hill;
    hill.id = QStringLiteral("7");
    hill.orgid = QStringLiteral("3");
    hill.daily = QStringLiteral("1");
    hill.repeat = QStringLiteral("2");
    hill.type = QStringLiteral("1");
    hill.subtype = QStringLiteral("4");
    hill.listOrder = QStringLiteral("0");
    hill.acttype = QStringLiteral("2");
    hill.desc = QStringLiteral("\\ENG Hill repeats\\DEU Bergwiederholungen");
    hill.name = QStringLiteral("\\ENG Hills\\DEU Berge");
    hill.nameShtname = QStringLiteral("\\ENG H\\DEU B");
    hill.time = QStringLiteral("2013-01-02T06:30:00Z");
    hill.route = QStringLiteral("Ridge loop");
    hill.routeId = QStringLiteral("1357000000");

    ZKTrncrsInterval warmup;
    warmup.id = QStringLiteral("1");
    warmup.needLap = QStringLiteral("true");
    warmup.name = QStringLiteral("Warmup");
    warmup.gotoText = QStringLiteral("1");
    warmup.gotoRepeat = QStringLiteral("3");
    warmup.logreso = QStringLiteral("5");
    warmup.target =
        ZKTrncrsTarget{QStringLiteral("hr"), QStringLiteral("120"), QStringLiteral("140"), QStringLiteral("true")};
    warmup.duration = ZKTrncrsDuration{QStringLiteral("time"),      QStringLiteral("600"), QStringLiteral("false"),
                                       QStringLiteral("2"),         QStringLiteral("9"),   QStringLiteral("35.689487"),
                                       QStringLiteral("139.691706")};
    hill.intervals.append(warmup);

    ZKTrncrsInterval rest;
    rest.id = QStringLiteral("2");
    rest.needLap = QStringLiteral("false");
    rest.gotoRepeat = QStringLiteral("0");
    rest.duration = ZKTrncrsDuration{QStringLiteral("distance"),
                                     QStringLiteral("1000"),
                                     QStringLiteral("true"),
                                     QString(),
                                     QString(),
                                     QString(),
                                     QString()};
    hill.intervals.append(rest);
    doc.workouts().append(hill);

    ZKTrncrsWorkout easy;
    easy.id = QStringLiteral("8");
    easy.name = QStringLiteral("Easy");
    doc.workouts().append(easy);
    return doc;
}

} // namespace TrainingSamples
