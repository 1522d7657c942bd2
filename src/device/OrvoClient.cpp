#include "device/OrvoClient.h"

#include "device/OrvoAsyncResultInterface.h"
#include "device/OrvoCapabilityInterface.h"
#include "device/OrvoClientActionListener.h"
#include "device/OrvoDeviceLogging.h"
#include "device/OrvoDeviceService.h"
#include "device/OrvoSCSIDeviceService.h"
#include "device/OrvoShareItemLists.h"
#include "env/OrvoEnv.h"
#include "env/OrvoExceptionHandler.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"
#include "env/OrvoVersion.h"
#include "profile/OrvoProfileData.h"
#include "psf/OrvoPSFBitFontCreator.h"
#include "psf/OrvoPSFMultiLangString_1_5.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QMutexLocker>
#include <QSaveFile>
#include <QTextStream>
#include <QXmlStreamWriter>

namespace {

std::atomic<OrvoAsyncResultInterface *> g_asyncResultReceiver{nullptr};
std::atomic<OrvoClientActionListener *> g_actionListener{nullptr};
std::atomic<OrvoCapabilityInterface *> g_capabilitySource{nullptr};
std::atomic<OrvoDeviceScriptInterface *> g_deviceScripts{nullptr};
std::atomic<OrvoDeviceRowRegistration *> g_deviceRows{nullptr};

const QString kNotSupported = QStringLiteral("not support");

// The result list of an asynchronous action that ends without producing one (refused to run,
// or crashed): the shape of its failed result, so the scripting side never reads a stale list.
QVariantList failedResult(int action)
{
    switch (action) {
    case OrvoClient::Action_MakeUploadZip:
        return {QString()};
    case OrvoClient::Action_ReadProfile:
    case OrvoClient::Action_WriteProfile:
        return {false};
    default:
        return {};
    }
}

// A rendered string record is never larger than this work buffer.
constexpr qsizetype kBitfontBufferSize = 1048576;
constexpr qsizetype kLanguageCodeLength = 3;
const QString kCycleRoadComponent = QStringLiteral("CYCLEROAD");
const QString kGpsEngineComponent = QStringLiteral("GPST_ENGINE");

// The language of a string record: the first three bytes of its code, up to a NUL.
QString recordLanguage(const OrvoPSFMultiLangString_1_5 &record)
{
    const QByteArray code = record.code().left(kLanguageCodeLength);
    const qsizetype end = code.indexOf('\0');
    return QString::fromLatin1(end < 0 ? code : code.left(end));
}

bool commitFile(const QString &path, const QByteArray &bytes, const char *function)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && commitSaveFile(file))
        return true;
    ORVO_TRACE_WARNING(lcOrvoDevice, function) << "can not write" << path << ":" << file.errorString();
    return false;
}

// One "lang" element a line.
QByteArray languageListXml(const QStringList &languages)
{
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    writer.writeStartDocument();
    writer.writeCharacters(QStringLiteral("\n"));
    writer.writeStartElement(QStringLiteral("Language"));
    writer.writeCharacters(QStringLiteral("\n"));
    for (const QString &language : languages) {
        writer.writeTextElement(QStringLiteral("lang"), language);
        writer.writeCharacters(QStringLiteral("\n"));
    }
    // Not writeEndDocument(): it adds a line break after the root.
    writer.writeEndElement();
    return bytes;
}

void appendTextElement(QDomDocument &doc, QDomNode &parent, const QString &name, const QString &text)
{
    QDomElement element = doc.createElement(name);
    element.appendChild(doc.createTextNode(text));
    parent.appendChild(element);
}

// Appends the root element of the XML file at path under parent; a file that is missing or
// does not parse contributes nothing.
void appendFileRoot(QDomDocument &doc, QDomElement &parent, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QDomDocument part;
    if (!part.setContent(&file)) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoClient::_batch") << "left out" << path << ": not well-formed";
        return;
    }
    parent.appendChild(doc.importNode(part.documentElement(), true));
}

QByteArray documentBytes(const QDomDocument &doc)
{
    QByteArray bytes;
    QTextStream stream(&bytes);
    stream.setEncoding(QStringConverter::Utf8);
    doc.save(stream, 4);
    stream.flush();
    return bytes;
}

void deliverAsyncResult(int action, const QVariantList &result)
{
    if (OrvoAsyncResultInterface *receiver = g_asyncResultReceiver.load()) {
        receiver->emitAsyncResult(result);
        return;
    }
    ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoClient::thread_done")
        << "no receiver for the result of action" << action << "- dropped";
}

} // namespace

