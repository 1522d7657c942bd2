#pragma once

#include "training/ZKTrnExportable.h"
#include "training/ZKTrnImportable.h"
#include "training/ZKTrncrsMetadata.h"
#include "training/ZKTrncrsWorkout.h"

#include <QList>

#include <optional>

// A training-course document: optional metadata and a list of workouts. A reader fills it
// through ZKTrnImportable; producers may also fill the records directly. As ZKTrnExportable
// it writes itself in the element order of the format.
class ZKTrncrs : public ZKTrnImportable, public ZKTrnExportable
{
public:
    std::optional<ZKTrncrsMetadata> &metadata();
    const std::optional<ZKTrncrsMetadata> &metadata() const;
    QList<ZKTrncrsWorkout> &workouts();
    const QList<ZKTrncrsWorkout> &workouts() const;

    void newMetadata() override;
    void setMetadata(const ZKTrnMap &values) override;
    // The workout being read stays apart until setWorkout() lists it.
    void newWorkout() override;
    void setWorkout(const ZKTrnMap &values) override;
    // The interval being read joins the current workout on setInterval().
    void newInterval() override;
    void newTarget() override;
    void setTarget(const ZKTrnMap &values) override;
    void newDuration() override;
    void setDuration(const ZKTrnMap &values) override;
    void setInterval(const ZKTrnMap &values) override;

    void writeMetadata(QXmlStreamWriter &writer) override;
    void writeWorkouts(QXmlStreamWriter &writer) override;

private:
    void writeIntervals(QXmlStreamWriter &writer, const ZKTrncrsWorkout &workout) const;

    std::optional<ZKTrncrsMetadata> m_metadata;
    QList<ZKTrncrsWorkout> m_workouts;
    std::optional<ZKTrncrsWorkout> m_currentWorkout;
    std::optional<ZKTrncrsInterval> m_currentInterval;
};
