#pragma once

class QXmlStreamWriter;

// A source that the GPX writer asks for the five parts of a file, in this order. Each writes
// its part into the stream, or nothing.
class ZKGpxExportable
{
public:
    virtual ~ZKGpxExportable() = default;

    virtual void writeMetadata(QXmlStreamWriter &writer) = 0;
    virtual void writeRoute(QXmlStreamWriter &writer) = 0;
    virtual void writeTracks(QXmlStreamWriter &writer) = 0;
    virtual void writeWaypoints(QXmlStreamWriter &writer) = 0;
    virtual void writeExtensions(QXmlStreamWriter &writer) = 0;
};