OrvoClient::OrvoClient()
{
    connect(this, &QThread::finished, this, &OrvoClient::thread_done);
}

OrvoClient::~OrvoClient()
{
    stopWorker();
}

void OrvoClient::setAsyncResultReceiver(OrvoAsyncResultInterface *receiver)
{
    g_asyncResultReceiver.store(receiver);
}

void OrvoClient::setActionListener(OrvoClientActionListener *listener)
{
    g_actionListener.store(listener);
}

void OrvoClient::setCapabilitySource(OrvoCapabilityInterface *source)
{
    g_capabilitySource.store(source);
}

void OrvoClient::setDeviceScripts(OrvoDeviceScriptInterface *scripts)
{
    g_deviceScripts.store(scripts);
}

OrvoDeviceScriptInterface *OrvoClient::deviceScripts()
{
    return g_deviceScripts.load();
}

void OrvoClient::setDeviceRows(OrvoDeviceRowRegistration *rows)
{
    g_deviceRows.store(rows);
}

OrvoDeviceRowRegistration *OrvoClient::deviceRows()
{
    return g_deviceRows.load();
}

void OrvoClient::stopWorker()
{
    if (!isRunning() || wait(QDeadlineTimer(m_stopTimeoutMs)))
        return;
    terminate();
    ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoClient::~OrvoClient") << "Client thread stop in time and  terminate";
    // A thread may not be destroyed while it still runs; termination only takes effect at the
    // worker's next cancellation point.
    wait();
}

bool OrvoClient::initial()
{
    return true;
}

bool OrvoClient::isBusy()
{
    return currentAction() != Action_None;
}

int OrvoClient::getState()
{
    QMutexLocker lock(&m_stateMutex);
    return m_state;
}

int OrvoClient::deviceServiceType()
{
    const OrvoDeviceService *service = deviceService();
    return service != nullptr ? service->serviceType() : -1;
}

int OrvoClient::productType()
{
    return 1;
}

bool OrvoClient::getDrive(QString &)
{
    return false;
}

bool OrvoClient::getSharePath(QString &)
{
    return false;
}

bool OrvoClient::getUUID(QString &)
{
    return false;
}

bool OrvoClient::getInternalStorage(qint64 &, qint64 &)
{
    return false;
}

bool OrvoClient::getOS(QString &version)
{
    return getTotal(version);
}

bool OrvoClient::getBootloader(QString &)
{
    return true;
}

bool OrvoClient::getTotal(QString &)
{
    return false;
}

bool OrvoClient::getLaunchsec(QString &)
{
    return false;
}

bool OrvoClient::getAP(QString &)
{
    return false;
}

int OrvoClient::getAlpDate()
{
    return 0;
}

QString OrvoClient::getMinOrvoVer()
{
    QString model;
    getName(model);
    if (model.isEmpty())
        return QString();
    return OrvoEnv::instance()->getGroupValue(model, QStringLiteral("MinOrvoVer"), QString());
}

bool OrvoClient::isValid()
{
    return true;
}

bool OrvoClient::classFlag()
{
    return false;
}

bool OrvoClient::usePsfLanguageFilter()
{
    return getDeviceSetting(QStringLiteral("psflanguagefilter"), QStringLiteral("1")) != QLatin1String("0");
}

void OrvoClient::getPOIs(QVector<OrvoClientData> &)
{}

void OrvoClient::getRoutes(QVector<OrvoClientData> &)
{}

void OrvoClient::getTracks(QVector<OrvoClientData> &)
{}

void OrvoClient::getWorkouts(QVector<OrvoClientData> &)
{}

bool OrvoClient::deletePOIs(const QVector<int> &)
{
    return false;
}

bool OrvoClient::deleteRoutes(const QVector<int> &)
{
    return false;
}

bool OrvoClient::deleteTracks(const QVector<int> &)
{
    return false;
}

bool OrvoClient::deleteWorkouts(const QVector<int> &)
{
    return false;
}

bool OrvoClient::deleteAll()
{
    return false;
}

bool OrvoClient::saveProfile(const QMap<QString, QString> &)
{
    return false;
}

bool OrvoClient::updateTotal(const QString &file, const QString &changedLang)
{
    ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoClient::updateTotal")
        << "update total: file=" << file << ", changedLang=" << changedLang;
    if (!claimAction(Action_UpdateTotal))
        return false;
    m_fileArgument = file;
    m_changedLangArgument = changedLang;
    startWorker();
    return true;
}

