// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch/token.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sites::watch {
namespace {

QByteArray read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray token = file.read(100).trimmed();
    return token.size() == 64 ? token : QByteArray();
}

} // namespace

QByteArray watchToken(const QString& dir, QString* error) {
    const QString path = QDir(dir).filePath(QStringLiteral("watch-token"));
    if (QByteArray token = read(path); !token.isEmpty()) {
        ::chmod(QFile::encodeName(path).constData(), 0600);
        return token;
    }
    QDir().mkpath(dir);
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    const QByteArray token =
        QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
    // Written whole beside it, then linked into place: another process never reads half a token,
    // and of two starting at once one token wins.
    const QByteArray part = QFile::encodeName(path + QStringLiteral(".%1").arg(::getpid()));
    const int fd = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QStringLiteral("cannot make %1").arg(path);
        return {};
    }
    const QByteArray line = token + '\n';
    const bool written = ::write(fd, line.constData(), size_t(line.size())) == line.size();
    ::close(fd);
    const bool linked = written && ::link(part.constData(), QFile::encodeName(path).constData()) == 0;
    ::unlink(part.constData());
    if (linked)
        return token;
    if (QByteArray other = read(path); !other.isEmpty())
        return other;
    *error = QStringLiteral("cannot make %1").arg(path);
    return {};
}

} // namespace sites::watch
