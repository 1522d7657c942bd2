#include "sql/ZKDbModel.h"

ZKDbModel::~ZKDbModel() = default;

void ZKDbModel::setWhere(const QString &where)
{
    m_where = where;
}

QString ZKDbModel::where() const
{
    return m_where;
}

void ZKDbModel::setOrderBy(const QString &orderBy)
{
    m_orderBy = orderBy;
}

QString ZKDbModel::orderBy() const
{
    return m_orderBy;
}

void ZKDbModel::setColumns(const QStringList *columns)
{
    m_columns = columns;
}

QStringList ZKDbModel::columns() const
{
    return m_columns ? *m_columns : QStringList();
}

void ZKDbModel::setValues(const QVector<QVariant> *values)
{
    m_values = values;
}

qsizetype ZKDbModel::valueCount() const
{
    return m_values ? m_values->size() : 0;
}

QVariant ZKDbModel::valueAt(qsizetype index) const
{
    return m_values ? m_values->value(index) : QVariant();
}

QVariant ZKDbModel::lastInsertId() const
{
    return m_lastInsertId;
}

void ZKDbModel::setLastInsertId(const QVariant &id)
{
    m_lastInsertId = id;
}
