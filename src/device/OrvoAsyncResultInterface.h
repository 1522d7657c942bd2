#pragma once

#include <QVariantList>

// Receives the result list of a finished asynchronous device action (finalize, export of
// rides, upload zip, import of a download zip, reading and writing the profile) and hands it to
// the scripting side. The scripting host implements it and installs itself with
// OrvoClient::setAsyncResultReceiver; it removes itself (null) before it goes away.
// Called on the GUI thread only.
class OrvoAsyncResultInterface
{
public:
    virtual ~OrvoAsyncResultInterface() = default;

    virtual void emitAsyncResult(const QVariantList &result) = 0;
};
