// A file a client uploads: written into a temporary file of its own beside the target, created
// exclusively and never through a link, and renamed over the target in one step when complete, so
// a reader sees the old file or the new one, never a mixture. Removed when the upload ends any
// other way (the session ends, times out or starts another upload). The ledger it shares with the
// other uploads refuses a second upload to the same path while one is in progress, keeps the bytes
// of uploads in progress within a limit per user and in all, and keeps the files folder within its
// size (the files there and the uploads in progress together).
#pragma once

#include <QFile>
#include <QHash>
#include <QSet>
#include <QString>
#include <memory>

struct UploadLedger {
    int64_t maxBytes = 0;
    int64_t maxBytesPerUser = 0;
    QSet<QString> paths;  // inside the files folder
    int64_t bytes = 0;
    QHash<QString, int64_t> bytesOfUser;
    int64_t maxStoredBytes = 0;
    int64_t storedBytes = 0;  // of the regular files in the folder
};

class UploadFile {
  public:
    // Takes the open folder `dirFd` (closed with it) and the temporary file made in it.
    UploadFile(int dirFd, QByteArray tempName, QByteArray targetName, int fileFd, QString inside,
               QString user, std::shared_ptr<UploadLedger> ledger);
    ~UploadFile();
    UploadFile(const UploadFile&) = delete;
    UploadFile& operator=(const UploadFile&) = delete;

    // Claims the file's size against the limits once the first piece tells it, and sets it.
    bool reserve(int64_t size);
    QFile& file() { return file_; }
    const QString& inside() const { return inside_; }
    // Puts the complete file in the target's place; false when that fails (the file is removed).
    bool finish();

  private:
    int dirFd_;
    QByteArray tempName_;
    QByteArray targetName_;
    QFile file_;
    QString inside_;
    QString user_;
    std::shared_ptr<UploadLedger> ledger_;
    int64_t reserved_ = 0;
    bool done_ = false;
};
