#pragma once

#include "device/OrvoDeviceInfo.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The udev rules that let the user at the seat (the "uaccess" tag) send commands to the
// supported devices without root: every SCSI generic node whose SCSI vendor or product text
// holds one of a row's match alternatives, in any case, also where the alternative runs from
// the end of the 8-character vendor field into the product field. That is where the program
// finds them: a drive by its vendor text followed by its product text (in any case), a flash
// device by its INQUIRY answer.
class OrvoUdevRules
{
public:
    OrvoUdevRules() = delete;

    // The rules file for the rows. False, with error naming the row, when an alternative is
    // empty (it would open every SCSI node of the computer) or holds a character that a rule
    // cannot match literally.
    static bool compose(const QVector<OrvoDeviceInfo> &rows, QByteArray &rules, QString &error);
};
