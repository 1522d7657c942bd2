#pragma once

#include <QByteArray>

// The model set-up of the maker's closed device library: the device controller tells it which
// model is attached and the image and boot-loader codes of its firmware, each as an ASCII text
// (the library takes them zero-terminated; the terminator is the implementation's business).
class OrvoModelSetupInterface
{
public:
    virtual ~OrvoModelSetupInterface();

    virtual void setModelName(const QByteArray &name) = 0;
    virtual void setModelImg(const QByteArray &image) = 0;
    virtual void setModelIap(const QByteArray &bootLoader) = 0;
};