void OrvoClient::removeUpdatePackage()
{}

bool OrvoClient::updateBootLoader(const QString &file)
{
    if (!claimAction(Action_UpdateBootLoader))
        return false;
    m_fileArgument = file;
    startWorker();
    return true;
}

bool OrvoClient::updateAP(const QString &file)
{
    if (!claimAction(Action_UpdateAP))
        return false;
    m_fileArgument = file;
    startWorker();
    return true;
}

bool OrvoClient::updateLaunchsec(const QString &)
{
    return false;
}

bool OrvoClient::finalize()
{
    if (!claimAction(Action_Finalize))
        return false;
    m_resultList.clear();
    startWorker();
    return true;
}

bool OrvoClient::getShareData(const OrvoClientShareData &request)
{
    if (!claimAction(Action_GetShareData))
        return false;
    m_shareDataRequest = request;
    startWorker();
    return true;
}

bool OrvoClient::getShareDataList(const OrvoClientShareDataList &request)
{
    if (!claimAction(Action_GetShareDataList))
        return false;
    m_shareDataListRequest = request;
    startWorker();
    return true;
}

bool OrvoClient::batch(const OrvoClientShareData &request)
{
    if (!claimAction(Action_Batch))
        return false;
    m_shareDataRequest = request;
    startWorker();
    return true;
}

int OrvoClient::storeState()
{
    return 1;
}

bool OrvoClient::updateAlp(const QString &file, int n)
{
    ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoClient::updateAlp") << "updateAlp: file=" << file;
    if (!claimAction(Action_UpdateAlp))
        return false;
    m_fileArgument = file;
    m_intArgument = n;
    startWorker();
    return true;
}

bool OrvoClient::readData()
{
    if (!claimAction(Action_ReadData))
        return false;
    startWorker();
    return true;
}

bool OrvoClient::importMap(int n)
{
    if (!claimAction(Action_ImportMap))
        return false;
    m_mapArgument = n;
    startWorker();
    return true;
}

bool OrvoClient::deleteMap(int n)
{
    if (!claimAction(Action_DeleteMap))
        return false;
    m_mapArgument = n;
    startWorker();
    return true;
}

void OrvoClient::formatDevice()
{}

bool OrvoClient::eject()
{
    return false;
}

void OrvoClient::setProgress(float value)
{
    QMutexLocker lock(&m_progressMutex);
    m_progress = value;
}

float OrvoClient::progress()
{
    QMutexLocker lock(&m_progressMutex);
    return m_progress;
}

void OrvoClient::startProgress()
{
    setProgress(0.0f);
}

void OrvoClient::stopProgress()
{
    setProgress(-1.0f);
}

bool OrvoClient::prepareUploadProfile(const QString &)
{
    return false;
}

bool OrvoClient::restoreFactory(const QString &arg)
{
    // A restore replaces the firmware anyway, so a pending demand for a device update is void.
    OrvoEnv::instance()->setForceDeviceUpdate(false);
    if (!claimAction(Action_RestoreFactory))
        return false;
    m_restoreArgument = arg;
    startWorker();
    return true;
}

int OrvoClient::classLevel()
{
    return 1;
}

bool OrvoClient::updateMapData(const QString &arg)
{
    if (!claimAction(Action_UpdateMapData))
        return false;
    m_mapDataArgument = arg;
    startWorker();
    return true;
}

void OrvoClient::exportLog(const QString &)
{}

bool OrvoClient::setShareData(const QString &)
{
    return false;
}

bool OrvoClient::dontCheckUploaded()
{
    return getDeviceSetting(QStringLiteral("dontcheckuploaded"), QStringLiteral("0")) != QLatin1String("0");
}

bool OrvoClient::unpackLanguagePackage(const QString &, QStringList &)
{
    return false;
}

bool OrvoClient::getLanguageOnDevice(QStringList &)
{
    return false;
}

bool OrvoClient::setDefLanguage(const QString &, int)
{
    return false;
}

bool OrvoClient::LanguageListXml(const QString &path)
{
    QFile::remove(path);
    QStringList languages;
    getLanguageOnDevice(languages);
    return commitFile(path, languageListXml(languages), "OrvoClient::LanguageListXml");
}

bool OrvoClient::syncTime()
{
    return false;
}

