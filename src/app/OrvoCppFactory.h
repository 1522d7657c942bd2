#pragma once

#include <QByteArray>
#include <QObject>

// Makes the Python-side wrapper of a program object that has no Qt meta-object of its own.
// The wrapper takes ownership of the object.
class OrvoCppFactory
{
public:
    // A new wrapper for the object of the class named exactly className, or null when there is
    // no wrapper for that class or no object (the object then stays the caller's).
    QObject *create(const QByteArray &className, void *object) const;
};
