#pragma once

#include "env/OrvoEnv.h"

#include <QTemporaryDir>

namespace OrvoTest {

// Points the environment's settings and files at a folder of the test's own for its lifetime.
// Without it a test that never started the environment writes relative to "/" and meets every
// other test process that does the same.
class UserFolderScope
{
public:
    UserFolderScope()
        : m_previous(OrvoEnv::instance()->userFolder())
    {
        OrvoEnv::instance()->setUserFolder(m_dir.path());
    }
    ~UserFolderScope()
    {
        if (!m_previous.isEmpty())
            OrvoEnv::instance()->setUserFolder(m_previous);
    }
    UserFolderScope(const UserFolderScope &) = delete;
    UserFolderScope &operator=(const UserFolderScope &) = delete;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

} // namespace OrvoTest
