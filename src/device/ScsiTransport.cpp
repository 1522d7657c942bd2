#include "device/ScsiTransport.h"

ScsiTransport::~ScsiTransport() = default;
