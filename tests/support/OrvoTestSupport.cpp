#include "OrvoTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace OrvoTest {

QString sourceDir()
{
    return qEnvironmentVariable("ORVO_TEST_SOURCE_DIR");
}

QString dataPath(const QString &relative)
{
    // Without the folder the path would start at the file-system root, where a golden check
    // would then write its files.
    const QString source = sourceDir();
    if (source.isEmpty()) {
        ADD_FAILURE() << "ORVO_TEST_SOURCE_DIR is not set: run the test through ctest, or set it to the tests/ folder";
        return {};
    }
    return source + QStringLiteral("/data/") + relative;
}

OutputDir::OutputDir()
{
    m_dir.setAutoRemove(qEnvironmentVariable("ORVO_KEEP_TEST_OUTPUT") != QLatin1String("1"));
}

QString OutputDir::path() const
{
    return m_dir.path();
}

QString OutputDir::filePath(const QString &name) const
{
    return m_dir.filePath(name);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QMap<QString, QByteArray> filesUnder(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path.mid(folder.size()), readFile(path));
    }
    return files;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace OrvoTest
