// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <cmath>
#include <optional>

// The checks every reader of the services' JSON makes of its fields.
namespace listing::json {

inline std::optional<QJsonDocument> document(QByteArrayView json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return doc;
}

// A count or a number of names: whole, not negative, and exact in a double.
inline std::optional<qint64> wholeNumber(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double n = value.toDouble();
    if (!(n >= 0 && n <= 9007199254740992.0) || std::floor(n) != n)
        return std::nullopt;
    return qint64(n);
}

inline bool isDay(const QString& text) {
    return text.size() == 10 && QDate::fromString(text, Qt::ISODate).isValid();
}

// A list of texts (none when left out or null); nothing when it is there and not one.
inline std::optional<QStringList> texts(const QJsonValue& value) {
    QStringList out;
    if (value.isUndefined() || value.isNull())
        return out;
    if (!value.isArray())
        return std::nullopt;
    for (const QJsonValue& entry : value.toArray()) {
        if (!entry.isString())
            return std::nullopt;
        out.append(entry.toString());
    }
    return out;
}

} // namespace listing::json
