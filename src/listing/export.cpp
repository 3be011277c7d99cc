// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/export.h"

#include <QSaveFile>

namespace listing {

QString namesAsText(const QStringList& names) {
    QString out;
    for (const QString& name : names)
        out += name + u'\n';
    return out;
}

QString csvField(QStringView field) {
    const bool quote = field.contains(u',') || field.contains(u'"') || field.contains(u'\r') ||
                       field.contains(u'\n');
    if (!quote)
        return field.toString();
    return u'"' + field.toString().replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString csvRow(const QStringList& fields) {
    QString out;
    for (qsizetype i = 0; i < fields.size(); ++i)
        out += (i ? QStringLiteral(",") : QString()) + csvField(fields.at(i));
    return out + QStringLiteral("\r\n");
}

QString listCsvHeader() {
    return csvRow({QStringLiteral("name"), QStringLiteral("length"), QStringLiteral("suffix"),
                   QStringLiteral("day")});
}

QString listCsvRows(const QStringList& names, int length, const QString& suffix,
                    const QString& day) {
    QString out;
    for (const QString& name : names)
        out += csvRow({name, QString::number(length), suffix, day});
    return out;
}

QString listFileStem(const QString& day, const QString& suffix, int length) {
    QString stem = day + u'_' + (suffix.startsWith(u'.') ? suffix.mid(1) : suffix) + u'_' +
                   QString::number(length);
    for (QChar& c : stem)
        if (c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' ||
            c == u'<' || c == u'>' || c == u'|' || c.unicode() < 0x20)
            c = u'_';
    return stem;
}

std::optional<QString> saveWhole(const QString& path, const QByteArray& bytes) {
    // The names go to a file beside it, which replaces it only when every byte is down. The
    // flush comes first because Qt 6.4's commit renames a file whose buffered bytes could not
    // be written (a full disk) and still says it succeeded.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
        file.commit())
        return std::nullopt;
    const QString reason = file.errorString();
    file.cancelWriting();
    return reason;
}

} // namespace listing
