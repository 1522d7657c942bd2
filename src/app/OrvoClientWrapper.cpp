#include "app/OrvoClientWrapper.h"

#include "app/OrvoAppLogging.h"
#include "app/OrvoControllerHooks.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoClient.h"
#include "device/OrvoDeviceVersionUtil.h"
#include "devices/psf15/OrvoPSFDevice.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <functional>

namespace py = pybind11;

namespace {

// The last real client new_OrvoClient handed out; null again once that client is deleted.
QPointer<OrvoClient> g_current;

const QString kKavel60 = QStringLiteral("Kavel60");
// Where a Kavel60 keeps its cycling application on its own drive.
const QString kCyclingFolder = QStringLiteral("/morvia/applications/cycling");
const QString kUnknownVersion = QStringLiteral("0.0.0.0");
const QString kVersionKey = QStringLiteral("version");
const QString kTunerKey = QStringLiteral("dat");

bool isCurrent(const OrvoClient *o)
{
    return o != nullptr && o == g_current.data();
}

void logSkipped(const char *method)
{
    const QByteArray name = QByteArrayLiteral("OrvoClientWrapper::") + method;
    ORVO_TRACE_DEBUG(lcOrvoApp, name.constData()) << (name + " skipped").constData();
}

// The text a client's getter fills, when the client is current and the getter succeeds.
QString textOf(OrvoClient *o, bool (OrvoClient::*getter)(QString &))
{
    QString text;
    if (!isCurrent(o) || !(o->*getter)(text))
        return QString();
    return text;
}

// Keeps device actions from starting while the GUI thread reads or changes the device: the
// client's worker must not run and its service state must move from idle to out of service.
bool claimClient(OrvoClient *o, const char *method, const char *refusal)
{
    if (!o->isRunning() && o->setStateWithMatch(OrvoClient::STATE_IN_SERVICE, OrvoClient::STATE_OUT_OF_SERVICE))
        return true;
    ORVO_TRACE_WARNING(lcOrvoApp, method) << refusal << o->getState();
    return false;
}

// A client that runs an action takes no other: the call that asked answers false, so the page
// does not show as done what the device never got.
bool isBusy(OrvoClient &o, const char *method)
{
    if (o.getState() == OrvoClient::STATE_IN_SERVICE && !o.isRunning())
        return false;
    ORVO_TRACE_WARNING(lcOrvoApp, method) << "the device is busy with another action" << o.getState();
    return true;
}

void releaseClient(OrvoClient *o, const char *method)
{
    if (!o->setStateWithMatch(OrvoClient::STATE_OUT_OF_SERVICE, OrvoClient::STATE_IN_SERVICE))
        ORVO_TRACE_WARNING(lcOrvoApp, method) << "unexpect device stat";
}

bool startAsync(OrvoClient *o, const py::object &callback, const char *method,
                const std::function<bool(OrvoClient &)> &start)
{
    if (!isCurrent(o)) {
        logSkipped(method);
        return false;
    }
    PythonCppBridge *bridge = pythonBridge();
    if (bridge == nullptr || !bridge->setAsyncCallback(callback))
        return false;
    return start(*o);
}

bool startUpdate(OrvoClient &client, const QString &component, const QString &filename, const QString &extra)
{
    if (component == QLatin1String("DeviceAp"))
        return client.updateAP(filename);
    if (component == QLatin1String("LaunchSEC"))
        return client.updateLaunchsec(filename);
    if (component == QLatin1String("GPST_ENGINE") || component == QLatin1String("MapData")) {
        QString model;
        client.getName(model);
        return OrvoDeviceVersionUtil::isDriveModel(model) && client.updateComponent(filename, model, component, extra);
    }
    if (component == QLatin1String("Total"))
        return client.updateTotal(filename, extra);
    if (component == QLatin1String("BootLoader"))
        return client.updateBootLoader(filename);
    return false;
}

bool sameDrive(const QString &a, const QString &b)
{
    return !b.isEmpty() && QDir::cleanPath(a) == QDir::cleanPath(b);
}

bool hasVersionFile(const QString &base)
{
    return QFileInfo::exists(base + QStringLiteral("/data/version.ini"));
}

bool hasDataFolder(const QString &base)
{
    return QFileInfo::exists(base + QStringLiteral("/data"));
}

} // namespace

