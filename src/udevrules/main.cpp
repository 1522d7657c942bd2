#include "app/OrvoDeviceTypeTable.h"
#include "app/OrvoUdevRules.h"
#include "env/OrvoSaveFile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdio>
#include <cstdlib>

// Writes the udev rules of the device-type table to the file named by its one argument; the
// build runs it, so that the installed rules always match the table the programs carry.
int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <rules file>\n", argv[0]);
        return EXIT_FAILURE;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    QVector<OrvoDeviceInfo> rows;
    rows.reserve(OrvoDeviceTypeTable::rows().size());
    for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows())
        rows.append(row.info);
    QByteArray rules;
    QString error;
    if (!OrvoUdevRules::compose(rows, rules, error) || !saveFileBytes(path, rules, error)) {
        std::fprintf(stderr, "%s: %s: %s\n", argv[0], argv[1], qPrintable(error));
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
