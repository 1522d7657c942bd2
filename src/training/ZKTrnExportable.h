#pragma once

class QXmlStreamWriter;

// The source of a training-course file: ZKTrnWriter writes the root and calls these in order.
class ZKTrnExportable
{
public:
    virtual ~ZKTrnExportable() = default;

    virtual void writeMetadata(QXmlStreamWriter &writer) = 0;
    virtual void writeWorkouts(QXmlStreamWriter &writer) = 0;
};