OrvoClient *OrvoClientWrapper::new_OrvoClient()
{
    if (OrvoClient *client = OrvoControllerHooks::currentClient()) {
        g_current = client;
        return client;
    }
    return placeholderClient();
}

QString OrvoClientWrapper::getDrive(OrvoClient *o)
{
    return textOf(o, &OrvoClient::getDrive);
}

int OrvoClientWrapper::getServiceType(OrvoClient *o)
{
    return isCurrent(o) ? o->deviceServiceType() : -1;
}

bool OrvoClientWrapper::asyncReadDeviceProfile(OrvoClient *o, const QString &filename, const py::object &callback)
{
    return startAsync(o, callback, "asyncReadDeviceProfile",
                      [&filename](OrvoClient &client) { return client.readProfile(filename); });
}

bool OrvoClientWrapper::asyncWriteDeviceProfile(OrvoClient *o, const QString &filename, const py::object &callback)
{
    return startAsync(o, callback, "asyncWriteDeviceProfile",
                      [&filename](OrvoClient &client) { return client.writeProfile(filename); });
}

int OrvoClientWrapper::updateDevice(OrvoClient *o, const QString &component, const QString &filename,
                                    const QString &extra)
{
    if (!isCurrent(o) || !o->isValid())
        return kUpdateRefused;
    if (o->getState() != OrvoClient::STATE_IN_SERVICE || o->isRunning())
        return kUpdateBusy;
    return startUpdate(*o, component, filename, extra) ? 0 : 1;
}

bool OrvoClientWrapper::ejectDevice(OrvoClient *o)
{
    return o != nullptr && o->eject();
}

// Language files and share packages of this kind are made by the flash-image devices only;
// every other client answers true without doing anything.
bool OrvoClientWrapper::makelanfile(OrvoClient *o, const QStringList &lanlist)
{
    // Only a PSF flash device builds the file; for every other client there is nothing to do.
    auto *device = dynamic_cast<OrvoPSFDevice *>(o);
    if (!device || !isCurrent(o) || !o->isValid())
        return true;
    if (isBusy(*o, "OrvoClientWrapper::makelanfile"))
        return false;
    return device->writeLanguageFile(lanlist, 0);
}

bool OrvoClientWrapper::newSetShareData(OrvoClient *o, const QString &filename)
{
    auto *device = dynamic_cast<OrvoPSFDevice *>(o);
    if (!device || !isCurrent(o) || !o->isValid())
        return true;
    if (isBusy(*o, "OrvoClientWrapper::newSetShareData"))
        return false;
    return device->newSetShareData(filename);
}

bool OrvoClientWrapper::asyncPrepareUploadData(OrvoClient *o, const py::object &callback)
{
    return startAsync(o, callback, "asyncPrepareUploadData", [](OrvoClient &client) { return client.makeUploadZip(); });
}

bool OrvoClientWrapper::asyncImportDownloadZip(OrvoClient *o, const QString &zipfile, const py::object &callback)
{
    return startAsync(o, callback, "asyncImportDownloadZip",
                      [&zipfile](OrvoClient &client) { return client.importDownloadZip(zipfile); });
}

bool OrvoClientWrapper::asyncFinalize(OrvoClient *o, const py::object &callback)
{
    return startAsync(o, callback, "asyncFinalize", [](OrvoClient &client) { return client.finalize(); });
}

bool OrvoClientWrapper::asyncExportTrack(OrvoClient *o, const QString &dest, const py::object &callback)
{
    return startAsync(o, callback, "asyncExportTrack",
                      [&dest](OrvoClient &client) { return client.exportTrack(dest); });
}

