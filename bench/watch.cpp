// SPDX-License-Identifier: GPL-3.0-or-later
// Figure 18: 1,000 watched names checked against a stored list of 200,000 names (no RDAP),
// against one SQL join of the same tables, run by SQLite through the same driver.
//   bench_watch DIR    prints "watch_check_ms X join_ms Y first_check_ms Z events N"
#include "store/store.h"
#include "watch/watchstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <cstdio>

namespace {

QString label(quint64 i) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString out(8, u'a');
    quint64 x = i * 0x9E3779B97F4A7C15ull;
    for (int k = 0; k < 8; ++k) {
        x ^= x >> 29;
        x *= 0xBF58476D1CE4E5B9ull;
        out[k] = QLatin1Char(alphabet[(x >> 33) % 36]);
    }
    return out + QString::number(i);
}

int fail(const QString& message) {
    std::fprintf(stderr, "bench_watch: %s\n", qPrintable(message));
    return 1;
}

double median(QList<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return fail(QStringLiteral("usage: bench_watch DIR"));
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QString error;
    const auto store = sites::store::Store::open(dir, &error);
    const auto watch = store ? sites::watch::WatchList::open(dir, &error) : nullptr;
    if (!watch)
        return fail(error);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDate day = now.date().addDays(2);
    QList<sites::ListedName> rows;
    for (quint64 i = 0; i < 200'000; ++i) {
        const QString name = label(i);
        rows.append({name + QStringLiteral(".cn"), QStringLiteral(".cn"), int(name.size()), day});
    }
    if (!store->replaceDays(QStringLiteral("cnnic"), rows, now.date(), now, &error))
        return fail(error);
    // Half of the watched names are on the list, half are not.
    QStringList watched;
    for (quint64 i = 0; i < 500; ++i)
        watched << label(i * 400) + QStringLiteral(".cn") << label(1'000'000 + i) + QStringLiteral(".cn");
    if (!watch->add(watched, now, &error))
        return fail(error);
    for (const QString& name : watched)
        watch->record(name, [&](const sites::watch::WatchResult&) {
            sites::watch::WatchResult r;
            r.status = r.known = QStringLiteral("已注册");
            r.checked = now;
            return r;
        }, now);

    QElapsedTimer clock;
    clock.start();
    const qsizetype events = watch->checkLists(now).size();
    const double first = clock.nsecsElapsed() / 1e6;

    // The check after each refresh that stores the list again: nothing changed.
    QList<double> checks, joins;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("join"));
    db.setDatabaseName(dir + QStringLiteral("/lumo.sqlite"));
    if (!db.open())
        return fail(QStringLiteral("cannot open the store"));
    // The reference probes the stored names by key for each watched name, as the check does;
    // written as a plain JOIN, SQLite (without ANALYZE) scans the stored names instead.
    auto join = [&](const QString& how) {
        clock.restart();
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.exec(QStringLiteral("SELECT w.name, n.day, n.approximate FROM watched w "
                                  "%1 names n ON n.name = w.name").arg(how));
        qint64 joined = 0;
        while (query.next())
            joined += query.value(1).toString().size() > 0;
        return joined == 500 ? clock.nsecsElapsed() / 1e6 : -1.0;
    };
    QList<double> plain;
    for (int round = 0; round < 31; ++round) {
        clock.restart();
        if (!watch->checkLists(now).isEmpty())
            return fail(QStringLiteral("a check without changes recorded events"));
        checks.append(clock.nsecsElapsed() / 1e6);
        joins.append(join(QStringLiteral("CROSS JOIN")));
        if (round < 5)
            plain.append(join(QStringLiteral("JOIN")));
    }
    if (median(joins) < 0 || median(plain) < 0)
        return fail(QStringLiteral("the join did not find the 500 listed names"));
    std::printf("watch_check_ms %.2f join_ms %.2f first_check_ms %.1f events %lld "
                "plain_join_ms %.1f\n",
                median(checks), median(joins), first, qint64(events), median(plain));
    return 0;
}
