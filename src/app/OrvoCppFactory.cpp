#include "app/OrvoCppFactory.h"

#include "app/OrvoClientDataWrapper.h"

QObject *OrvoCppFactory::create(const QByteArray &className, void *object) const
{
    if (object && className == "OrvoClientData")
        return new OrvoClientDataWrapper(static_cast<OrvoClientData *>(object));
    return nullptr;
}
