#include "password_digest.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>

namespace {

constexpr int kIterations = 20000;
constexpr int kMostIterations = 1000000;
constexpr int kSaltBytes = 16;
constexpr int kKeyBytes = 32;

QByteArray derive(const QString& password, const QByteArray& salt, int iterations) {
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              kKeyBytes);
}

QByteArray randomBytes(int n) {
    QByteArray bytes(n, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), n / 4);
    return bytes;
}

}  // namespace

PasswordDigest MakePasswordDigest(const QString& password) {
    PasswordDigest d;
    d.salt = randomBytes(kSaltBytes);
    d.iterations = kIterations;
    d.hash = derive(password, d.salt, d.iterations);
    return d;
}

bool PasswordMatches(const QString& password, const PasswordDigest& digest) {
    const bool usable =
        digest.iterations > 0 && digest.iterations <= kMostIterations && !digest.hash.isEmpty();
    const QByteArray given = derive(password, digest.salt, usable ? digest.iterations : kIterations);
    unsigned diff = unsigned(given.size() ^ digest.hash.size());
    for (qsizetype i = 0; i < std::min(given.size(), digest.hash.size()); ++i) {
        diff |= unsigned(uint8_t(given[i]) ^ uint8_t(digest.hash[i]));
    }
    return usable && diff == 0;
}

const PasswordDigest& UnknownUserDigest() {
    // Random bytes are no derivation of any password (but with a chance of one in 2^256).
    static const PasswordDigest unknown{randomBytes(kSaltBytes), randomBytes(kKeyBytes), kIterations};
    return unknown;
}

QByteArray QuickPasswordDigest(const QString& password, const QByteArray& salt) {
    return QCryptographicHash::hash(salt + password.toUtf8(), QCryptographicHash::Sha256);
}
