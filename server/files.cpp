#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QStringList>

#include "infra/file_names.h"

namespace {

// The longest name one folder entry may have, in bytes.
constexpr qsizetype kMaxNameBytes = 255;
constexpr int kTempNameTries = 8;

QByteArray nativeName(const QString& name) {
    return QFile::encodeName(name);
}

}  // namespace

FilesFolder::FilesFolder(QString root, const ServerLimits& limits)
    : root_(QDir(root).absolutePath()), ledger_(std::make_shared<UploadLedger>()) {
    ledger_->maxBytes = limits.maxUploadBytes;
    ledger_->maxBytesPerUser = limits.maxUploadBytesPerUser;
    ledger_->maxStoredBytes = limits.maxFilesBytes;
    QDirIterator it(root_, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        ledger_->storedBytes += it.nextFileInfo().size();
    }
}

QString FilesFolder::confine(const QString& serverPath) {
    const QString inside = ConfinedPath(serverPath);
    for (const QString& name : inside.split(u'/', Qt::SkipEmptyParts)) {
        if (nativeName(name).size() > kMaxNameBytes) {
            return {};
        }
    }
    return inside;
}

int FilesFolder::openParent(const QString& inside, bool create) const {
    if (create && !QDir().mkpath(root_)) {
        return -1;
    }
    int dir = ::open(nativeName(root_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const QStringList names = inside.split(u'/');
    for (qsizetype i = 0; dir >= 0 && i + 1 < names.size(); ++i) {
        const QByteArray name = nativeName(names[i]);
        if (create) {
            ::mkdirat(dir, name.constData(), 0755);
        }
        const int next = ::openat(dir, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(dir);
        dir = next;
    }
    return dir;
}

std::unique_ptr<QFile> FilesFolder::openForReading(const QString& inside) const {
    if (inside.isEmpty()) {
        return nullptr;
    }
    const int dir = openParent(inside, false);
    if (dir < 0) {
        return nullptr;
    }
    // Non-blocking, so that a pipe placed here cannot hold the server up; it is refused below.
    const int fd = ::openat(dir, nativeName(inside.section(u'/', -1)).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    ::close(dir);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return file;
}

std::unique_ptr<UploadFile> FilesFolder::startUpload(const QString& inside, const QString& user) const {
    if (inside.isEmpty() || ledger_->paths.contains(inside)) {
        return nullptr;
    }
    const int dir = openParent(inside, true);
    if (dir < 0) {
        return nullptr;
    }
    for (int i = 0; i < kTempNameTries; ++i) {
        const QByteArray temp =
            ".upload-" + QByteArray::number(QRandomGenerator::system()->generate64(), 16) + ".part";
        const int fd =
            ::openat(dir, temp.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            return std::make_unique<UploadFile>(dir, temp, nativeName(inside.section(u'/', -1)), fd, inside,
                                                user, ledger_);
        }
        if (errno != EEXIST) {
            break;
        }
    }
    ::close(dir);
    return nullptr;
}
