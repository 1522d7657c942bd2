#pragma once

#include "app/OrvoPybind.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class OrvoClient;
class PythonCppBridge;

// The embedded interpreter. initPython runs once per process, on the GUI thread, after the
// environment is initialised: it starts Debian's Python, sets its search path, makes the module
// orvo available, installs the wrapper factory, creates the host object (which from then on
// receives the device clients' result lists) and runs the bootstrap script that imports the web
// application. Afterwards the GUI thread holds the interpreter lock only while it calls into
// Python.
void initPython();

// Stops the scheduler, deletes the host object and its web window and ends the interpreter.
// Python does not start again in this process.
void finalizePython();

// True between a successful start of the interpreter and finalizePython.
bool isPythonRunning();

// True when the web application could not start because another program listens on its port.
bool isListenPortTaken();

// The host object; null before initPython and after finalizePython.
PythonCppBridge *pythonBridge();

// The client Python gets while no device is attached; null before initPython and after
// finalizePython.
OrvoClient *placeholderClient();

// Hands a program object to Python through the wrapper factory; the wrapper owns the object
// and deletes it when Python lets it go. None, and the object stays the caller's, when the class
// has no wrapper. Call with the interpreter lock held.
pybind11::object wrapCppObject(const QByteArray &className, void *object);

// The module search path for the resource folder: a bundled standard-library archive and the
// bundled eggs of setuptools, lxml, greenlet and gevent where they exist, around the system's
// standard library and site folders that exist, and the resource folder itself last.
QStringList pythonSearchPath(const QString &resourceDir, const QStringList &systemLibraryPaths,
                             const QStringList &sitePackages);
