#include "device/OrvoDeviceService.h"

OrvoDeviceService::~OrvoDeviceService() = default;

QString OrvoDeviceService::firstText() const
{
    return m_firstText;
}

void OrvoDeviceService::setFirstText(const QString &text)
{
    m_firstText = text;
}

QString OrvoDeviceService::secondText() const
{
    return m_secondText;
}

void OrvoDeviceService::setSecondText(const QString &text)
{
    m_secondText = text;
}
