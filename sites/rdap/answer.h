// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// What a registry's RDAP server says about one domain, cut out of its JSON answer. Pure: bytes
// in, values out, for the lookup service, the tests and the fuzzer.
namespace sites::rdap {

struct DomainAnswer {
    std::optional<QDateTime> registered; // UTC
    std::optional<QDateTime> expires;
    std::optional<QDateTime> lastChanged;
    QStringList status; // lower case, as the registry words them: "active", "pending delete" ...
};

struct ParsedAnswer {
    std::optional<DomainAnswer> answer;
    QString error; // one line for people when there is no answer
};

// A domain object: a JSON object of class "domain" whose status is a list of texts. Anything
// else is refused with a reason, the status deciding what a lookup shows. The events are read one
// by one: a date that does not read (or two that disagree) leaves its field blank, no more.
ParsedAnswer parseDomainAnswer(const QByteArray& json);

// The day the registry is expected to delete the name, counted from its last change: 35 days
// in the redemption period (30 of redemption, 5 of pending delete), 5 in pending delete alone.
// None for a name in neither state or without a last-changed date. Never counted from the
// expiry: at expiry registries renew for a year and move that date on.
std::optional<QDate> estimatedDeletion(const DomainAnswer& answer);

} // namespace sites::rdap
