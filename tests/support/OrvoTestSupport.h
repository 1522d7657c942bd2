#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

#include <ostream>

// Readable failure messages for Qt's text types.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << "bytes(" << bytes.size() << ") " << bytes.left(64).toHex(' ').toStdString();
}

// Helpers every suite may use: where the test sources are, where output may be kept for a
// person to look at, and small file helpers that do not go through production code.
namespace OrvoTest {

// The tests/ folder of the source tree, from ORVO_TEST_SOURCE_DIR; empty when it is not set.
QString sourceDir();

// A file under tests/data; without the source folder the test fails and the path is empty.
QString dataPath(const QString &relative);

// A folder that tests may write into; kept after the run when ORVO_KEEP_TEST_OUTPUT=1.
class OutputDir
{
public:
    OutputDir();
    QString path() const;
    QString filePath(const QString &name) const;

private:
    QTemporaryDir m_dir;
};

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);

// Every file under the folder, hidden ones too, by its path below the folder (with a leading
// "/"), to its bytes: a picture of a device's tree to compare before and after an action.
QMap<QString, QByteArray> filesUnder(const QString &folder);

} // namespace OrvoTest
