#include "app/OrvoUserNotice.h"

namespace {

OrvoUserNotice *g_installed = nullptr;

} // namespace

OrvoUserNotice *OrvoUserNotice::installed()
{
    return g_installed;
}

void OrvoUserNotice::install(OrvoUserNotice *notice)
{
    g_installed = notice;
}
