#pragma once

#include "device/OrvoDeviceInfo.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The udev rules that let the user at the seat (the "uaccess" tag) send commands to the
// supported devices without root: the SCSI generic nodes of USB-attached devices whose SCSI
// vendor or model text starts with one of a row's match alternatives, in any case, or where the
// alternative runs from the end of the 8-character vendor field into the model field. That is
// where the devices show their identity; the program finds a drive by its vendor text followed
// by its model text, a flash device by its INQUIRY answer, so the rules never open a device the
// program would not serve.
class OrvoUdevRules
{
public:
    OrvoUdevRules() = delete;

    // The rules file for the rows. False, with error naming the row, when an alternative is
    // empty (it would open every SCSI node of the computer) or holds a character that a rule
    // cannot match literally.
    static bool compose(const QVector<OrvoDeviceInfo> &rows, QByteArray &rules, QString &error);
};
