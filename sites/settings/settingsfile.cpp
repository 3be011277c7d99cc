// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settingsfile.h"

#include "net/httpclient.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QStandardPaths>
#include <cstdio>

namespace sites::settings {

namespace {

// Each file is read by every mode that needs a part of it: a line is said once a run.
void sayOnce(const QString& line) {
    static QMutex mutex;
    static QSet<QString> said;
    const QMutexLocker lock(&mutex);
    if (said.contains(line))
        return;
    said.insert(line);
    std::fprintf(stderr, "lumo-sites: %s\n", qPrintable(line));
    std::fflush(stderr);
}

QString keyOf(const char* section, const char* key) {
    return QLatin1String(section) + u'/' + QLatin1String(key);
}

// The value part of `key = value`: up to a `;` outside quotes, without the quotes.
QString valueOf(QStringView rest) {
    bool quoted = false;
    qsizetype end = 0;
    for (; end < rest.size(); ++end) {
        if (rest[end] == u'"')
            quoted = !quoted;
        else if (rest[end] == u';' && !quoted)
            break;
    }
    QStringView value = rest.first(end).trimmed();
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.sliced(1, value.size() - 2);
    return value.toString();
}

} // namespace

QString defaultDataDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/lumo");
}

QString defaultConfigFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/lumo/lumo-sites.conf");
}

QHash<QString, Value> parseIni(const QByteArray& text) {
    QHash<QString, Value> values;
    QString section;
    const QString whole = QString::fromUtf8(text);
    int number = 0;
    for (QStringView line : QStringView(whole).split(u'\n')) {
        ++number;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            section = line.sliced(1, (close < 0 ? line.size() : close) - 1).trimmed().toString();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString key = line.first(equals).trimmed().toString();
        values.insert(section + u'/' + key, {valueOf(line.sliced(equals + 1)), number});
    }
    return values;
}

SettingsFile::SettingsFile(const QString& path) : path_(path) {
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !QFileInfo(path).isFile()) {
        warnings_ << QStringLiteral("cannot read %1; using the built-in settings").arg(path);
        sayOnce(warnings_.last());
        return;
    }
    values_ = parseIni(file.read(1 << 20));
}

SettingsFile::SettingsFile(const QString& path, const QByteArray& text)
    : path_(path), values_(parseIni(text)) {}

QString SettingsFile::text(const char* section, const char* key) const {
    return values_.value(keyOf(section, key)).text;
}

void SettingsFile::warn(const char* section, const char* key, const QString& wants,
                        const QString& used) const {
    const QString line = QStringLiteral("%1:%2: [%3] %4 wants %5; using %6")
                             .arg(path_, QString::number(values_.value(keyOf(section, key)).line),
                                  QLatin1String(section), QLatin1String(key), wants, used);
    if (!warnings_.contains(line))
        warnings_ << line;
    sayOnce(line);
}

int SettingsFile::number(const char* section, const char* key, int low, int high, int builtIn,
                         const char* unit) const {
    const QString value = text(section, key);
    if (value.isEmpty())
        return builtIn;
    bool ok = false;
    const int n = value.toInt(&ok);
    if (ok && n >= low && n <= high)
        return n;
    warn(section, key,
         QStringLiteral("%1 from %2 to %3").arg(QLatin1String(unit)).arg(low).arg(high),
         QString::number(builtIn));
    return builtIn;
}

QUrl SettingsFile::address(const char* section, const char* key, const QUrl& builtIn,
                           bool (*usable)(const QUrl&), const char* wants) const {
    const QString value = text(section, key);
    if (value.isEmpty())
        return builtIn;
    const QUrl url(value);
    if (url.isValid() && usable(url))
        return url;
    warn(section, key, QLatin1String(wants), builtIn.toString());
    return builtIn;
}

QUrl SettingsFile::webAddress(const char* section, const char* key, const QUrl& builtIn) const {
    return address(
        section, key, builtIn,
        [](const QUrl& url) {
            return !url.host().isEmpty() && (url.scheme() == u"https" || url.scheme() == u"http");
        },
        "an http or https address");
}

QUrl SettingsFile::secretAddress(const char* section, const char* key, const QUrl& builtIn) const {
    return address(section, key, builtIn, sites::net::keepsSecrets,
                   "an https address (plain http only to this machine)");
}

QStringList SettingsFile::list(const char* section, const char* key,
                               const std::function<bool(const QString&)>& valid,
                               const QStringList& builtIn, const char* wants) const {
    const QString value = text(section, key);
    if (value.isEmpty())
        return builtIn;
    QStringList items;
    for (const QString& item : value.split(u',')) {
        const QString t = item.trimmed().toLower();
        if (t.isEmpty())
            continue;
        if (!valid(t)) {
            warn(section, key, QLatin1String(wants), builtIn.join(u','));
            return builtIn;
        }
        items << t;
    }
    return items.isEmpty() ? builtIn : items;
}

} // namespace sites::settings
