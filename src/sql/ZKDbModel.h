#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// One table of a device database for one operation: the columns and bound values the caller
// owns, the where and order texts, and the id of the last insert. Derived classes name the
// file, the connection and the table.
class ZKDbModel
{
public:
    virtual ~ZKDbModel();

    // The absolute path of the SQLite file; empty when the device holds none.
    virtual QString databaseFile() const = 0;
    virtual QString connectionName() const = 0;
    virtual QString tableName() const = 0;

    void setWhere(const QString &where);
    QString where() const;
    // Appended after a blank, so it carries its own "order by".
    void setOrderBy(const QString &orderBy);
    QString orderBy() const;

    // Both lists stay the caller's and must outlive the next operation.
    void setColumns(const QStringList *columns);
    QStringList columns() const;
    void setValues(const QVector<QVariant> *values);
    qsizetype valueCount() const;
    QVariant valueAt(qsizetype index) const;

    QVariant lastInsertId() const;
    void setLastInsertId(const QVariant &id);

private:
    const QVector<QVariant> *m_values = nullptr;
    const QStringList *m_columns = nullptr;
    QString m_where;
    QString m_orderBy;
    QVariant m_lastInsertId;
};
