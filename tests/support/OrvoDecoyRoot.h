#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <functional>

// A root folder of the test's own that a child process sees as "/": every entry of the real
// root is bound into it, next to what the test put there itself (a decoy /data tree), so that
// a path built from an empty device root reaches the decoy and not the computer's files.
class OrvoDecoyRoot
{
public:
    // The child's status when this process may not make a mount namespace: the test skips.
    static constexpr int kUnavailable = 77;

    explicit OrvoDecoyRoot(const QString &folder);

    QString folder() const;
    // The path of the decoy file that the child sees as absolutePath.
    QString hostPath(const QString &absolutePath) const;

    // Runs body in a child process under this root. 0 when body answered true, 1 when it
    // answered false, kUnavailable, or 128 plus the signal that ended the child.
    int run(const std::function<bool()> &body) const;

    // Every file under the root's own entries (not the bound ones), relative path to bytes.
    QMap<QString, QByteArray> ownFiles() const;

private:
    QString m_folder;
};
