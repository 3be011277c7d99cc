// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/bootstrap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace sites::rdap {
namespace {

std::optional<Bootstrap> refused(QString* error, const QString& why) {
    if (error)
        *error = why;
    return std::nullopt;
}

// The first https URL, else the first http one; base URLs are meant to end in "/", and a
// missing one would drop the last path segment when "domain/..." is resolved against it.
QUrl preferredUrl(const QJsonArray& urls) {
    QUrl plain;
    for (const QJsonValue& value : urls) {
        QUrl url(value.toString(), QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty() || !url.query().isEmpty())
            continue;
        if (!url.path().endsWith(u'/'))
            url.setPath(url.path() + u'/');
        if (url.scheme() == u"https")
            return url;
        if (url.scheme() == u"http" && plain.isEmpty())
            plain = url;
    }
    return plain;
}

} // namespace

std::optional<Bootstrap> Bootstrap::parse(const QByteArray& json, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refused(error, QStringLiteral("not JSON: %1").arg(parseError.errorString()));
    const QJsonValue services = document.object().value(u"services");
    if (!document.isObject() || !services.isArray())
        return refused(error, QStringLiteral("no list of services"));
    Bootstrap bootstrap;
    for (const QJsonValue& service : services.toArray()) {
        const QJsonArray pair = service.toArray();
        if (!service.isArray() || pair.size() != 2 || !pair.at(0).isArray() ||
            !pair.at(1).isArray())
            return refused(error, QStringLiteral("a service is not a pair of lists"));
        const QUrl url = preferredUrl(pair.at(1).toArray());
        for (const QJsonValue& suffix : pair.at(0).toArray()) {
            const QString key = suffix.toString().trimmed().toLower();
            if (!suffix.isString())
                return refused(error, QStringLiteral("a suffix is not text"));
            if (!key.isEmpty() && !url.isEmpty() && !bootstrap.servers_.contains(key))
                bootstrap.servers_.insert(key, url);
        }
    }
    if (bootstrap.servers_.isEmpty())
        return refused(error, QStringLiteral("no usable service"));
    return bootstrap;
}

QUrl Bootstrap::serverFor(const QString& aceName) const {
    QString rest = aceName.toLower();
    while (rest.endsWith(u'.'))
        rest.chop(1);
    // From the whole name down to its last label: the first hit is the longest match.
    while (!rest.isEmpty()) {
        if (const auto found = servers_.constFind(rest); found != servers_.constEnd())
            return *found;
        const qsizetype dot = rest.indexOf(u'.');
        if (dot < 0)
            break;
        rest = rest.mid(dot + 1);
    }
    return {};
}

} // namespace sites::rdap