bool OrvoClientWrapper::setShareData(OrvoClient *o, const QString &zipfile)
{
    if (!isCurrent(o)) {
        logSkipped("setShareData");
        return false;
    }
    // The import edits what the worker's actions work on: it waits for no action, it is refused.
    if (!claimClient(o, "OrvoClientWrapper::setShareData", "can't setShareData"))
        return false;
    const bool imported = o->setShareData(zipfile);
    releaseClient(o, "OrvoClientWrapper::setShareData");
    return imported;
}

QString OrvoClientWrapper::getUUID(OrvoClient *o)
{
    return textOf(o, &OrvoClient::getUUID);
}

QString OrvoClientWrapper::getMapEngine(OrvoClient *o)
{
    QString model;
    if (!isCurrent(o) || !o->getName(model) || !OrvoDeviceVersionUtil::isDriveModel(model))
        return QString();
    QString own;
    o->getDrive(own);
    QStringList versions;
    for (const QString &drive : OrvoDeviceVersionUtil::GetDriveDisks(model, own)) {
        QString base = drive;
        if (sameDrive(drive, own)) {
            // Only a Kavel60 carries a map engine on its own drive.
            if (model != kKavel60)
                continue;
            base = drive + kCyclingFolder;
        } else if (!hasDataFolder(base)) {
            continue;
        }
        versions << (hasVersionFile(base) ? OrvoDeviceVersionUtil::GetGPSENGINEVersion(kVersionKey, base)
                                          : kUnknownVersion);
    }
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoClientWrapper::getMapEngine") << "mapdll version list is:" << versions;
    return OrvoDeviceVersionUtil::lowestVersion(versions);
}

QString OrvoClientWrapper::getMapData(OrvoClient *o)
{
    QString model;
    if (!isCurrent(o) || !o->getName(model) || model != kKavel60)
        return QString();
    QString own;
    o->getDrive(own);
    QStringList maps;
    QStringList tuners;
    for (const QString &drive : OrvoDeviceVersionUtil::GetDriveDisks(model, own)) {
        const bool isOwn = sameDrive(drive, own);
        const QString base = isOwn ? drive + kCyclingFolder : drive;
        if (isOwn && !hasVersionFile(base)) {
            maps << kUnknownVersion;
        } else if (!isOwn && !hasDataFolder(base)) {
            continue;
        } else if (hasVersionFile(base)) {
            maps << OrvoDeviceVersionUtil::GetGPSENGINEVersion(kVersionKey, base);
            // The tuner data lives on the map cards only.
            if (!isOwn)
                tuners << OrvoDeviceVersionUtil::GetGPSENGINEVersion(kTunerKey, base);
        } else {
            maps << kUnknownVersion;
            tuners << kUnknownVersion;
        }
    }
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoClientWrapper::getMapData") << "mapdll version list is:" << maps;
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoClientWrapper::getMapData") << "gpstuner version list is:" << tuners;
    return OrvoDeviceVersionUtil::lowestVersion(maps) + QLatin1Char('^') + OrvoDeviceVersionUtil::lowestVersion(tuners);
}

QStringList OrvoClientWrapper::getVersions(OrvoClient *o)
{
    QStringList versions;
    if (isCurrent(o))
        o->getVersions(versions);
    return versions;
}

QString OrvoClientWrapper::getTotal(OrvoClient *o)
{
    return textOf(o, &OrvoClient::getTotal);
}

QString OrvoClientWrapper::getLaunchsec(OrvoClient *o)
{
    return textOf(o, &OrvoClient::getLaunchsec);
}

QString OrvoClientWrapper::getAP(OrvoClient *o)
{
    return textOf(o, &OrvoClient::getAP);
}

QString OrvoClientWrapper::getBootloader(OrvoClient *o)
{
    return textOf(o, &OrvoClient::getBootloader);
}

QString OrvoClientWrapper::getOS(OrvoClient *o)
{
    return textOf(o, &OrvoClient::getOS);
}

