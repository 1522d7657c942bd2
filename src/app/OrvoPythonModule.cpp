#include "app/OrvoPythonModule.h"

#include "app/OrvoClientDataWrapper.h"
#include "app/OrvoEnvWrapper.h"
#include "env/OrvoEnv.h"

#include <memory>
#include <utility>

namespace py = pybind11;

namespace {

using EnvClass = py::class_<OrvoEnv, std::unique_ptr<OrvoEnv, py::nodelete>>;

// The web application's device until the device client is bound: there is none.
struct PlaceholderClient
{};

OrvoEnvWrapper &envWrapper()
{
    static OrvoEnvWrapper wrapper;
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
    bindSlot(cls, "getHomeTempDir", &OrvoEnvWrapper::getHomeTempDir);
    bindSlot(cls, "getUpdateUrl", &OrvoEnvWrapper::getUpdateUrl);
    bindSlot(cls, "setUserDataBaseFolder", &OrvoEnvWrapper::setUserDataBaseFolder);
    bindSlot(cls, "getHomelink", &OrvoEnvWrapper::getHomelink);
    bindSlot(cls, "appendLog", &OrvoEnvWrapper::appendLog);
    bindSlot(cls, "getValue", &OrvoEnvWrapper::getValue);
    bindSlot(cls, "getRole", &OrvoEnvWrapper::getRole);
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

void defineClient(py::module_ &module)
{
    py::class_<PlaceholderClient>(module, "OrvoClient")
        .def(py::init<>())
        .def("isExist", [](const PlaceholderClient &) { return false; })
        .def("getName", [](const PlaceholderClient &) { return QString(); });
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
