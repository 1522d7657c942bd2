#include "device/OrvoSaveFileChooser.h"

#include "device/OrvoTmpSaveFileChooser.h"

#include <atomic>

namespace {

std::atomic<OrvoSaveFileChooser *> g_installed{nullptr};

} // namespace

OrvoSaveFileChooser &OrvoSaveFileChooser::current()
{
    static OrvoTmpSaveFileChooser tmp;
    OrvoSaveFileChooser *installed = g_installed.load();
    return installed != nullptr ? *installed : tmp;
}

void OrvoSaveFileChooser::install(OrvoSaveFileChooser *chooser)
{
    g_installed.store(chooser);
}
