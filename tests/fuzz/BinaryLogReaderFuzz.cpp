// A binary log read to its end as GPS records and again as training records.

#include "FuzzSupport.h"

#include "util/ZKBinaryLogReader.h"
#include "util/ZKGpsLogRecord.h"
#include "util/ZKTrainLogRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    const QString path = FuzzSupport::writeInput(QStringLiteral("input.log"), FuzzSupport::bytes(data, size));
    if (path.isEmpty())
        return 0;
    ZKBinaryLogReader reader;
    // Every record read consumes bytes of the file, so the input's size bounds both loops.
    if (reader.open(path)) {
        ZKGpsLogRecord record;
        for (size_t read = 0; reader.readGpsRecord(record); ++read) {
            if (read > size)
                FuzzSupport::fail("more GPS records than bytes");
        }
    }
    if (reader.open(path)) {
        ZKTrainLogRecord record;
        for (size_t read = 0; reader.readTrainRecord(record); ++read) {
            if (read > size)
                FuzzSupport::fail("more training records than bytes");
        }
    }
    return 0;
}
