#pragma once

#include <QByteArray>

// Who an emulated flash device says it is. The INQUIRY answer lays the texts out as a USB
// device of this family does: vendor in bytes 8-15, product in 16-26, the firmware version in
// 27-30 (the tail of the standard product field), revision in 32-35, then vendor data.
struct OrvoEmulatedIdentity
{
    QByteArray vendor;
    QByteArray product;
    QByteArray version;
    QByteArray revision;
    // From byte 36 on; a boot loader announces itself here ("IAP I" and its launch text).
    QByteArray vendorData;
    // The 16 characters at the end of the device-id answer.
    QByteArray deviceId;
};
