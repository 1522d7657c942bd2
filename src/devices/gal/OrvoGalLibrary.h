#pragma once

#include "device/OrvoCapabilityInterface.h"
#include "device/OrvoModelSetupInterface.h"

#include <QByteArray>
#include <QString>

// The one way the device code reaches the GAL device library. Paths go over as 8-bit names
// (QFile::encodeName) in buffers of the library's sizes; a text that does not fit its buffer is
// refused, never cut. The library keeps one home path for the whole process, so each call that
// reads or changes the device sets the home to the device root and calls the library under one
// process-wide lock: two devices' workers never see each other's home. Any thread.
class OrvoGalLibrary : public OrvoCapabilityInterface, public OrvoModelSetupInterface
{
public:
    static constexpr qsizetype kPathBufferSize = 256;
    static constexpr qsizetype kListedNameBufferSize = 260;
    static constexpr qsizetype kLanguageBufferSize = 16;
    static constexpr qsizetype kActivityHeaderSize = 88;
    static constexpr qsizetype kSummaryLapSize = 56;
    static constexpr qsizetype kTemplateSize = 36;
    static constexpr qsizetype kWorkoutNameBufferSize = 65536;

    // Three bytes that select a workout type folder.
    struct WorkoutType
    {
        quint8 byte0 = 0;
        quint8 byte1 = 0;
        quint8 byte2 = 0;
    };

    // Each answers false when the library fails, when root is empty (the library would then
    // serve the file system's root) or when a text does not fit its buffer.
    bool activityCount(const QString &root, quint32 &count);
    // index counts from 1.
    bool activityFileName(const QString &root, quint32 index, QString &name);
    bool activityContent(const QString &root, const QString &name, QByteArray &header);
    bool summaryLapContent(const QString &root, const QString &name, QByteArray &lap);
    bool workoutCount(const QString &root, WorkoutType type, quint32 &count);
    bool workoutFileName(const QString &root, quint32 index, WorkoutType type, QString &name);
    bool readTemplate(const QString &root, const QString &name, WorkoutType type, QByteArray &workoutTemplate);
    // The name as one bit-font string record, in the language when the workout has it.
    bool readWorkoutName(const QString &root, const QString &name, WorkoutType type, const QString &language,
                         QByteArray &record);
    // kind 30 an activity; 21 a workout in any type folder, 36 and 35 in those whose second
    // byte is 5 and 6. False when nothing was deleted.
    bool deleteFile(const QString &root, int kind, const QString &name);

    // The device profile into the INI file at readIni, and the INI file at writeIni into the
    // device profile.
    bool getProfile(const QString &root, const QString &readIni);
    bool refreshProfile(const QString &root, const QString &writeIni);
    // 0 failure, 2 the device must synchronise its profile, any other value success.
    quint8 updateProfile(const QString &deviceFolder, const QString &mapPath, const QString &binPath);

    bool projSwCapability(const QByteArray &model, QString &capability) override;
    void setModelName(const QByteArray &name) override;
    void setModelImg(const QByteArray &image) override;
    void setModelIap(const QByteArray &bootLoader) override;
};
