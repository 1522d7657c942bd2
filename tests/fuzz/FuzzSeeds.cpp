// Writes the seed corpus of every fuzz target: small valid inputs made by the fixture builders,
// one folder per target under the folder given, so that no binary input is kept in the
// repository. Text inputs that tests/data already holds are copied from there.
//
//   orvo-fuzz-seeds <corpus folder> <tests/data folder>

#include "../psf15/Psf15TestImage.h"
#include "../training/TrainingSamples.h"
#include "BinaryLogFixture.h"
#include "FixtureBytes.h"
#include "FixtureSysfsTree.h"
#include "FixtureZip.h"
#include "ProfileFixtures.h"
#include "Psf15DeviceInput.h"
#include "PsfImage14Builder.h"
#include "training/ZKTrnWriter.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>

namespace {

using FixtureBytes::hex;

class Corpus
{
public:
    explicit Corpus(const QString &root)
        : m_root(root)
    {}

    bool ok() const { return m_ok; }

    void add(const QString &target, const QString &name, const QByteArray &bytes)
    {
        const QString folder = m_root + QLatin1Char('/') + target;
        QSaveFile file(folder + QLatin1Char('/') + name);
        m_ok = m_ok && QDir().mkpath(folder) && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
               file.flush() && file.commit();
    }

