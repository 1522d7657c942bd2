// An emulated Kavel40 started from a fuzzed image, one write action chosen by the input and the
// save that follows it. An action that answers false sent no erase and left the flash byte for
// byte as it was; one that answers true left a device that a fresh client reads as the
// program's copy. The save is the one a finalize makes, without the flash dumps around it.

#include "FuzzSupport.h"
#include "Kavel40Content.h"
#include "Psf15DeviceInput.h"

#include "device/OrvoVirtualDeviceWaits.h"
#include "env/OrvoEnv.h"

#include <array>
#include <functional>

namespace {

constexpr quint8 kWrite = 0x2A;
constexpr quint8 kEraseArea = 14;

const QByteArray kGpx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<gpx creator=\"tarvex\" version=\"2.2.0.3\"><metadata><name>Shared</name>"
                        "<extensions><sharetype>2</sharetype></extensions></metadata>"
                        "<rte><rtept lat=\"48.0\" lon=\"11.0\"/></rte>"
                        "<trk><trkseg><trkpt lat=\"48.0\" lon=\"11.0\"><ele>500</ele></trkpt>"
                        "<trkpt lat=\"48.001\" lon=\"11.001\"><ele>540</ele></trkpt></trkseg></trk></gpx>\n";

const QByteArray kWrk = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<trncrs creator=\"tarvex\" version=\"1.3.0.9\"><wrk id=\"9\">"
                        "<name lang=\"eng\">Added</name><desc lang=\"eng\">New</desc>"
                        "<time>2024-04-30T10:00:00Z</time>"
                        "<itv id=\"1\"><name>Work</name><target type=\"2\" low=\"300\" high=\"350\"/>"
                        "<duration type=\"2\" value=\"40000\"/></itv></wrk></trncrs>\n";

struct Setup
{
    Setup()
    {
        FuzzSupport::prepare();
        OrvoEnv::instance()->setUserFolder(FuzzSupport::freshFolder(QStringLiteral("user")));
        OrvoDeviceWaits::install(&waits);
        route = FuzzSupport::writeInput(QStringLiteral("route.gpx"), kGpx);
        workout = FuzzSupport::writeInput(QStringLiteral("workout.wrk"), kWrk);
    }

    OrvoVirtualDeviceWaits waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    QByteArray base = Psf15DeviceInput::baseImage();
    QString route;
    QString workout;
};

using Action = std::function<bool(OrvoPSFDevice &, const Setup &)>;

const std::array<Action, 7> kActions = {
    [](OrvoPSFDevice &c, const Setup &s) { return c.importGpxFile(s.route); },
    [](OrvoPSFDevice &c, const Setup &s) { return c.importWorkoutFileAllLanguages(s.workout); },
    [](OrvoPSFDevice &c, const Setup &) { return c.deleteTracks({0}); },
    [](OrvoPSFDevice &c, const Setup &) {
        return c.deleteRoutes({0, 1});
    },
    [](OrvoPSFDevice &c, const Setup &) { return c.deleteWorkouts({0}); },
    [](OrvoPSFDevice &c, const Setup &) { return c.deleteAll(); },
    [](OrvoPSFDevice &c, const Setup &) {
        return c.saveProfile({{QStringLiteral("User Weight.Metric"), QStringLiteral("64")}});
    },
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Setup setup;
    if (size == 0)
        return 0;
    const QByteArray image = Psf15DeviceInput::imageFrom(setup.base, FuzzSupport::bytes(data, size));
    auto device = Kavel40::makeDevice(image);
    auto client = Kavel40::makeClient(device);
    if (!client->initial())
        return 0;
    const bool done = kActions[data[0] % kActions.size()](*client, setup) && client->save();
    if (!done) {
        if (!Kavel40::commands(*device, kWrite, kEraseArea).isEmpty())
            FuzzSupport::fail("a failed action erased the flash");
        if (device->memory(Kavel40::kFlash) != image)
            FuzzSupport::fail("a failed action changed the flash");
        return 0;
    }
    if (Kavel40::readBack(device) != Kavel40::contentOf(*client))
        FuzzSupport::fail("the device does not read back as the program's copy");
    return 0;
}
