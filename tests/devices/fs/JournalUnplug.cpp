#include "JournalUnplug.h"

#include <atomic>

namespace {

std::atomic<JournalUnplug *> g_active{nullptr};

constexpr int kJournalFlags = SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_WAL;

} // namespace

JournalUnplug::JournalUnplug(const QString &folder, Step step)
    : m_folder(folder + QLatin1Char('/'))
    , m_step(std::move(step))
    , m_base(sqlite3_vfs_find(nullptr))
{
    if (m_base == nullptr)
        return;
    // The base's own methods do the work; only the opening is watched. The connections opened
    // from now on take this layer as the default.
    m_vfs = *m_base;
    m_vfs.pNext = nullptr;
    m_vfs.zName = "orvo-journal-unplug";
    m_vfs.pAppData = m_base;
    m_vfs.xOpen = &JournalUnplug::open;
    g_active.store(this);
    m_ok = sqlite3_vfs_register(&m_vfs, 1) == SQLITE_OK;
}

JournalUnplug::~JournalUnplug()
{
    g_active.store(nullptr);
    if (!m_ok)
        return;
    sqlite3_vfs_register(m_base, 1);
    sqlite3_vfs_unregister(&m_vfs);
}

int JournalUnplug::open(sqlite3_vfs *vfs, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    JournalUnplug *self = g_active.load();
    if (self != nullptr && !self->m_happened && name != nullptr && (flags & kJournalFlags) != 0 &&
        QString::fromUtf8(name).startsWith(self->m_folder)) {
        self->m_happened = true;
        self->m_step();
    }
    auto *base = static_cast<sqlite3_vfs *>(vfs->pAppData);
    return base->xOpen(base, name, file, flags, outFlags);
}
