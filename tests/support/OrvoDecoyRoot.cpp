#include "OrvoDecoyRoot.h"

#include "OrvoTestSupport.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <string>

namespace {

bool writeProcFile(const char *path, const std::string &text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return written;
}

// A mount namespace of the child's own; without the right to make one as it is, a user
// namespace that maps the child's ids onto root gives it.
bool enterMountNamespace()
{
    if (::unshare(CLONE_NEWNS) == 0)
        return true;
    const std::string uid = std::to_string(::getuid());
    const std::string gid = std::to_string(::getgid());
    return ::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 && writeProcFile("/proc/self/setgroups", "deny") &&
           writeProcFile("/proc/self/uid_map", "0 " + uid + " 1") &&
           writeProcFile("/proc/self/gid_map", "0 " + gid + " 1");
}

// Binds (or links again) one entry of the real root into the new one.
bool bindEntry(const std::string &name, const std::string &root)
{
    const std::string source = "/" + name;
    const std::string target = root + "/" + name;
    struct stat info = {};
    if (::lstat(source.c_str(), &info) != 0)
        return false;
    if (S_ISLNK(info.st_mode)) {
        char link[PATH_MAX] = {};
        const ssize_t length = ::readlink(source.c_str(), link, sizeof link - 1);
        return length > 0 && ::symlink(link, target.c_str()) == 0;
    }
    if (S_ISDIR(info.st_mode)) {
        if (::mkdir(target.c_str(), 0755) != 0)
            return false;
    } else {
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        ::close(fd);
    }
    return ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0;
}

bool bindRealRoot(const std::string &root)
{
    DIR *dir = ::opendir("/");
    if (!dir)
        return false;
    bool bound = true;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat own = {};
        if (name == "." || name == ".." || ::lstat((root + "/" + name).c_str(), &own) == 0)
            continue;
        bound = bound && bindEntry(name, root);
    }
    ::closedir(dir);
    return bound;
}

[[noreturn]] void runChild(const std::string &root, const std::function<bool()> &body)
{
    if (!enterMountNamespace() || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        ::_exit(OrvoDecoyRoot::kUnavailable);
    // Only the root's own entries are known before the binding starts.
    if (!bindRealRoot(root) || ::chroot(root.c_str()) != 0 || ::chdir("/") != 0)
        ::_exit(OrvoDecoyRoot::kUnavailable);
    ::_exit(body() ? 0 : 1);
}

// The entries the child made to bind the real root's onto; its mounts went with it, so each is
// an empty folder, an empty file or a link, and nothing is removed through it.
void removePlaceholders(const std::string &root, const QStringList &own)
{
    DIR *dir = ::opendir(root.c_str());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || own.contains(QFile::decodeName(name.c_str())))
            continue;
        const std::string path = root + "/" + name;
        if (::rmdir(path.c_str()) != 0)
            ::unlink(path.c_str());
    }
    ::closedir(dir);
}

} // namespace

OrvoDecoyRoot::OrvoDecoyRoot(const QString &folder)
    : m_folder(QDir(folder).absolutePath())
{
    QDir().mkpath(m_folder);
}

QString OrvoDecoyRoot::folder() const
{
    return m_folder;
}

QString OrvoDecoyRoot::hostPath(const QString &absolutePath) const
{
    return m_folder + absolutePath;
}

int OrvoDecoyRoot::run(const std::function<bool()> &body) const
{
    const std::string root = QFile::encodeName(m_folder).toStdString();
    const QStringList own =
        QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const pid_t child = ::fork();
    if (child < 0)
        return kUnavailable;
    if (child == 0)
        runChild(root, body);
    int status = 0;
    const bool waited = ::waitpid(child, &status, 0) == child;
    removePlaceholders(root, own);
    if (!waited)
        return kUnavailable;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

QMap<QString, QByteArray> OrvoDecoyRoot::ownFiles() const
{
    return OrvoTest::filesUnder(m_folder);
}
