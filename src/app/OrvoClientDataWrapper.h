#pragma once

#include "device/OrvoClientData.h"

#include <QObject>
#include <QPixmap>

#include <memory>

// The web application's access to one listed device item: it owns the record and deletes it
// with itself, when Python lets go of the wrapper.
class OrvoClientDataWrapper : public QObject
{
    Q_OBJECT

public:
    // data must not be null.
    explicit OrvoClientDataWrapper(OrvoClientData *data);
    ~OrvoClientDataWrapper() override;

    const OrvoClientData *data() const;

public slots:
    int getID() const;
    void setID(int val);
    QString getName() const;
    void setName(const QString &val);
    QPixmap getPixmap() const;
    void setPixmap(const QPixmap &val);
    QString getDescription() const;
    void setDescription(const QString &val);
    QString getType() const;
    void setType(const QString &val);

private:
    std::unique_ptr<OrvoClientData> m_data;
};
