// The plain program around a fuzz target: runs every file named on the command line, and every
// file in every folder named there, through the target once. Used by CTest on the seed corpus
// and the saved regressions, so that the normal build needs no libFuzzer; a crash or a
// sanitizer report ends the run with its input named on the line before.

#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

QStringList inputsOf(const QString &argument)
{
    const QFileInfo info(argument);
    if (info.isFile())
        return {info.filePath()};
    if (!info.isDir())
        return {};
    QStringList inputs;
    const QFileInfoList entries = QDir(argument).entryInfoList(QDir::Files, QDir::Name);
    inputs.reserve(entries.size());
    for (const QFileInfo &entry : entries)
        inputs.append(entry.filePath());
    return inputs;
}

} // namespace

int main(int argc, char **argv)
{
    int run = 0;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (!QFileInfo::exists(argument))
            std::printf("%s: not there, skipped\n", argv[i]);
        for (const QString &path : inputsOf(argument)) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "%s: cannot be read\n", qPrintable(path));
                return 1;
            }
            const QByteArray input = file.readAll();
            std::printf("%s\n", qPrintable(path));
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
            ++run;
        }
    }
    std::printf("%d inputs run\n", run);
    // A run over nothing proves nothing: the corpus is made at build time and is never empty.
    return run > 0 ? 0 : 1;
}
