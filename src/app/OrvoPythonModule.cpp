#include "app/OrvoPythonModule.h"

#include "app/OrvoClientDataWrapper.h"
#include "app/OrvoClientHandle.h"
#include "app/OrvoClientWrapper.h"
#include "app/OrvoEnvWrapper.h"
#include "app/OrvoPython.h"
#include "env/OrvoEnv.h"

#include <memory>
#include <utility>

namespace py = pybind11;

namespace {

using EnvClass = py::class_<OrvoEnv, std::unique_ptr<OrvoEnv, py::nodelete>>;
using ClientClass = py::class_<OrvoClientHandle>;

OrvoEnvWrapper &envWrapper()
{
    static OrvoEnvWrapper wrapper;
    return wrapper;
}

OrvoClientWrapper &clientWrapper()
{
    static OrvoClientWrapper wrapper;
    return wrapper;
}

// Binds a slot of the environment wrapper as a method of the Python class OrvoEnv.
template<typename Result, typename... Args, typename... Extra>
void bindSlot(EnvClass &cls, const char *name, Result (OrvoEnvWrapper::*slot)(OrvoEnv *, Args...),
              const Extra &...extra)
{
    cls.def(
        name, [slot](OrvoEnv *o, Args... args) { return (envWrapper().*slot)(o, std::forward<Args>(args)...); },
        extra...);
}

void defineEnv(py::module_ &module)
{
    EnvClass cls(module, "OrvoEnv");
    cls.def(py::init([] { return envWrapper().new_OrvoEnv(); }));
    // Slots that run a nested event loop or wait for the device controller let go of the
    // interpreter lock meanwhile.
    const py::call_guard<py::gil_scoped_release> unlocked;
    bindSlot(cls, "getResourceDir", &OrvoEnvWrapper::getResourceDir);
    bindSlot(cls, "updateOrvo", &OrvoEnvWrapper::updateOrvo);
    bindSlot(cls, "setDebugLevel", &OrvoEnvWrapper::setDebugLevel);
    bindSlot(cls, "enableDebug", &OrvoEnvWrapper::enableDebug);
    bindSlot(cls, "getVersion", &OrvoEnvWrapper::getVersion);
    bindSlot(cls, "getUserDataBaseFolder", &OrvoEnvWrapper::getUserDataBaseFolder);
    bindSlot(cls, "getUserUmask", &OrvoEnvWrapper::getUserUmask);
    bindSlot(cls, "getHomeTempDir", &OrvoEnvWrapper::getHomeTempDir);
    bindSlot(cls, "getUpdateUrl", &OrvoEnvWrapper::getUpdateUrl);
    bindSlot(cls, "setUserDataBaseFolder", &OrvoEnvWrapper::setUserDataBaseFolder);
    bindSlot(cls, "getHomelink", &OrvoEnvWrapper::getHomelink);
    bindSlot(cls, "appendLog", &OrvoEnvWrapper::appendLog);
    bindSlot(cls, "getValue", &OrvoEnvWrapper::getValue);
    bindSlot(cls, "getRole", &OrvoEnvWrapper::getRole);
    bindSlot(cls, "getWebToken", &OrvoEnvWrapper::getWebToken);
    bindSlot(cls, "quit", &OrvoEnvWrapper::quit);
    bindSlot(cls, "openFolder", &OrvoEnvWrapper::openFolder);
    bindSlot(cls, "selectExportFolder", &OrvoEnvWrapper::selectExportFolder, unlocked);
    bindSlot(cls, "selectGpxFile", &OrvoEnvWrapper::selectGpxFile, unlocked);
    bindSlot(cls, "showDeviceManager", &OrvoEnvWrapper::showDeviceManager);
    bindSlot(cls, "isForceDeviceUpdate", &OrvoEnvWrapper::isForceDeviceUpdate);
    bindSlot(cls, "isForceOrvoUpdate", &OrvoEnvWrapper::isForceOrvoUpdate);
    bindSlot(cls, "disconnectDevice", &OrvoEnvWrapper::disconnectDevice, unlocked);
    bindSlot(cls, "updateDeviceInfo", &OrvoEnvWrapper::updateDeviceInfo);
    bindSlot(cls, "exportOrvoLog", &OrvoEnvWrapper::exportOrvoLog, unlocked);
}

// Binds a method of the client wrapper as a method of the Python class OrvoClient: the wrapper
// gets the client the handle still refers to, or null.
// GCC 12 at -O2 takes the virtual-method test of a member-function pointer for a read past the
// wrapper, an empty object with no virtual methods; the warning is false here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
template<typename Result, typename... Args, typename... Extra>
void bindClientMethod(ClientClass &cls, const char *name, Result (OrvoClientWrapper::*method)(OrvoClient *, Args...),
                      const Extra &...extra)
{
    cls.def(
        name,
        [method](const OrvoClientHandle &handle, Args... args) {
            return (clientWrapper().*method)(handle.client(), std::forward<Args>(args)...);
        },
        extra...);
}
#pragma GCC diagnostic pop

// Every record goes to Python inside its wrapper, which owns it from then on.
py::list tracksOf(const OrvoClientHandle &handle)
{
    OrvoClientWrapper::ClientDataList records;
    {
        py::gil_scoped_release unlocked;
        records = clientWrapper().getTracks(handle.client());
    }
    py::list items;
    for (std::unique_ptr<OrvoClientData> &record : records) {
        py::object item = wrapCppObject("OrvoClientData", record.get());
        if (item.is_none())
            continue;
        record.release();
        items.append(item);
    }
    return items;
}

void defineClient(py::module_ &module)
{
    ClientClass cls(module, "OrvoClient");
    cls.def(py::init([] { return OrvoClientHandle(clientWrapper().new_OrvoClient()); }));
    // The methods that only reach the device let go of the interpreter lock meanwhile, so that a
    // device worker that needs Python is never held up by a GUI thread that waits for the device.
    // The asynchronous ones keep it: they bind a Python callable.
    const py::call_guard<py::gil_scoped_release> unlocked;
    bindClientMethod(cls, "getDrive", &OrvoClientWrapper::getDrive, unlocked);
    bindClientMethod(cls, "getServiceType", &OrvoClientWrapper::getServiceType, unlocked);
    bindClientMethod(cls, "asyncReadDeviceProfile", &OrvoClientWrapper::asyncReadDeviceProfile);
    bindClientMethod(cls, "asyncWriteDeviceProfile", &OrvoClientWrapper::asyncWriteDeviceProfile);
    bindClientMethod(cls, "updateDevice", &OrvoClientWrapper::updateDevice, unlocked);
    bindClientMethod(cls, "ejectDevice", &OrvoClientWrapper::ejectDevice, unlocked);
    bindClientMethod(cls, "makelanfile", &OrvoClientWrapper::makelanfile, unlocked);
    bindClientMethod(cls, "newSetShareData", &OrvoClientWrapper::newSetShareData, unlocked);
    bindClientMethod(cls, "asyncPrepareUploadData", &OrvoClientWrapper::asyncPrepareUploadData);
    bindClientMethod(cls, "asyncImportDownloadZip", &OrvoClientWrapper::asyncImportDownloadZip);
    bindClientMethod(cls, "asyncFinalize", &OrvoClientWrapper::asyncFinalize);
    bindClientMethod(cls, "asyncExportTrack", &OrvoClientWrapper::asyncExportTrack);
    bindClientMethod(cls, "setShareData", &OrvoClientWrapper::setShareData, unlocked);
    bindClientMethod(cls, "getUUID", &OrvoClientWrapper::getUUID, unlocked);
    bindClientMethod(cls, "getMapEngine", &OrvoClientWrapper::getMapEngine, unlocked);
    bindClientMethod(cls, "getMapData", &OrvoClientWrapper::getMapData, unlocked);
    bindClientMethod(cls, "getVersions", &OrvoClientWrapper::getVersions, unlocked);
    bindClientMethod(cls, "getTotal", &OrvoClientWrapper::getTotal, unlocked);
    bindClientMethod(cls, "getLaunchsec", &OrvoClientWrapper::getLaunchsec, unlocked);
    bindClientMethod(cls, "getAP", &OrvoClientWrapper::getAP, unlocked);
    bindClientMethod(cls, "getBootloader", &OrvoClientWrapper::getBootloader, unlocked);
    bindClientMethod(cls, "getOS", &OrvoClientWrapper::getOS, unlocked);
    bindClientMethod(cls, "isExist", &OrvoClientWrapper::isExist, unlocked);
    bindClientMethod(cls, "getName", &OrvoClientWrapper::getName, unlocked);
    bindClientMethod(cls, "getState", &OrvoClientWrapper::getState, unlocked);
    bindClientMethod(cls, "getError", &OrvoClientWrapper::getError, unlocked);
    bindClientMethod(cls, "getNotice", &OrvoClientWrapper::getNotice, unlocked);
    bindClientMethod(cls, "getProgress", &OrvoClientWrapper::getProgress, unlocked);
    cls.def("getTracks", &tracksOf);
    bindClientMethod(cls, "toPsfBitfont", &OrvoClientWrapper::toPsfBitfont, unlocked);
    bindClientMethod(cls, "toPngString", &OrvoClientWrapper::toPngString, unlocked);
    bindClientMethod(cls, "getCapability", &OrvoClientWrapper::getCapability, unlocked);
    bindClientMethod(cls, "deleteData", &OrvoClientWrapper::deleteData, unlocked);
    bindClientMethod(cls, "deleteHistory", &OrvoClientWrapper::deleteHistory, unlocked);
}

void defineClientData(py::module_ &module)
{
    py::class_<OrvoClientDataWrapper>(module, "OrvoClientData")
        .def("getID", &OrvoClientDataWrapper::getID)
        .def("setID", &OrvoClientDataWrapper::setID)
        .def("getName", &OrvoClientDataWrapper::getName)
        .def("setName", &OrvoClientDataWrapper::setName)
        .def("getPixmap", &OrvoClientDataWrapper::getPixmap)
        .def("setPixmap", &OrvoClientDataWrapper::setPixmap)
        .def("getDescription", &OrvoClientDataWrapper::getDescription)
        .def("setDescription", &OrvoClientDataWrapper::setDescription)
        .def("getType", &OrvoClientDataWrapper::getType)
        .def("setType", &OrvoClientDataWrapper::setType);
}

} // namespace

PyObject *createOrvoModule()
{
    static py::module_::module_def definition;
    try {
        auto module =
            py::module_::create_extension_module("orvo", "The program's classes for the web application.", &definition);
        defineEnv(module);
        defineClient(module);
        defineClientData(module);
        return module.release().ptr();
    } catch (py::error_already_set &e) {
        e.restore();
    } catch (const std::exception &e) {
        PyErr_SetString(PyExc_ImportError, e.what());
    }
    return nullptr;
}
