#pragma once

#include "training/ZKTrnExportable.h"
#include "training/ZKWorkoutInterval.h"

#include <QDateTime>
#include <QList>
#include <QString>

// One workout of a device database (a Workout row and its intervals). As ZKTrnExportable it
// writes itself as a training-course document holding this one workout.
class ZKWorkout : public ZKTrnExportable
{
public:
    // The id is the workout's own number (the wid column); orgid starts equal to it.
    ZKWorkout(int id, const QString &name);

    int id() const { return m_id; }
    QString name() const { return m_name; }
    int orgid() const { return m_orgid; }
    void setOrgid(int orgid) { m_orgid = orgid; }
    int type() const { return m_type; }
    void setType(int type) { m_type = type; }
    int subtype() const { return m_subtype; }
    void setSubtype(int subtype) { m_subtype = subtype; }
    int listOrder() const { return m_listOrder; }
    void setListOrder(int listOrder) { m_listOrder = listOrder; }
    int acttype() const { return m_acttype; }
    void setActtype(int acttype) { m_acttype = acttype; }
    bool daily() const { return m_daily; }
    void setDaily(bool daily) { m_daily = daily; }
    int repeat() const { return m_repeat; }
    void setRepeat(int repeat) { m_repeat = repeat; }
    QString desc() const { return m_desc; }
    void setDesc(const QString &desc) { m_desc = desc; }
    QString createTime() const { return m_createTime; }
    void setCreateTime(const QString &createTime) { m_createTime = createTime; }
    // Written as the workout's "time" only when valid; the database code sets it in UTC.
    QDateTime dateTime() const { return m_dateTime; }
    void setDateTime(const QDateTime &dateTime) { m_dateTime = dateTime; }

    // The database row (the id column), apart from the workout's own number.
    qint64 rowId() const { return m_rowId; }
    void setRowId(qint64 rowId) { m_rowId = rowId; }
    // A one-shot workout is used once and deleted once exported.
    bool isOneShot() const { return m_oneShot; }
    void setOneShot(bool oneShot) { m_oneShot = oneShot; }
    // Whether the details and intervals were read from the database.
    bool isLoaded() const { return m_loaded; }
    void setLoaded(bool loaded) { m_loaded = loaded; }

    const QList<ZKWorkoutInterval> &intervals() const { return m_intervals; }
    void appendInterval(const ZKWorkoutInterval &interval) { m_intervals.append(interval); }

    void writeMetadata(QXmlStreamWriter &writer) override;
    void writeWorkouts(QXmlStreamWriter &writer) override;
    static void writeInterval(const ZKWorkoutInterval &interval, QXmlStreamWriter &writer);

private:
    int m_id;
    int m_orgid;
    int m_type = 0;
    int m_subtype = 0;
    int m_listOrder = 0;
    int m_acttype = 0;
    bool m_daily = false;
    int m_repeat = 0;
    QString m_name;
    QString m_desc;
    QString m_createTime;
    QDateTime m_dateTime;
    qint64 m_rowId = 0;
    bool m_oneShot = false;
    bool m_loaded = false;
    QList<ZKWorkoutInterval> m_intervals;
};
