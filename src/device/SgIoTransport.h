#pragma once

#include "device/ScsiTransport.h"

#include <QString>

#include <memory>

// Commands to a SCSI generic node (/dev/sgN) through the SG_IO request.
class SgIoTransport : public ScsiTransport
{
public:
    // The opened node, or null (with a log line) when it cannot be opened.
    static std::unique_ptr<SgIoTransport> openNode(const QString &nodePath);

    ~SgIoTransport() override;

    Answer execute(const Request &request) override;
    QString targetName() const override;

private:
    SgIoTransport(QString nodePath, int fd);

    QString m_nodePath;
    int m_fd = -1;
};
