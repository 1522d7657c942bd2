#include "psf14/OrvoPSFLapGpx.h"

#include "env/OrvoTimeText.h"
#include "psf14/OrvoPSFLap.h"
#include "psf14/OrvoPSFValues.h"

ZKGpxLap OrvoPSFLapGpx::convert(const OrvoPSFLap &lap, int mode)
{
    ZKGpxLap gpx;
    gpx.start = psfTimeText(lap.lapStartTime());
    gpx.end = psfTimeText(lap.endTime());
    gpx.distance = QString::number(lap.distance());
    gpx.speedAvg = speedText(lap.averageSpeed());
    gpx.speedMax = speedText(lap.maximumSpeed());
    gpx.hrmAvg = QString::number(lap.averageHeartRate());
    gpx.hrmMax = QString::number(lap.maximumHeartRate());
    gpx.cadAvg = cadenceText(lap.averageCadence(), mode);
    gpx.cadMax = cadenceText(lap.maximumCadence(), mode);
    gpx.pwrAvg = QString::number(lap.averagePower());
    gpx.pwrMax = QString::number(lap.maximumPower());
    gpx.altgain = QString::number(lap.altitudeGain());
    gpx.altloss = QString::number(lap.altitudeLoss());
    gpx.calorie = QString::number(lap.calories());
    gpx.rtime = QString::number(lap.ridingTime());
    return gpx;
}
