#pragma once

#include <QMap>
#include <QString>

// Element texts and attributes of one record, flattened by the reader into keys such as
// "wrk_id", "name_shtname" or "duration_type".
using ZKTrnMap = QMap<QString, QString>;

// What a training-course reader fills, record by record in document order: each record
// starts with its new operation and ends with its set operation.
class ZKTrnImportable
{
public:
    virtual ~ZKTrnImportable() = default;

    virtual void newMetadata() = 0;
    virtual void setMetadata(const ZKTrnMap &values) = 0;
    virtual void newWorkout() = 0;
    virtual void setWorkout(const ZKTrnMap &values) = 0;
    virtual void newInterval() = 0;
    virtual void newTarget() = 0;
    virtual void setTarget(const ZKTrnMap &values) = 0;
    virtual void newDuration() = 0;
    virtual void setDuration(const ZKTrnMap &values) = 0;
    virtual void setInterval(const ZKTrnMap &values) = 0;
};
