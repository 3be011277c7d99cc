// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

// lumo-sites' INI file and its one policy: a value that cannot be used gives one line on
// standard error naming the file, its line and the key, and the built-in value is used, so
// the sites keep serving. The lines never show a value: some are secrets.
namespace sites::settings {

// $XDG_DATA_HOME/lumo: the store, the zones, the RDAP directory.
QString defaultDataDir();
// $XDG_CONFIG_HOME/lumo/lumo-sites.conf
QString defaultConfigFile();

struct Value {
    QString text;
    int line = 0;
};

// "section/key" -> value: `[section]`, `key = value`, whole-line `;` and `#` comments, a `;`
// outside double quotes ending the value, quotes around a value taken off. The last of a key
// repeated wins.
QHash<QString, Value> parseIni(const QByteArray& text);

class SettingsFile {
public:
    // A missing file holds nothing; one that cannot be read says so once and holds nothing.
    explicit SettingsFile(const QString& path);
    // The text as if read from `path`, for the fuzzer.
    SettingsFile(const QString& path, const QByteArray& text);

    const QString& path() const { return path_; }

    // The trimmed value; empty when missing or empty (which mean the built-in value).
    QString text(const char* section, const char* key) const;
    // A whole number from `low` to `high`; `unit` names what it counts, for the line.
    int number(const char* section, const char* key, int low, int high, int builtIn,
               const char* unit) const;
    // An http or https address with a host.
    QUrl webAddress(const char* section, const char* key, const QUrl& builtIn) const;
    // An address a password or token may go to: https, plain http only to this machine.
    QUrl secretAddress(const char* section, const char* key, const QUrl& builtIn) const;
    // Comma-separated items, trimmed, lower case, each `valid`; `wants` says what for the line.
    QStringList list(const char* section, const char* key,
                     const std::function<bool(const QString&)>& valid, const QStringList& builtIn,
                     const char* wants) const;

    // The lines said so far by this file's getters, each once.
    const QStringList& warnings() const { return warnings_; }

private:
    QUrl address(const char* section, const char* key, const QUrl& builtIn,
                 bool (*usable)(const QUrl&), const char* wants) const;
    void warn(const char* section, const char* key, const QString& wants,
              const QString& used) const;

    QString path_;
    QHash<QString, Value> values_;
    mutable QStringList warnings_;
};

} // namespace sites::settings
