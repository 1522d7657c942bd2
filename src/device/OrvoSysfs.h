#pragma once

#include <QString>
#include <QStringList>

// Questions about block and SCSI devices answered from a sysfs tree. The root is a parameter
// so that a test can answer them from a tree of its own.
class OrvoSysfs
{
public:
    explicit OrvoSysfs(const QString &root);

    // Folder of the whole disk that holds the block device "major:minor"; empty when unknown.
    QString diskOf(const QString &majorMinor) const;
    bool isRemovable(const QString &diskFolder) const;
    QString vendor(const QString &diskFolder) const;
    QString model(const QString &diskFolder) const;
    // Name of the SCSI generic node of a disk ("sg1"); empty when it has none.
    QString genericNodeOfDisk(const QString &diskFolder) const;
    // Every SCSI generic node ("sg0", "sg1", ... in number order).
    QStringList genericNodes() const;
    // True when the node's device hangs off a USB interface served by usb-storage or uas.
    bool isUsbStorage(const QString &genericNode) const;

private:
    QString attribute(const QString &folder, const QString &name) const;
    // The folder with symbolic links resolved, or empty when it leaves the tree.
    QString resolve(const QString &path) const;

    QString m_root;
};
