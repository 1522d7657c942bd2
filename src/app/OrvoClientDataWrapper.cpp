#include "app/OrvoClientDataWrapper.h"

OrvoClientDataWrapper::OrvoClientDataWrapper(OrvoClientData *data)
    : m_data(data)
{}

OrvoClientDataWrapper::~OrvoClientDataWrapper() = default;

const OrvoClientData *OrvoClientDataWrapper::data() const
{
    return m_data.get();
}

int OrvoClientDataWrapper::getID() const
{
    return m_data->id;
}

void OrvoClientDataWrapper::setID(int val)
{
    m_data->id = val;
}

QString OrvoClientDataWrapper::getName() const
{
    return m_data->name;
}

void OrvoClientDataWrapper::setName(const QString &val)
{
    m_data->name = val;
}

QPixmap OrvoClientDataWrapper::getPixmap() const
{
    return QPixmap::fromImage(m_data->nameImage);
}

void OrvoClientDataWrapper::setPixmap(const QPixmap &val)
{
    m_data->nameImage = val.toImage();
}

QString OrvoClientDataWrapper::getDescription() const
{
    return m_data->description;
}

void OrvoClientDataWrapper::setDescription(const QString &val)
{
    m_data->description = val;
}

QString OrvoClientDataWrapper::getType() const
{
    return m_data->type;
}

void OrvoClientDataWrapper::setType(const QString &val)
{
    m_data->type = val;
}