int OrvoClient::classFlag2()
{
    return 0;
}

QString OrvoClient::getComponentVersion(const QString &)
{
    return kNotSupported;
}

bool OrvoClient::updateComponent(const QString &file, const QString &model, const QString &component,
                                 const QString &extra)
{
    if (!claimAction(Action_UpdateComponent))
        return false;
    m_componentRequest = OrvoComponentRequest{model, extra, component, file};
    startWorker();
    return true;
}

void OrvoClient::clearDataIds()
{
    m_dataIds.clear();
}

bool OrvoClient::addDataId(OrvoDataId id)
{
    m_dataIds.append(id);
    return true;
}

bool OrvoClient::exportTrack(const QString &folder)
{
    if (!claimAsyncAction(Action_ExportTrack, "OrvoClient::exportTrack", "Busy when Action_ExportTrack"))
        return false;
    m_arguments = {folder};
    startWorker();
    return true;
}

bool OrvoClient::makeUploadZip()
{
    if (!claimAsyncAction(Action_MakeUploadZip, "OrvoClient::makeUploadZip", "Busy when Action_MakeUploadZip"))
        return false;
    startWorker();
    return true;
}

bool OrvoClient::importDownloadZip(const QString &zipFile)
{
    if (!claimAsyncAction(Action_ImportDownloadZip, "OrvoClient::importDownloadZip",
                          "Busy when Action_ImportDownloadZip"))
        return false;
    m_arguments = {zipFile};
    startWorker();
    return true;
}

bool OrvoClient::readProfile(const QString &file)
{
    if (!claimAsyncAction(Action_ReadProfile, "OrvoClient::readProfile", "Busy when Action_ReadProfile"))
        return false;
    m_arguments = {file};
    startWorker();
    return true;
}

bool OrvoClient::writeProfile(const QString &file)
{
    if (!claimAsyncAction(Action_WriteProfile, "OrvoClient::writeProfile", "Busy when Action_WriteProfile"))
        return false;
    m_arguments = {file};
    startWorker();
    return true;
}

void OrvoClient::checkMinVersions(OrvoEnv *env)
{
    QString model;
    QString bootLoader;
    if (!getName(model) || !getBootloader(bootLoader))
        return;
    QString total;
    QString ap;
    getTotal(total);
    getAP(ap);

    const QString minImage = env->getGroupValue(model, QStringLiteral("MinImgVer"), QString());
    const QString minBootLoader = env->getGroupValue(model, QStringLiteral("MinIapVer"), QString());
    const QString minAp = env->getGroupValue(model, QStringLiteral("MinApVer"), QString());
    const bool oldImage = !minImage.isEmpty() && OrvoVersion::isLower(total, minImage);
    const bool oldBootLoader =
        !minBootLoader.isEmpty() && !bootLoader.isEmpty() && OrvoVersion::isLower(bootLoader, minBootLoader);
    const bool oldAp = !minAp.isEmpty() && !ap.isEmpty() && OrvoVersion::isLower(ap, minAp);
    if (oldImage || oldBootLoader || oldAp)
        env->setForceDeviceUpdate(true);

    const QString program = env->version();
    const QString minProgram = getMinOrvoVer();
    if (!program.isEmpty() && !minProgram.isEmpty() && OrvoVersion::isLower(program, minProgram))
        env->setForceOrvoUpdate(true);
}

QString OrvoClient::getCapability()
{
    QString model;
    getName(model);
    QString capability;
    OrvoCapabilityInterface *source = g_capabilitySource.load();
    if (source && source->projSwCapability(model.toLatin1(), capability)) {
        m_capabilityFailureLogged = false;
        return capability;
    }
    // The page asks on every render: a device the library has no answer for is logged once,
    // and again only after an answer came in between.
    if (!m_capabilityFailureLogged.exchange(true))
        ORVO_TRACE_CRITICAL(lcOrvoDevice, "OrvoClient::getCapability") << "call ProjSwCapability failed";
    return QString();
}

void OrvoClient::saveExtFlashToFile(const QString &)
{}

void OrvoClient::dumpFlashForLog(const QString &folder, QStringList *files)
{
    QString model;
    getName(model);
    const QString name = model + QStringLiteral("flash.dat");
    const QString path = QDir(folder).filePath(name);
    // A dump left from an earlier export must not be taken for this device's.
    QFile::remove(path);
    saveExtFlashToFile(path);
    if (files != nullptr && QFile::exists(path))
        files->append(name);
}

