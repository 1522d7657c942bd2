#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QVector>
#include <QtGlobal>

// Collects every Qt message sent while it lives, so a test can check what was logged and at
// which level. One capture at a time; the previous handler comes back on destruction.
class OrvoMessageCapture
{
public:
    struct Message
    {
        QtMsgType type;
        QString text;
    };

    OrvoMessageCapture()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&OrvoMessageCapture::handle);
    }

    ~OrvoMessageCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }

    OrvoMessageCapture(const OrvoMessageCapture &) = delete;
    OrvoMessageCapture &operator=(const OrvoMessageCapture &) = delete;

    QVector<Message> messages() const
    {
        QMutexLocker lock(&m_mutex);
        return m_messages;
    }

    // How many messages of the type hold the text.
    int count(QtMsgType type, const QString &text) const
    {
        QMutexLocker lock(&m_mutex);
        int n = 0;
        for (const Message &m : m_messages)
            n += (m.type == type && m.text.contains(text)) ? 1 : 0;
        return n;
    }

    bool contains(QtMsgType type, const QString &text) const { return count(type, text) > 0; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (OrvoMessageCapture *capture = s_current) {
            QMutexLocker lock(&capture->m_mutex);
            capture->m_messages.append(Message{type, text});
        }
    }

    inline static OrvoMessageCapture *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QVector<Message> m_messages;
};
