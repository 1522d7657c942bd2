#pragma once

#include <QObject>

// Where device-change notices come from: it emits the codes of OrvoDeviceEvent.
class OrvoDeviceEventSource : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts watching; false when no notice can arrive.
    virtual bool start() = 0;

signals:
    void deviceChange(quint32 deviceEvent);
};