    void copy(const QString &target, const QString &path)
    {
        QFile file(path);
        m_ok = m_ok && file.open(QIODevice::ReadOnly);
        add(target, QFileInfo(path).fileName(), file.readAll());
    }

private:
    QString m_root;
    bool m_ok = true;
};

void addBinaryLogs(Corpus &corpus)
{
    using namespace BinaryLogFixture;
    Header gps;
    gps.count = 2;
    corpus.add("binary_log_reader", "gps.log",
               header(gps) + gpsRecord({139767125, 35681236, 40, 0x7FFF, 500, 0, 1700000000}) +
                   gpsRecord({139767200, 35681300, 41, 0x7FFF, 520, 0, 1700000001}));
    Header train;
    train.type = "train log";
    train.version = {0, 2, 2, 0};
    train.count = 1;
    TrainSample sample;
    sample.time = 1700000000;
    sample.hrm = 140;
    corpus.add("binary_log_reader", "train-extended.log", header(train) + trainRecord(sample, true));
    train.version = {0, 2, 1, 8};
    corpus.add("binary_log_reader", "train.log", header(train) + trainRecord(sample, false));
}

void addPsfImages(Corpus &corpus)
{
    using namespace PsfImage14Builder;
    const Layout kavel35 = layout(Model::Kavel35);
    corpus.add("psf14_image", "sample.psf", psfImage(kavel35, sampleContent()));
    corpus.add("psf14_image", "empty.psf", psfImage(kavel35, Content{}));
    const QByteArray psf15 = Psf15::standardBuilder().build().bytes;
    corpus.add("psf15_image", "standard.img", psf15);
    const QByteArray device = Psf15DeviceInput::baseImage();
    for (quint8 action = 0; action < 7; ++action)
        corpus.add("psf15_device", QStringLiteral("action%1.bin").arg(action), Psf15DeviceInput::seed(action, device));
    // Damage that a write must refuse or carry through: a workout-log start counter below its
    // area, and a variant code that picks the other area table.
    QByteArray outside = device;
    qToLittleEndian<quint32>(0x1000, outside.data() + 128);
    corpus.add("psf15_device", "start-outside.bin", Psf15DeviceInput::seed(5, outside));
    QByteArray variant = device;
    variant.replace(PsfImage15Builder::kDistHeader + 16, 4, "1511");
    corpus.add("psf15_device", "variant.bin", Psf15DeviceInput::seed(5, variant));
    // An odd size picks the other change: the recorded rides removed.
    corpus.add("psf15_image", "standard-odd.img", psf15 + '\xFF');
}

// An action byte, then patches of the sample Kavel35 flash: a 24-bit offset, a length and
// the bytes.
QByteArray devicePatch(quint32 offset, const QByteArray &bytes)
{
    QByteArray patch;
    patch.append(char(offset & 0xFF)).append(char(offset >> 8 & 0xFF)).append(char(offset >> 16 & 0xFF));
    patch.append(char(bytes.size()));
    return patch + bytes;
}

void addDeviceActions(Corpus &corpus)
{
    using namespace PsfImage14Builder;
    const Layout kavel35 = layout(Model::Kavel35);
    const Positions at = positions(kavel35);
    // Region 6 of the current record empty, with a start in the route area.
    const QByteArray region6 = hex("F06F0000 00800000 00800000");
    const QByteArray routeCount = devicePatch(quint32(kavel35[42] + at.routeSection + 8), hex("FFFF"));
    for (int action = 0; action < 5; ++action) {
        const QByteArray selector(1, char(action));
        const QString name = QStringLiteral("action%1").arg(action);
        corpus.add("kavel35_device", name + QStringLiteral(".bin"), selector);
        corpus.add("kavel35_device", name + QStringLiteral("-region.bin"),
                   selector + devicePatch(256 + 76 + 4 * 12, region6));
        corpus.add("kavel35_device", name + QStringLiteral("-routes.bin"), selector + routeCount);
    }
}

void addGlyphs(Corpus &corpus)
{
    corpus.add("psf_glyph", "lz.bin", hex("00 10 AA 41 42 AA 00 AA 02 02 43"));
    corpus.add("psf_glyph", "rows.bin", hex("01 10") + QByteArray(32, '\x5A'));
    corpus.add("psf_glyph", "glyph.bin", hex("02 00 85 08 7E FF 7E 0F 01"));
    corpus.add("psf_glyph", "name.bin", hex("03 00 85 08 7E FF 7E 0F 01"));
    corpus.add("psf_glyph", "raw-name.bin", hex("03 00") + PsfImage14Builder::framedBitmapName());
    corpus.add("psf_glyph", "string.bin", hex("04 00 00 00 04 00 656E6700 0000 0000 52696465"));
}

void addProfiles(Corpus &corpus, const QString &data)
{
    using namespace ProfileFixtures;
    const UserRecord user{1, 35, 0, 1.75f, 69.0f, 70.5f, 155.4f, 185};
    QByteArray obsolete = erasedSector();
    FixtureBytes::putBytes(obsolete, PsfImage14Builder::profileRecordOffset(PsfImage14Builder::Model::Kavel35),
                           userRecord(user));
    corpus.add("profile_sector", "obsolete.bin", obsolete);
    QByteArray pulmor = erasedSector();
    FixtureBytes::putBytes(pulmor, PsfImage14Builder::profileRecordOffset(PsfImage14Builder::Model::Pulmor30),
                           userRecord(user));
    corpus.add("profile_sector", "pulmor30.bin", pulmor);
    QByteArray settings = obsolete;
    FixtureBytes::putU8(settings, 475, 2);
    corpus.add("profile_sector", "settings.bin", settings);
    // The 2.0.0 list: the format word at 516, the list offset from 512 at 520, the count at 524.
    QByteArray list = erasedSector();
    FixtureBytes::putU32Le(list, 516, 2);
    FixtureBytes::putU32Le(list, 520, 256);
    FixtureBytes::putU16Le(list, 524, 2);
    FixtureBytes::putBytes(list, 768,
                           listEntry(1, 1, hex("23000000")) + listEntry(2, 1, hex("B9000000")) +
                               hex("00 00 01 05 B7 62 F3 02"));
    corpus.add("profile_sector", "list.bin", list);
    corpus.copy("profile_xml", data + "/profile/two-keys.xml");
    corpus.copy("profile_xml", data + "/profile/escaping.xml");
}

void addFolderFiles(Corpus &corpus, const QString &data)
{
    corpus.copy("gpx_reader", data + "/util/full-ride.gpx");
    corpus.add("zip_extract", "entries.zip",
               FixtureZip::storedArchive({{"a.txt", "hello"}, {"sub/", ""}, {"sub/b.gpx", "<gpx/>"}}));
    corpus.add("device_ini", "device.ini", "[MODEL]\r\nModel=Kavel50\r\n[UUID]\r\nUUID=\"0123-4567\"\r\n");
    corpus.add("device_ini", "unix.ini", "[UUID]\nUUID = 89AB\n; note\n[Other]\nkey=value\n");

    QTemporaryDir folder;
    FixtureSysfsTree tree(folder.path());
    tree.addMount("8:17", "/media/user/KAVEL 50", "vfat", "/dev/sdb1");
    tree.addMount("8:2", "/", "ext4", "/dev/sda2");
    tree.writeMountInfo();
    corpus.copy("mountinfo", tree.mountInfoPath());
}

void addTrainingCourse(Corpus &corpus)
{
    ZKTrncrs document = TrainingSamples::fullDocument();
    QTemporaryDir folder;
    const QString path = folder.filePath("course.xml");
    ZKTrnWriter(QStringLiteral("1.0"), document).write(path);
    corpus.copy("trncrs_reader", path);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <corpus folder> <tests/data folder>\n", argv[0]);
        return 2;
    }
    const QString data = QString::fromLocal8Bit(argv[2]);
    Corpus corpus(QString::fromLocal8Bit(argv[1]));
    addBinaryLogs(corpus);
    addPsfImages(corpus);
    addDeviceActions(corpus);
    addGlyphs(corpus);
    addProfiles(corpus, data);
    addFolderFiles(corpus, data);
    addTrainingCourse(corpus);
    if (!corpus.ok()) {
        std::fprintf(stderr, "the seed corpus could not be written\n");
        return 1;
    }
    return 0;
}