OrvoImageMetaInfo OrvoClient::getImageMetaInfo(const QString &)
{
    return OrvoImageMetaInfo();
}

bool OrvoClient::_updateAlp(const QString &, int)
{
    return true;
}

bool OrvoClient::_updateTotal(const QString &, const QString &)
{
    return true;
}

bool OrvoClient::_updateBootLoader(const QString &)
{
    return true;
}

bool OrvoClient::_updateAP(const QString &)
{
    return true;
}

bool OrvoClient::_importMap(int)
{
    return true;
}

bool OrvoClient::_deleteMap(int)
{
    return true;
}

bool OrvoClient::_finalize()
{
    return true;
}

bool OrvoClient::_readData()
{
    return true;
}

bool OrvoClient::_getShareDataList()
{
    const QString path = m_shareDataListRequest.path;
    ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoClient::_getShareDataList") << "share data list to" << path;
    setProgress(0.05f);
    QVector<OrvoClientData> pois;
    getPOIs(pois);
    setProgress(0.1f);
    QVector<OrvoClientData> routes;
    getRoutes(routes);
    setProgress(0.4f);
    QVector<OrvoClientData> tracks;
    getTracks(tracks);
    setProgress(0.5f);
    QVector<OrvoClientData> workouts;
    getWorkouts(workouts);
    setProgress(0.7f);
    OrvoShareItemLists lists;
    lists.addPOIs(pois);
    lists.addPlanTrips(routes);
    lists.addTracks(tracks);
    lists.addWorkouts(workouts);
    setProgress(0.9f);
    // A list that cannot be written must not leave an older one to be read in its place.
    QFile::remove(path);
    return lists.writePersonalDataXml(path);
}

bool OrvoClient::_getShareData()
{
    return prepareUploadData(m_shareDataRequest.path, dontCheckUploaded());
}

bool OrvoClient::_updateComponent(const OrvoComponentRequest &)
{
    return true;
}

bool OrvoClient::_batch()
{
    const OrvoClientShareData request = m_shareDataRequest;
    const QString tmp = OrvoEnv::instance()->tmpDir();
    const QString profilePath = QDir(tmp).filePath(QStringLiteral("profile.xml"));
    const QString languagesPath = QDir(tmp).filePath(QStringLiteral("langs.xml"));
    const QString dataListPath = QDir(tmp).filePath(QStringLiteral("datalist.xml"));
    for (const QString &path : {profilePath, languagesPath, dataListPath})
        QFile::remove(path);

    QDomDocument doc;
    QDomElement root = doc.createElement(QStringLiteral("Overview"));
    doc.appendChild(root);
    for (const OrvoDataId id : std::as_const(m_dataIds)) {
        switch (id) {
        case DataIdShareDataList:
            m_shareDataListRequest = OrvoClientShareDataList{dataListPath, QString(), QString()};
            _getShareDataList();
            appendFileRoot(doc, root, dataListPath);
            break;
        case DataIdDeviceOverview:
            appendDeviceOverview(doc, root);
            break;
        case DataIdComponents: {
            QDomElement components = doc.createElement(QStringLiteral("Components"));
            root.appendChild(components);
            buildItemListXml(doc, components, kCycleRoadComponent, getComponentVersion(kCycleRoadComponent));
            buildItemListXml(doc, components, kGpsEngineComponent, getComponentVersion(kGpsEngineComponent));
            break;
        }
        case DataIdProfile:
            prepareUploadProfile(profilePath);
            appendFileRoot(doc, root, profilePath);
            break;
        case DataIdLanguages:
            LanguageListXml(languagesPath);
            appendFileRoot(doc, root, languagesPath);
            break;
        }
    }
    const bool written = commitFile(request.path, documentBytes(doc), "OrvoClient::_batch");
    m_shareDataRequest = request;
    return written;
}

bool OrvoClient::_restoreFactory(const QString &)
{
    return false;
}

bool OrvoClient::_updateMapData(const QString &)
{
    return false;
}

OrvoDeviceService *OrvoClient::deviceService()
{
    return nullptr;
}

bool OrvoClient::setStateWithMatch(int expected, int value)
{
    QMutexLocker lock(&m_stateMutex);
    if (m_state != expected)
        return false;
    m_state = value;
    return true;
}

QString OrvoClient::getDeviceSetting(const QString &key, const QString &defaultValue)
{
    QString model;
    if (!getName(model))
        return defaultValue;
    return OrvoEnv::instance()->getGroupValue(model, key, defaultValue);
}

