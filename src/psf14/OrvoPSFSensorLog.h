#pragma once

#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFField.h"
#include "psf14/OrvoPSFSensorLogPoint.h"

#include <QVector>

// A sensor log of a track, a 16-byte header followed by its points, little-endian:
//   0   u32  start time (seconds since 1970, UTC)
//   4   u32  link to the track's next sensor log (from the start of the sensor-log data area)
//   8   u8   seconds between consecutive points
//   9   u8   channel flags: bits 0-5 the logged channels, bit 7 logFlag7
//   10  i16  number of points (0xFFFF counts as 0; a negative count loads no points)
//   12  4    not read
//   16  ...  the points, each as long as its channels
// Point i was logged at the start time + i × the interval.
class OrvoPSFSensorLog : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kHeaderSize = 16;

    // bytes: from the log to the end of the memory it may use (at least kHeaderSize bytes);
    // only the points that lie inside it load.
    explicit OrvoPSFSensorLog(QByteArrayView bytes, QObject *parent = nullptr);
    ~OrvoPSFSensorLog() override;

    // The bytes the loaded log covers; a point without channels counts one byte, so that a log
    // can never load more points than its memory has bytes.
    qsizetype loadedSize() const;

    quint32 logStartTime() const { return m_startTime; }
    void setLogStartTime(quint32 time) { m_startTime = time; }
    quint32 nextSensorLog() const { return m_nextSensorLog; }
    void setNextSensorLog(quint32 link) { m_nextSensorLog = link; }
    quint8 logInterval() const { return m_interval; }
    void setLogInterval(quint8 seconds) { m_interval = seconds; }
    // Bits 0-5 of the channel flags.
    quint8 channels() const { return m_channels; }
    bool logFlag7() const { return m_flag7; }
    qint16 logPointCount() const { return m_pointCount; }
    // The log owns its samples and deletes them with itself. They are not QObject children:
    // nothing deletes one alone, and tens of thousands of them would cost a guard and a
    // children-list entry each. A loaded log keeps them as values; the first call of points()
    // builds their objects.
    const QVector<OrvoPSFSensorLogPoint *> &points() const;
    // The values of the samples in order, without building objects.
    const QVector<OrvoPSFSensorLogPoint::Sample> &samples() const { return m_samples; }

private:
    void loadPoints(QByteArrayView bytes);

    quint32 m_startTime = 0;
    quint32 m_nextSensorLog = kOrvoPsfNone;
    quint8 m_interval = 0;
    quint8 m_channels = 0;
    bool m_flag7 = false;
    qint16 m_pointCount = 0;
    QVector<OrvoPSFSensorLogPoint::Sample> m_samples;
    // Built from m_samples on first use.
    mutable QVector<OrvoPSFSensorLogPoint *> m_points;
};
