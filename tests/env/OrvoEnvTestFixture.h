#pragma once

#include "env/OrvoEnv.h"
#include "env/OrvoEnvInterface.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// Platform answers pointing into temporary folders, so each test has its own resources and data.
class FakeEnvPlatform : public OrvoEnvInterface
{
public:
    FakeEnvPlatform(QString resourceDir, QString dataDir)
        : m_resourceDir(std::move(resourceDir))
        , m_dataDir(std::move(dataDir))
    {}
    QString resourceDir() const override { return m_resourceDir; }
    QString dataDir() const override { return m_dataDir; }
    QString separator() const override { return QStringLiteral("/"); }

private:
    QString m_resourceDir;
    QString m_dataDir;
};

class OrvoEnvTest : public ::testing::Test
{
protected:
    QString resourceDir() const { return m_root.filePath(QStringLiteral("Resources")); }
    QString dataDir() const { return m_root.filePath(QStringLiteral("TarvexOrvo")); }

    // A fresh environment of the role; settings written before init go into the data folder.
    std::unique_ptr<OrvoEnv> makeEnv(const QString &role, const QString &logName = QString())
    {
        auto env = std::make_unique<OrvoEnv>();
        env->init(role, logName, std::make_unique<FakeEnvPlatform>(resourceDir(), dataDir()));
        return env;
    }

    QTemporaryDir m_root;
};
