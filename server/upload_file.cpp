#include "upload_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

UploadFile::UploadFile(int dirFd, QByteArray tempName, QByteArray targetName, int fileFd, QString inside,
                       QString user, std::shared_ptr<UploadLedger> ledger)
    : dirFd_(dirFd),
      tempName_(std::move(tempName)),
      targetName_(std::move(targetName)),
      inside_(std::move(inside)),
      user_(std::move(user)),
      ledger_(std::move(ledger)) {
    if (!file_.open(fileFd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
        ::close(fileFd);
    }
    ledger_->paths.insert(inside_);
}

UploadFile::~UploadFile() {
    file_.close();
    if (!done_) {
        ::unlinkat(dirFd_, tempName_.constData(), 0);
    }
    ::close(dirFd_);
    ledger_->paths.remove(inside_);
    ledger_->bytes -= reserved_;
    ledger_->bytesOfUser[user_] -= reserved_;
    if (ledger_->bytesOfUser.value(user_) <= 0) {
        ledger_->bytesOfUser.remove(user_);
    }
}

bool UploadFile::reserve(int64_t size) {
    const int64_t ofUser = ledger_->bytesOfUser.value(user_);
    if (!file_.isOpen() || size > ledger_->maxBytes - ledger_->bytes ||
        size > ledger_->maxBytesPerUser - ofUser ||
        size > ledger_->maxStoredBytes - ledger_->storedBytes - ledger_->bytes) {
        return false;
    }
    ledger_->bytes += size;
    ledger_->bytesOfUser[user_] = ofUser + size;
    reserved_ += size;
    return file_.resize(size);
}

bool UploadFile::finish() {
    if (!file_.flush()) {
        return false;
    }
    const int64_t size = file_.size();
    file_.close();
    struct stat old {};
    const bool replaces =
        ::fstatat(dirFd_, targetName_.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
    done_ = ::renameat(dirFd_, tempName_.constData(), dirFd_, targetName_.constData()) == 0;
    if (done_) {
        ledger_->storedBytes += size - (replaces ? int64_t(old.st_size) : 0);
    }
    return done_;
}
