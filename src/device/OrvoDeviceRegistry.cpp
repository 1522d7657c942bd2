#include "device/OrvoDeviceRegistry.h"

#include <QMutexLocker>
#include <QStringList>

#include <algorithm>

OrvoDeviceInfo OrvoDeviceRegistry::registerDevice(const OrvoDeviceInfo &info, bool atFront)
{
    QMutexLocker lock(&m_mutex);
    if (atFront)
        m_types.prepend(info);
    else
        m_types.append(info);
    return info;
}

void OrvoDeviceRegistry::unregisterDevice(const QString &modelName)
{
    QMutexLocker lock(&m_mutex);
    const auto row = std::find_if(m_types.begin(), m_types.end(),
                                  [&](const OrvoDeviceInfo &info) { return info.modelName == modelName; });
    if (row != m_types.end())
        m_types.erase(row);
}

QVector<OrvoDeviceInfo> OrvoDeviceRegistry::deviceTypes() const
{
    QMutexLocker lock(&m_mutex);
    return m_types;
}

int OrvoDeviceRegistry::fsIdSource() const
{
    return m_fsIdSource;
}

void OrvoDeviceRegistry::setFsIdSource(int flags)
{
    m_fsIdSource = flags;
}

const OrvoDeviceRegistry::FileDeviceFactories &OrvoDeviceRegistry::fileDeviceFactories() const
{
    return m_fileDeviceFactories;
}

void OrvoDeviceRegistry::setFileDeviceFactories(const FileDeviceFactories &factories)
{
    m_fileDeviceFactories = factories;
}

QVector<const OrvoDeviceInfo *> OrvoDeviceRegistry::matchDeviceInfos(const QString &text,
                                                                     const QVector<OrvoDeviceInfo> &types)
{
    QVector<const OrvoDeviceInfo *> matched;
    for (const OrvoDeviceInfo &info : types) {
        const QStringList alternatives = info.matchString.split(QLatin1Char(':'));
        const bool occurs = std::any_of(alternatives.cbegin(), alternatives.cend(),
                                        [&](const QString &part) { return text.contains(part, Qt::CaseInsensitive); });
        if (occurs)
            matched.append(&info);
    }
    return matched;
}