void OrvoClient::getVersions(QStringList &list)
{
    QString os;
    getOS(os);
    if (!os.isEmpty())
        list.append(os);
    QString ap;
    getAP(ap);
    if (!ap.isEmpty())
        list.append(ap);
}

QByteArray OrvoClient::toPsfBitfont(const QString &str, const QString &langcode, bool hasNext, bool isDesc,
                                    bool onMainThread)
{
    OrvoPSFBitFontCreator *previous = currentBitFontCreator();
    setCurrentBitFontCreator(onMainThread ? nullptr : &m_bitFontCreator);
    QByteArray buffer(kBitfontBufferSize, '\0');
    OrvoPSFMultiLangString_1_5 record(OrvoPSFObject::spanOf(buffer), true);
    record.setString(str, langcode, true, isDesc);
    record.setHasNext(hasNext);
    buffer.truncate(record.size());
    setCurrentBitFontCreator(previous);
    return buffer;
}

QString OrvoClient::bitfontToText(const QByteArray &record, QString &langcode)
{
    QByteArray bytes = record;
    const OrvoPSFMultiLangString_1_5 string(OrvoPSFObject::spanOf(bytes), false);
    langcode = recordLanguage(string);
    return string.text();
}

QByteArray OrvoClient::bitfontToPng(const QByteArray &record, QString &langcode)
{
    QByteArray bytes = record;
    const OrvoPSFMultiLangString_1_5 string(OrvoPSFObject::spanOf(bytes), false);
    langcode = recordLanguage(string);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    string.toImage().save(&buffer, "PNG");
    return png;
}

bool OrvoClient::writeInternalFlash(const QString &folder, const QString &name, int region, int blockSize)
{
    return writeFlashImage(QDir(folder).filePath(name + QStringLiteral(".bin")), name, region, blockSize,
                           "OrvoClient::writeInternalFlash", "fail to write internal flash for");
}

bool OrvoClient::writeExternalFlash(const QString &folder, const QString &name, int region, int blockSize)
{
    return writeFlashImage(QDir(folder).filePath(name + QStringLiteral("ExData.bin")), name, region, blockSize,
                           "OrvoClient::writeExternalFlash", "fail to write external flash for");
}

bool OrvoClient::writeFlashImage(const QString &path, const QString &name, int region, int blockSize,
                                 const char *function, const char *failure)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "can not open file:" << path;
        setError(true);
        return false;
    }
    const QByteArray image = file.readAll();
    file.close();
    auto *service = dynamic_cast<OrvoSCSIDeviceService *>(deviceService());
    if (!service || !service->writeFlashBlocks(image.constData(), quint8(region), image.size(), blockSize, 0)) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << failure << name;
        setError(true);
        return false;
    }
    return true;
}

void OrvoClient::buildItemListXml(QDomDocument &doc, QDomNode &parent, const QString &name, const QString &list)
{
    const QStringList entries = list.split(QLatin1Char('|'));
    for (const QString &entry : entries) {
        const QStringList pieces = entry.split(QLatin1Char('^'));
        if (pieces.size() != 2)
            continue;
        QDomElement item = doc.createElement(QStringLiteral("item"));
        appendTextElement(doc, item, QStringLiteral("name"), name);
        appendTextElement(doc, item, QStringLiteral("drive"), pieces.at(0));
        appendTextElement(doc, item, QStringLiteral("version"), pieces.at(1));
        parent.appendChild(item);
    }
}

void OrvoClient::appendDeviceOverview(QDomDocument &doc, QDomElement &root)
{
    QString model;
    QString launch;
    QString total;
    QString ap;
    QString uuid;
    qint64 capacity = 0;
    qint64 free = 0;
    getName(model);
    getLaunchsec(launch);
    getTotal(total);
    getAP(ap);
    // A device that cannot tell its storage reports none.
    if (!getInternalStorage(capacity, free)) {
        capacity = 0;
        free = 0;
    }
    getUUID(uuid);

    QDomElement device = doc.createElement(QStringLiteral("Device"));
    root.appendChild(device);
    appendTextElement(doc, device, QStringLiteral("model"), model);
    appendTextElement(doc, device, QStringLiteral("uuid"), uuid);
    appendTextElement(doc, device, QStringLiteral("version_launch"), launch);
    appendTextElement(doc, device, QStringLiteral("version_image"), total);
    appendTextElement(doc, device, QStringLiteral("version_ap"), ap);
    appendTextElement(doc, device, QStringLiteral("capacity_total"), QString::number(capacity));
    appendTextElement(doc, device, QStringLiteral("capacity_used"), QString::number(capacity - free));
    appendTextElement(doc, device, QStringLiteral("state"), QStringLiteral("READY"));
}

