#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the event loop when the process is asked to terminate (SIGTERM, or SIGINT from a
// terminal), so that the program shuts down in order and its log is complete. The signal
// handler only writes a byte into a pipe; the loop reads it and exits with code 0. A request
// that arrives while a modal box runs ends that box's loop as well.
class OrvoTerminationWatcher : public QObject
{
    Q_OBJECT

public:
    explicit OrvoTerminationWatcher(QObject *parent = nullptr);
    ~OrvoTerminationWatcher() override;

private:
    void onRequest();

    QSocketNotifier *m_notifier = nullptr;
};
