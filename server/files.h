// The server's files folder. Paths that clients send ("nameinserv", with backslashes such as
// "photo\mobile\<name>.jpg") are confined to it (ConfinedPath, infra/file_names.h), and every file
// is reached from the folder one name at a time without following a symbolic link (openat with
// O_NOFOLLOW): a link placed inside the folder leads nowhere, for reading and for writing alike.
// Cheap to copy; the copies share the record of uploads in progress. Protocol thread only.
#pragma once

#include <QFile>
#include <QString>
#include <memory>

#include "limits.h"
#include "upload_file.h"

class FilesFolder {
  public:
    // Adds up the sizes of the files in the folder, for its limit.
    FilesFolder(QString root, const ServerLimits& limits);

    // The client's server path inside the folder ("photo/mobile/x.jpg"), or empty when it is
    // refused: outside the folder, or with a name longer than the file system takes.
    static QString confine(const QString& serverPath);
    // An existing regular file of the folder, open for reading; null when there is none (a link,
    // a folder, a device or a pipe is none).
    std::unique_ptr<QFile> openForReading(const QString& inside) const;
    // An upload into a temporary file of its own beside the target, created exclusively; null when
    // the folders cannot be made or another upload to the same path is in progress.
    std::unique_ptr<UploadFile> startUpload(const QString& inside, const QString& user) const;

  private:
    // The folder that holds the last name of `inside`, open, reached without following a link
    // (made on the way when `create`); -1 when that fails.
    int openParent(const QString& inside, bool create) const;

    QString root_;
    std::shared_ptr<UploadLedger> ledger_;
};