bool OrvoClient::error() const
{
    return m_error.load();
}

void OrvoClient::setError(bool error)
{
    m_error.store(error);
}

int OrvoClient::errorCode() const
{
    return m_errorCode.load();
}

void OrvoClient::setErrorCode(int code)
{
    m_errorCode.store(code);
}

QString OrvoClient::notice() const
{
    QMutexLocker lock(&m_noticeMutex);
    return m_notice;
}

void OrvoClient::setNotice(const QString &text)
{
    QMutexLocker lock(&m_noticeMutex);
    m_notice = text;
}

QString OrvoClient::deviceLanguage() const
{
    return m_deviceLanguage;
}

void OrvoClient::setDeviceLanguage(const QString &code)
{
    m_deviceLanguage = code;
}

int OrvoClient::currentAction() const
{
    return m_currentAction.load();
}

void OrvoClient::setCurrentAction(int action)
{
    m_currentAction.store(action);
}

QMutex *OrvoClient::progressMutex()
{
    return &m_progressMutex;
}

float *OrvoClient::progressValue()
{
    return &m_progress;
}

void OrvoClient::setStopTimeout(int milliseconds)
{
    m_stopTimeoutMs = milliseconds;
}

const OrvoClientShareDataList &OrvoClient::shareDataListRequest() const
{
    return m_shareDataListRequest;
}

void OrvoClient::setShareDataListRequest(const OrvoClientShareDataList &request)
{
    m_shareDataListRequest = request;
}

const OrvoClientShareData &OrvoClient::shareDataRequest() const
{
    return m_shareDataRequest;
}

const OrvoComponentRequest &OrvoClient::componentRequest() const
{
    return m_componentRequest;
}

bool OrvoClient::claimAction(Action action)
{
    int idle = Action_None;
    return m_currentAction.compare_exchange_strong(idle, action);
}

bool OrvoClient::claimAsyncAction(Action action, const char *starter, const char *busyMessage)
{
    if (claimAction(action)) {
        m_resultList = failedResult(action);
        return true;
    }
    ORVO_TRACE_WARNING(lcOrvoDevice, starter) << busyMessage << currentAction();
    return false;
}

void OrvoClient::startWorker()
{
    moveWorkData(this);
    start(QThread::InheritPriority);
}

void OrvoClient::moveWorkData(QThread *)
{}

void OrvoClient::run()
{
    runClaimedAction();
    moveWorkData(thread());
}

void OrvoClient::runClaimedAction()
{
    const int state = getState();
    const bool resuming = state == STATE_TOTAL_UPDATE || state == STATE_FACTORY_RESTORE;
    if (!resuming && !setStateWithMatch(STATE_IN_SERVICE, STATE_OUT_OF_SERVICE)) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, "OrvoClient::run")
            << "OrvoClient::run() : device is busy in action=" << currentAction();
        setError(true);
        return;
    }
    QThread::setTerminationEnabled(true);
    startProgress();
    OrvoExceptionHandler guard;
    const bool succeeded = guard.runTask(this);
    if (!setStateWithMatch(STATE_OUT_OF_SERVICE, STATE_IN_SERVICE))
        ORVO_TRACE_CRITICAL(lcOrvoDevice, "OrvoClient::run") << "reset in service failed, action=" << currentAction();
    setError(!succeeded);
}

