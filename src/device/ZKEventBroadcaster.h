#pragma once

#include <QList>

// A list of listeners of one type, not owned, and the call of one of their operations on each
// of them in the order they were added.
template<typename T>
class ZKEventBroadcaster
{
public:
    // A listener already in the list, or none at all, is not added.
    void addListener(T *listener)
    {
        if (listener != nullptr && !m_listeners.contains(listener))
            m_listeners.append(listener);
    }

    // False when the listener was not in the list.
    bool removeListener(T *listener) { return m_listeners.removeOne(listener); }

    const QList<T *> &listeners() const { return m_listeners; }

    // Every listener gets the same arguments. The list is walked by index, so a listener that
    // adds or removes listeners while it is called never makes the walk leave the list.
    template<typename... Params, typename... Args>
    void broadcast(void (T::*operation)(Params...), Args &&...args) const
    {
        for (qsizetype i = 0; i < m_listeners.size(); ++i)
            (m_listeners.at(i)->*operation)(args...);
    }

private:
    QList<T *> m_listeners;
};
