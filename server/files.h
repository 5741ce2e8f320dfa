// The server's files folder. Paths that clients send ("nameinserv", with backslashes such as
// "photo\mobile\<name>.jpg") are confined to it: a path is refused when it is empty, absolute,
// names a drive, or has an empty, "." or ".." component. Stateless apart from the folder; any thread.
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

// The last component of a path written with backslashes, slashes or a drive colon.
QString LastPathComponent(const QString& path);
