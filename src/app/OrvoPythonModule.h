#pragma once

#include "app/OrvoPybind.h"

// Builds the module orvo, which gives the web application the classes OrvoEnv (the environment
// wrapper), OrvoClient and OrvoClientData. Registered as a built-in module before the
// interpreter starts.
PyObject *createOrvoModule();
