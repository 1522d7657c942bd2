#include "device/OrvoDeviceRegistry.h"

#include <QStringList>

#include <algorithm>

const OrvoDeviceInfo *OrvoDeviceRegistry::registerDevice(const OrvoDeviceInfo &info, bool atFront)
{
    if (atFront) {
        m_types.prepend(info);
        return &m_types.first();
    }
    m_types.append(info);
    return &m_types.last();
}

void OrvoDeviceRegistry::unregisterDevice(const QString &modelName)
{
    const auto row = std::find_if(m_types.begin(), m_types.end(),
                                  [&](const OrvoDeviceInfo &info) { return info.modelName == modelName; });
    if (row != m_types.end())
        m_types.erase(row);
}

QVector<OrvoDeviceInfo> &OrvoDeviceRegistry::deviceTypes()
{
    return m_types;
}

const QVector<OrvoDeviceInfo> &OrvoDeviceRegistry::deviceTypes() const
{
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