bool OrvoClientWrapper::isExist(OrvoClient *o)
{
    return isCurrent(o);
}

QString OrvoClientWrapper::getName(OrvoClient *o)
{
    return textOf(o, &OrvoClient::getName);
}

int OrvoClientWrapper::getState(OrvoClient *o)
{
    return isCurrent(o) ? o->getState() : int(OrvoClient::STATE_OUT_OF_SERVICE);
}

float OrvoClientWrapper::getProgress(OrvoClient *o)
{
    return isCurrent(o) ? o->progress() : -1.0f;
}

bool OrvoClientWrapper::getError(OrvoClient *o)
{
    if (o == nullptr)
        return false;
    const bool failed = o->error();
    o->setError(false);
    o->setErrorCode(0);
    return failed;
}

QString OrvoClientWrapper::getNotice(OrvoClient *o)
{
    return isCurrent(o) ? o->notice() : QString();
}

OrvoClientWrapper::ClientDataList OrvoClientWrapper::getTracks(OrvoClient *o)
{
    ClientDataList list;
    if (!isCurrent(o)) {
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoClientWrapper::getTracks")
            << "can't getTrack" << (o != nullptr ? o->getState() : -1);
        return list;
    }
    if (!claimClient(o, "OrvoClientWrapper::getTracks", "can't getTrack"))
        return list;
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoClientWrapper::getTracks") << "getTracks()";
    QVector<OrvoClientData> items;
    o->getTracks(items);
    releaseClient(o, "OrvoClientWrapper::getTracks");
    for (const OrvoClientData &item : items)
        list.push_back(std::make_unique<OrvoClientData>(item));
    return list;
}

QByteArray OrvoClientWrapper::toPsfBitfont(OrvoClient *o, const QString &str, const QString &langcode, bool hasNext,
                                           bool isDesc)
{
    if (!isCurrent(o))
        return QByteArray();
    return o->toPsfBitfont(str, langcode, hasNext, isDesc, OrvoEnv::instance()->isMainThread());
}

QVariantList OrvoClientWrapper::toPngString(OrvoClient *o, const QByteArray &bitfontBytes)
{
    QString langcode;
    QByteArray png;
    if (isCurrent(o))
        png = OrvoClient::bitfontToPng(bitfontBytes, langcode);
    return {langcode, png};
}

QString OrvoClientWrapper::getCapability(OrvoClient *o)
{
    return isCurrent(o) ? o->getCapability() : QString();
}

bool OrvoClientWrapper::deleteData(OrvoClient *o, const QString &what)
{
    const bool all = what == QLatin1String("all");
    if (o == nullptr || (!all && what != QLatin1String("history")))
        return false;
    if (!claimClient(o, "OrvoClientWrapper::deleteData", "can't deleteData"))
        return false;
    bool deleted = false;
    if (all) {
        deleted = o->deleteAll();
    } else {
        QVector<OrvoClientData> items;
        o->getTracks(items);
        QVector<int> ids;
        for (const OrvoClientData &item : items)
            ids << item.id;
        deleted = o->deleteTracks(ids);
    }
    releaseClient(o, "OrvoClientWrapper::deleteData");
    return deleted;
}

bool OrvoClientWrapper::deleteHistory(OrvoClient *o, const QStringList &names)
{
    if (o == nullptr || !claimClient(o, "OrvoClientWrapper::deleteHistory", "can't deleteHistory"))
        return false;
    QVector<OrvoClientData> items;
    o->getTracks(items);
    QVector<int> ids;
    QStringList chosen;
    for (const OrvoClientData &item : items) {
        // A name given twice, or a ride listed twice, still deletes the ride once.
        if (!names.contains(item.name) || ids.contains(item.id))
            continue;
        ids << item.id;
        chosen << item.name;
    }
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoClientWrapper::deleteHistory") << "User choose to delete" << chosen;
    const bool deleted = o->deleteTracks(ids);
    releaseClient(o, "OrvoClientWrapper::deleteHistory");
    return deleted;
}
