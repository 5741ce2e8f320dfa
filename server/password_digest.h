// The users' password digests: PBKDF2-SHA256 with a random 16-byte salt per user (Qt's
// QPasswordDigestor), never the password itself. Deriving one takes tens of milliseconds on purpose,
// which is why the server checks passwords on a thread of its own (password_checks.h).
// Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QString>

struct PasswordDigest {
    QByteArray salt;
    QByteArray hash;
    int iterations = 0;
};

// A new digest of the password, with a fresh salt.
PasswordDigest MakePasswordDigest(const QString& password);
// Whether the password gives the digest. The comparison takes the same time however much matched,
// and a digest whose iteration count is out of all reason (a damaged database) matches nothing.
bool PasswordMatches(const QString& password, const PasswordDigest& digest);
// A digest no password matches that costs a check what a user's digest costs: it stands in for a
// name that is no user, so that a refusal takes as long whether the name exists or not.
const PasswordDigest& UnknownUserDigest();

// A quick salted digest of a password already verified the slow way, for checking it again cheaply.
QByteArray QuickPasswordDigest(const QString& password, const QByteArray& salt);
