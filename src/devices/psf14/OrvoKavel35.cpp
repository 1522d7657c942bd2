#include "devices/psf14/OrvoKavel35.h"

OrvoKavel35::OrvoKavel35() = default;

OrvoKavel35::~OrvoKavel35() = default;
