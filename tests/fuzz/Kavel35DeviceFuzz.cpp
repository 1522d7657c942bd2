// An emulated Kavel35 whose flash is the sample image damaged by the input, and one write action
// chosen by the input. The action answers false and the flash is as it was, or it answers true
// and a fresh client reads back what the acting client holds.
//
// Input: byte 0 chooses the action; then patches, each a 24-bit little-endian flash offset, a
// length byte and that many bytes, laid over the sample image in order (a patch that would run
// past the flash is cut there).

#include "FuzzSupport.h"

#include "FixtureZip.h"
#include "Kavel35Emulator.h"
#include "PsfImage14Builder.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "env/OrvoEnv.h"
#include "profile/OrvoProfileData.h"
#include "profile/OrvoProfileKeys.h"
#include "psf14/OrvoPSFPOIFrame.h"

#include <functional>

namespace {

const ProfileFixtures::UserRecord kUser{1, 40, 0, 175, 69, 70.5f, 155, 180};
constexpr qsizetype kPatchHeader = 4;

const QByteArray kShareRoute =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx xmlns=\"http://www.tarvex.com/xmlschemas/KRM/2/2\" creator=\"Tarvex\" version=\"2.2.0.3\">\n"
    "<metadata><name>Shared climb</name><extensions><sharetype>1</sharetype></extensions></metadata>\n"
    "<rte><rtept lat=\"35.0\" lon=\"139.0\"/><rtept lat=\"35.01\" lon=\"139.0\"/></rte>\n"
    "<trk><trkseg><trkpt lat=\"35.000000\" lon=\"139.000000\"/>"
    "<trkpt lat=\"35.010000\" lon=\"139.000000\"/></trkseg></trk>\n</gpx>\n";

QByteArray damagedImage(const QByteArray &input)
{
    static const QByteArray sample =
        PsfImage14Builder::flashImage(PsfImage14Builder::Model::Kavel35, PsfImage14Builder::sampleContent(), kUser);
    QByteArray flash = sample;
    qsizetype at = 1;
    while (input.size() - at >= kPatchHeader) {
        const qsizetype offset =
            quint8(input[at]) | qsizetype(quint8(input[at + 1])) << 8 | qsizetype(quint8(input[at + 2])) << 16;
        const qsizetype length = std::min<qsizetype>(quint8(input[at + 3]), input.size() - at - kPatchHeader);
        const QByteArray patch = input.mid(at + kPatchHeader, length);
        flash.replace(offset, std::min(length, flash.size() - offset), patch.left(flash.size() - offset));
        at += kPatchHeader + length;
    }
    return flash;
}

QString names(const QVector<OrvoClientData> &items)
{
    QStringList texts;
    for (const OrvoClientData &item : items)
        texts << item.name;
    return texts.join(QLatin1Char('|'));
}

QStringList held(OrvoKavel30 &client)
{
    QVector<OrvoClientData> routes;
    QVector<OrvoClientData> rides;
    QVector<OrvoClientData> workouts;
    client.getRoutes(routes);
    client.getTracks(rides);
    client.getWorkouts(workouts);
    const OrvoPSFPOIFrame *pois = client.container() ? client.container()->poiFrame() : nullptr;
    const QString weight = client.profile() ? client.profile()->value(OrvoProfileKeys::kWeightMetric) : QString();
    return {names(routes), names(rides), names(workouts), QString::number(pois ? pois->pois().size() : -1), weight};
}

using Action = std::function<bool(OrvoKavel30 &)>;

const Action &chosenAction(quint8 selector)
{
    static const QString share =
        FuzzSupport::writeInput(QStringLiteral("share.zip"), FixtureZip::storedArchive({{"a.krm", kShareRoute}}));
    static const std::vector<Action> actions = {
        [](OrvoKavel30 &c) {
            return c.saveProfile({{QString(OrvoProfileKeys::kWeightMetric), QStringLiteral("61")}}) && c._finalize();
        },
        [](OrvoKavel30 &c) {
            return c.deletePOIs({0}) && c.deleteRoutes({0}) && c.deleteWorkouts({0}) && c._finalize();
        },
        [](OrvoKavel30 &c) { return c.setShareData(share) && c._finalize(); },
        [](OrvoKavel30 &c) { return c.deleteAll(); },
        [](OrvoKavel30 &c) {
            return c.deleteTracks({0, 1}) && c._finalize();
        },
    };
    return actions.at(selector % actions.size());
}

bool prepareDevice()
{
    FuzzSupport::prepare();
    static OrvoVirtualDeviceWaits waits(QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC));
    OrvoDeviceWaits::install(&waits);
    OrvoEnv::instance()->setUserFolder(FuzzSupport::freshFolder(QStringLiteral("user")));
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = prepareDevice();
    Q_UNUSED(ready);
    const QByteArray input = FuzzSupport::bytes(data, size);
    if (input.isEmpty())
        return 0;
    const QByteArray flash = damagedImage(input);
    auto device = Kavel35::makeDevice(flash);
    auto client = Kavel35::makeClient(device);
    if (!chosenAction(quint8(input[0]))(*client)) {
        if (device->memory(Kavel35::kFlash) != flash)
            FuzzSupport::fail("an action answered false after it changed the flash");
        return 0;
    }
    const QStringList programs = held(*client);
    auto reread = Kavel35::makeClient(device);
    reread->loadProfile();
    if (held(*reread) != programs)
        FuzzSupport::fail("the device does not read back what the program holds after a write");
    return 0;
}
