// The server's files folder. Paths that clients send ("nameinserv", with backslashes such as
// "photo\mobile\<name>.jpg") are confined to it (ConfinedPath, infra/file_names.h). Stateless apart
// from the folder; any thread.
#pragma once

#include <QString>

class FilesFolder {
  public:
    explicit FilesFolder(QString root);

    // The local path of a client's server path inside the folder, or empty when it is refused.
    QString resolve(const QString& serverPath) const;
    // Creates the folders a resolved path needs; false when that fails.
    static bool makeParents(const QString& localPath);

  private:
    QString root_;
};
