#pragma once

#include <QByteArray>
#include <QString>

// The capability query of the maker's closed device library: what a model's firmware can do,
// as the library's own text.
class OrvoCapabilityInterface
{
public:
    virtual ~OrvoCapabilityInterface();
    // Fills capability for the model (its name in 8-bit ASCII); false when the call failed.
    virtual bool projSwCapability(const QByteArray &model, QString &capability) = 0;
};
