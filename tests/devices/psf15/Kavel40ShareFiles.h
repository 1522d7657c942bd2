#pragma once

#include <QByteArray>

// The files of a share package that the Kavel40 write tests import: a shared route of two
// track points and a workout of one interval.
namespace Kavel40 {

inline const QByteArray kSharedGpx =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx creator=\"tarvex\" version=\"2.2.0.3\"><metadata><name>Shared</name>"
    "<extensions><sharetype>2</sharetype></extensions></metadata>"
    "<rte><rtept lat=\"48.0\" lon=\"11.0\"/></rte>"
    "<trk><trkseg><trkpt lat=\"48.0\" lon=\"11.0\"><ele>500</ele></trkpt>"
    "<trkpt lat=\"48.001\" lon=\"11.001\"><ele>501</ele></trkpt></trkseg></trk></gpx>\n";

inline const QByteArray kSharedWrk = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                     "<trncrs creator=\"tarvex\" version=\"1.3.0.9\"><wrk id=\"9\">"
                                     "<name lang=\"eng\">Added</name><time>2024-04-30T10:00:00Z</time>"
                                     "<itv id=\"1\"><name>Work</name><target type=\"2\" low=\"100\" high=\"150\"/>"
                                     "<duration type=\"2\" value=\"60\"/></itv></wrk></trncrs>\n";

} // namespace Kavel40
