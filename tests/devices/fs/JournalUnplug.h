#pragma once

#include <QString>

#include <sqlite3.h>

#include <functional>

// While it lives, SQLite opens its files through a layer that runs a step once, right before it
// opens the first journal below a folder: the moment a statement's first write reaches that
// folder. A test pulls the drive there, so that the write finds it gone, as a pulled cable
// leaves a device database in the middle of a deletion. One at a time.
class JournalUnplug
{
public:
    using Step = std::function<void()>;

    JournalUnplug(const QString &folder, Step step);
    ~JournalUnplug();
    JournalUnplug(const JournalUnplug &) = delete;
    JournalUnplug &operator=(const JournalUnplug &) = delete;

    bool ok() const { return m_ok; }
    // Whether the step ran.
    bool happened() const { return m_happened; }

private:
    static int open(sqlite3_vfs *vfs, const char *name, sqlite3_file *file, int flags, int *outFlags);

    QString m_folder;
    Step m_step;
    sqlite3_vfs *m_base = nullptr;
    sqlite3_vfs m_vfs{};
    bool m_ok = false;
    bool m_happened = false;
};