bool OrvoClient::execute()
{
    switch (currentAction()) {
    case Action_UpdateTotal:
        return _updateTotal(m_fileArgument, m_changedLangArgument);
    case Action_UpdateAP:
        return _updateAP(m_fileArgument);
    case Action_UpdateBootLoader:
        return _updateBootLoader(m_fileArgument);
    case Action_ImportMap: {
        const bool done = _importMap(m_mapArgument);
        m_mapArgument = 0;
        return done;
    }
    case Action_DeleteMap: {
        const bool done = _deleteMap(m_mapArgument);
        m_mapArgument = 0;
        return done;
    }
    case Action_Finalize: {
        const bool done = _finalize();
        m_resultList.clear();
        return done;
    }
    case Action_ReadData:
        return _readData();
    case Action_GetShareDataList:
        return _getShareDataList();
    case Action_GetShareData:
        return _getShareData();
    case Action_UpdateComponent:
        return _updateComponent(m_componentRequest);
    case Action_Batch:
        return _batch();
    case Action_ExportTrack:
        return exportEveryRide(m_arguments.value(0).toString());
    case Action_MakeUploadZip: {
        QString path;
        const bool made = prepareUploadData(path, true);
        m_resultList = {made ? path : QString()};
        return made;
    }
    case Action_ImportDownloadZip: {
        const bool imported = setShareData(m_arguments.value(0).toString());
        m_resultList.clear();
        return imported;
    }
    case Action_ReadProfile: {
        const bool written = prepareUploadProfile(m_arguments.value(0).toString());
        m_resultList = {written};
        return written;
    }
    case Action_WriteProfile: {
        const bool saved = writeProfileFromFile(m_arguments.value(0).toString());
        m_resultList = {saved};
        return saved;
    }
    case Action_RestoreFactory:
        return _restoreFactory(m_restoreArgument);
    case Action_UpdateMapData:
        return _updateMapData(m_mapDataArgument);
    case Action_UpdateAlp:
        return _updateAlp(m_fileArgument, m_intArgument);
    default:
        return false;
    }
}

// The device classes write one file per ride and skip a ride they cannot write, so fewer files
// than rides, or none from a device with rides, is a failed export: a full disk or a failed
// conversion must not read as done.
bool OrvoClient::exportEveryRide(const QString &folder)
{
    QVector<OrvoClientData> rides;
    getTracks(rides);
    // A device class that could not export raises the error flag, even when it has no rides.
    setError(false);
    const QStringList files = _exportTrack(folder);
    m_resultList.clear();
    for (const QString &file : files)
        m_resultList.append(file);
    if (error())
        return false;
    if (files.size() < rides.size()) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoClient::exportTrack")
            << files.size() << "of" << rides.size() << "rides written to" << folder;
        return false;
    }
    return true;
}

bool OrvoClient::writeProfileFromFile(const QString &file)
{
    // The XML profile's raw bytes are its path; UTF-8 keeps every character of it.
    OrvoProfileData profile(file.toUtf8(), OrvoProfileData::XmlFile);
    // Saving the empty map of an unreadable file would wipe the profile on the device.
    if (!profile.parse()) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoClient::writeProfile") << "profile not read from" << file;
        return false;
    }
    return saveProfile(profile.values());
}

void OrvoClient::handleException()
{
    ORVO_TRACE_CRITICAL(lcOrvoDevice, "OrvoClient::handleException") << "wrong data exception";
}

void OrvoClient::thread_done()
{
    stopProgress();
    const int action = m_currentAction.exchange(Action_None);
    const int state = getState();
    // The action goes on once the device is back; its end is announced then.
    if (state == STATE_TOTAL_UPDATE || state == STATE_FACTORY_RESTORE)
        return;
    if (action == Action_AwaitReplug)
        return;
    emitDone(action);
    if (OrvoClientActionListener *listener = g_actionListener.load())
        listener->onClientActionDone(this, action);
}

void OrvoClient::emitDone(int action)
{
    switch (action) {
    case Action_UpdateTotal:
        emit updateTotalDone();
        break;
    case Action_UpdateAP:
        emit updateAPDone();
        break;
    case Action_UpdateBootLoader:
        emit updateBootLoaderDone();
        break;
    case Action_ImportMap:
        emit importMapDone();
        break;
    case Action_DeleteMap:
        emit deleteMapDone();
        break;
    case Action_Finalize:
        emit finalizeDone();
        deliverAsyncResult(action, m_resultList);
        break;
    case Action_ReadData:
        emit readDataDone();
        break;
    case Action_GetShareDataList:
        emit getShareDataListDone(m_shareDataListRequest);
        break;
    case Action_GetShareData:
        emit getShareDataDone(m_shareDataRequest);
        break;
    case Action_UpdateComponent:
        m_componentRequest.clear();
        emit updateComponentDone();
        break;
    case Action_Batch:
        emit batchDone(m_shareDataRequest);
        break;
    case Action_ExportTrack:
    case Action_MakeUploadZip:
    case Action_ImportDownloadZip:
    case Action_ReadProfile:
    case Action_WriteProfile:
        deliverAsyncResult(action, m_resultList);
        break;
    default:
        break;
    }
}
