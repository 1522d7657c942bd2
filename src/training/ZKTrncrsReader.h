#pragma once

#include "training/ZKTrnImportable.h"

#include <QString>
#include <QXmlStreamReader>

// Reads a training-course file into an importable, record by record in document order.
// Every known element becomes keys of a flat map; names and descriptions given in several
// languages are joined into one text as "\ENG text\DEU text".
class ZKTrncrsReader
{
public:
    // The target is not owned.
    explicit ZKTrncrsReader(ZKTrnImportable *target);
    ~ZKTrncrsReader();

    // True when the file was read without a file or XML error. A root of another creator
    // gives nothing; on an error the target keeps the records completed before it.
    bool readFile(const QString &path);

private:
    struct NameElement
    {
        QString text;
        QStringList shortNames;
    };

    void readRoot();
    void readMetadata();
    void readWorkout();
    void readInterval();
    void readTarget();
    void readDuration();
    void readAttributes(const QString &prefix, ZKTrnMap &values);
    QString readText();
    NameElement readNameElement();

    ZKTrnImportable *m_target = nullptr;
    QXmlStreamReader m_xml;
};
