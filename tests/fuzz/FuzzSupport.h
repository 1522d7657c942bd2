#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// The entry point of every fuzz target: libFuzzer calls it, and so does the replay driver that
// runs the seed corpus and the saved regressions under the normal test build.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// What the fuzz targets share: a quiet log and a scratch folder of the process.
namespace FuzzSupport {

// Silences the log. Corrupt input makes every parser complain, and formatting thousands of
// warnings a second would slow the fuzzer to a crawl. Answers true, so that a target can run
// it once from a function-local static.
bool prepare();

QByteArray bytes(const uint8_t *data, size_t size);

// A folder of this process, removed when it ends.
QString scratchFolder();

// An empty folder of that name in the scratch folder: what an earlier input left is removed.
QString freshFolder(const QString &name);

// Writes bytes to the file of that name in the scratch folder; answers its path, or an empty
// text when the write failed.
QString writeInput(const QString &name, const QByteArray &bytes);

// Ends the process with a message: the input broke a promise of the code under test.
[[noreturn]] void fail(const char *what);

} // namespace FuzzSupport
