// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks 13, 14 and 17: a store of a million names for wrk, the import of one big list, and
// a zone's estimates replaced beside a serving lumo-sites.
//   bench_store fill DIR TODAY         20 days x 50,000 .cn and .com.cn names, up to TODAY + 2
//   bench_store list N LIST CSV        a CNNIC-style list of N names, and its rows as CSV
//   bench_store import LIST DIR TODAY  parse and store LIST; prints "import_ms X"
//   bench_store zone DIR TODAY N       N estimated .com names over TODAY to TODAY + 2, replacing
//                                      the zone's; prints "zone_ms X"
#include "sources/droplists.h"
#include "store/store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

namespace {

// A name of `length` letters and digits from number `i`, the same every run.
QString label(quint64 i, int length) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString out(length, u'a');
    quint64 x = i * 0x9E3779B97F4A7C15ull + quint64(length);
    for (int k = 0; k < length; ++k) {
        x ^= x >> 29;
        x *= 0xBF58476D1CE4E5B9ull;
        out[k] = QLatin1Char(alphabet[(x >> 33) % 36]);
    }
    out[0] = QLatin1Char(alphabet[i % 26]);
    return out;
}

// Names of lengths 3 to 7 under .cn and .com.cn; index i is unique within a day.
sites::ListedName name(quint64 i, QDate day) {
    const int length = 3 + int(i % 5);
    const QString suffix = (i / 5) % 2 ? QStringLiteral(".com.cn") : QStringLiteral(".cn");
    // Two digits at the end spread the names; they count in the label.
    const QString text = label(i, length - 2) + QString::number(i % 100).rightJustified(2, u'0');
    return {text + suffix, suffix, length, day};
}

int fail(const QString& message) {
    std::fprintf(stderr, "bench_store: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    QString error;
    if (mode == u"fill" && args.size() == 3) {
        const auto store = sites::store::Store::open(args[1], &error);
        if (!store)
            return fail(error);
        const QDate last = QDate::fromString(args[2], Qt::ISODate).addDays(2);
        for (int d = 0; d < 20; ++d) {
            const QDate day = last.addDays(-d);
            QList<sites::ListedName> rows;
            QSet<QString> seen;
            for (quint64 i = 0; rows.size() < 50'000; ++i) {
                sites::ListedName row = name(i + quint64(d) * 1'000'003, day);
                if (!seen.contains(row.name)) {
                    seen.insert(row.name);
                    rows.append(row);
                }
            }
            if (!store->replaceDays(QStringLiteral("cnnic"), rows, QDate(2000, 1, 1),
                                    QDateTime::currentDateTimeUtc(), &error))
                return fail(error);
        }
        std::printf("stored %lld names\n", store->totalNames());
        return 0;
    }
    if (mode == u"list" && args.size() == 4) {
        QFile list(args[2]), csv(args[3]);
        if (!list.open(QIODevice::WriteOnly) || !csv.open(QIODevice::WriteOnly))
            return fail(QStringLiteral("cannot write %1 or %2").arg(args[2], args[3]));
        const qint64 count = args[1].toLongLong();
        const QDate day(2026, 12, 7);
        const QString seen = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
        QSet<QString> names;
        for (quint64 i = 0; names.size() < count; ++i) {
            const sites::ListedName row = name(i, day);
            if (names.contains(row.name))
                continue;
            names.insert(row.name);
            list.write(row.name.toUtf8() + "\r\n");
            csv.write(QStringLiteral("%1,%2,%3,%4,cnnic,%5,%5,0,\n") // no release time
                          .arg(row.name, row.suffix)
                          .arg(row.length)
                          .arg(day.toString(Qt::ISODate), seen)
                          .toUtf8());
        }
        return 0;
    }
    if (mode == u"import" && args.size() == 4) {
        QFile list(args[1]);
        if (!list.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1").arg(args[1]));
        const QByteArray bytes = list.readAll();
        const QDate today = QDate::fromString(args[3], Qt::ISODate);
        const auto store = sites::store::Store::open(args[2], &error);
        if (!store)
            return fail(error);
        QElapsedTimer clock;
        clock.start();
        const sites::sources::ParsedList parsed = sites::sources::parseCnnic(bytes, today);
        if (!parsed.error.isEmpty())
            return fail(parsed.error);
        if (!store->replaceDays(QStringLiteral("cnnic"), parsed.names, today,
                                QDateTime::currentDateTimeUtc(), &error))
            return fail(error);
        std::printf("import_ms %.1f names %lld\n", clock.nsecsElapsed() / 1e6,
                    qint64(parsed.names.size()));
        return 0;
    }
    if (mode == u"zone" && args.size() == 4) {
        const QDate today = QDate::fromString(args[2], Qt::ISODate);
        const qint64 count = args[3].toLongLong();
        const auto store = sites::store::Store::open(args[1], &error);
        if (!store)
            return fail(error);
        QElapsedTimer clock;
        clock.start();
        const sites::store::Store::RowFeed feed = [&](const auto& add) {
            for (qint64 i = 0; i < count; ++i) {
                const int length = 4 + int(i % 8);
                const QString text = label(quint64(i), length - 3) +
                                     QString::number(i % 1000).rightJustified(3, u'0');
                if (!add({text + QStringLiteral(".com"), QStringLiteral(".com"), length,
                          today.addDays(i % 3)}))
                    return false;
            }
            return true;
        };
        if (!store->replaceList(QStringLiteral("czds-com"), feed, QDateTime::currentDateTimeUtc(),
                                &error, true))
            return fail(error);
        std::printf("zone_ms %.1f rows %lld\n", clock.nsecsElapsed() / 1e6, count);
        return 0;
    }
    if (mode == u"pages" && args.size() == 2) {
        // What a list page asks of the store, over the pages of bench/store_pages.lua.
        const auto store = sites::store::Store::open(args[1], &error);
        if (!store)
            return fail(error);
        QElapsedTimer clock;
        qint64 generation = 0, count = 0, approximate = 0, names = 0;
        const int rounds = 20'000;
        for (int n = 1; n <= rounds; ++n) {
            const QDate day = QDate(2026, 12, 9).addDays(-(n % 20));
            const int length = 3 + (n / 20) % 5, page = 1 + (n / 100) % 5;
            const QString suffix = (n / 500) % 2 == 0 ? QStringLiteral(".cn") : QStringLiteral(".com.cn");
            clock.start();
            store->generation();
            generation += clock.nsecsElapsed();
            clock.start();
            store->count(day, suffix, length);
            count += clock.nsecsElapsed();
            clock.start();
            store->approximateSuffixes(day);
            approximate += clock.nsecsElapsed();
            clock.start();
            store->names(day, suffix, length, qEnvironmentVariableIsSet("ZERO") ? 0 : (page - 1) * 100, 100);
            names += clock.nsecsElapsed();
        }
        std::printf("us per page: generation %.1f count %.1f approximate %.1f names %.1f\n",
                    generation / 1e3 / rounds, count / 1e3 / rounds, approximate / 1e3 / rounds,
                    names / 1e3 / rounds);
        return 0;
    }
    return fail(QStringLiteral("usage: bench_store fill DIR TODAY | list N LIST CSV | "
                               "import LIST DIR TODAY | zone DIR TODAY N"));
}
