#pragma once

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the messages logged on any thread while it lives, in place of the installed handler.
class OrvoLogCapture
{
public:
    struct Line
    {
        QtMsgType type;
        QString text;
    };

    OrvoLogCapture()
    {
        const QMutexLocker lock(&s_mutex);
        s_lines.clear();
        m_previous = qInstallMessageHandler(collect);
    }

    ~OrvoLogCapture() { qInstallMessageHandler(m_previous); }

    OrvoLogCapture(const OrvoLogCapture &) = delete;
    OrvoLogCapture &operator=(const OrvoLogCapture &) = delete;

    // The texts of the lines of that type that contain the fragment.
    QStringList matching(QtMsgType type, const QString &fragment) const
    {
        const QMutexLocker lock(&s_mutex);
        QStringList found;
        for (const Line &line : s_lines) {
            if (line.type == type && line.text.contains(fragment))
                found << line.text;
        }
        return found;
    }

private:
    static void collect(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        const QMutexLocker lock(&s_mutex);
        s_lines.append({type, text});
    }

    static inline QMutex s_mutex;
    static inline QList<Line> s_lines;
    QtMessageHandler m_previous = nullptr;
};
