// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark 4: each scraper on a 10 MB page dense with its markers, against one plain
// std::search pass over the same page that finds every occurrence of the scraper's marker.
// A scraper that reads its page about once stays within a small multiple of that pass.
#include "listing/daysummary.h"
#include "listing/domainlist.h"
#include "listing/startup.h"
#include "listing/urls.h"
#include "lookup/lookuppage.h"
#include "maintenance/versionfile.h"
#include "scrape/split.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr qsizetype PageChars = qsizetype(10) << 20; // 10 MiB of text

// `head`, then `unit(i)` for i = 0, 1, ... until the page holds PageChars characters, then
// `tail`.
QString fill(const QString& head, const std::function<QString(qsizetype)>& unit,
             const QString& tail) {
    QString page = head;
    page.reserve(PageChars + 1024);
    for (qsizetype i = 0; page.size() + tail.size() < PageChars; ++i)
        page += unit(i);
    return page + tail;
}

// Seven characters of [a-z0-9], different for every i below 36^7.
QString label(qsizetype i) {
    QString s(7, u'a');
    for (int p = 6; p >= 0; --p, i /= 36)
        s[p] = QChar(u"abcdefghijklmnopqrstuvwxyz0123456789"[i % 36]);
    return s;
}

const QString Base = QStringLiteral("http://127.0.0.1:8613/");

// The home page with a 10 MB table of date links. The heading, "</table" and the line
// with today's date occur once, so each of their splits runs to the end of the page.
const QString& startupPage() {
    static const QString page = fill(
        QStringLiteral("<div class=\"top\">今天是 <a href=\"deleteddate.php?date=2011-03-05\">"
                       "今天删除的域名</a> &nbsp;&nbsp; 2011-03-05 星期六</div>\n"
                       "<h2>四天后的删除域名查询</h2>\n<table class=\"days\">\n"),
        [](qsizetype i) {
            const QString date = QStringLiteral("2011-03-%1").arg(i % 28 + 1, 2, 10, QChar(u'0'));
            return QStringLiteral("<tr><td><a href=\"deleteddate.php?date=%1\">%1</a></td></tr>\n")
                .arg(date);
        },
        QStringLiteral("</table>\n</body>\n</html>\n"));
    return page;
}

// A day summary whose grid rows repeat for 10 MB; the printed date occurs once.
const QString& summaryPage() {
    static const QString page = fill(
        QStringLiteral("<table class=\"summary\" border=\"1\">\n<tr><td noWrap><font color=red>"
                       "2011-03-05</font></td><td colspan=\"7\">删除域名统计</td></tr>\n"),
        [](qsizetype i) {
            const int length = int(i % 5) + 3;
            QString row = QStringLiteral("<tr><td>%1位</td>").arg(length);
            for (int s = 1; s <= 7; ++s)
                row += QStringLiteral("<td><a href=\"deleteddomain.php?date=2011-03-05&amp;t=%1"
                                      "&amp;page=1&amp;tld=%2&amp;length=%3\">%4</a></td>")
                           .arg(s >= 6 ? QStringLiteral("cn") : QStringLiteral("inter"),
                                listing::suffix(s))
                           .arg(length)
                           .arg(i % 3000);
            return row + QStringLiteral("</tr>\n");
        },
        QStringLiteral("</table>\n</body>\n</html>\n"));
    return page;
}

// A list page of 10 MB of name links, as lumo-sites writes them.
const QString& listPage() {
    static const QString page = fill(
        QStringLiteral("<h2>2011-03-05 删除的 7 位 .com 域名</h2>\n<ol>\n"),
        [](qsizetype i) {
            const QString name = label(i * 7919) + QStringLiteral(".com");
            return QStringLiteral("<li><a href=") + Base + QStringLiteral("whois.php?domain=") +
                   name + u'>' + name + QStringLiteral("</a></li>\n");
        },
        QStringLiteral("</ol>\n</body>\n</html>\n"));
    return page;
}

// A lookup page whose table rows repeat for 10 MB; the countdown comes once, at the end.
const QString& lookupPage() {
    static const QString page = fill(
        QStringLiteral("<h3>abcdefg.com</h3>\n<table class=\"del\">\n"),
        [](qsizetype i) {
            return QStringLiteral("<tr><td class=\"deltdl\">域名年龄：</td><td class=\"deltd1\">"
                                  "<b>%1年%2个月</b>(近似值)</td></tr>\n")
                .arg(i % 20)
                .arg(i % 12);
        },
        QStringLiteral("</table>\n<p>删除倒计时：<span class=\"count\">还剩：3天 4小时</span>"
                       "</p>\n"));
    return page;
}

// A version file of 10 MB of version lines.
const QString& versionPage() {
    static const QString page =
        fill({}, [](qsizetype i) { return QStringLiteral("8.%1\r\n").arg(i % 100); }, {});
    return page;
}

// An error page of 10 MB on one line: the version check must look through all of it for
// the line end.
const QString& versionOneLinePage() {
    static const QString page = fill(
        QStringLiteral("<html><body>"),
        [](qsizetype i) { return QStringLiteral("<p>error %1</p>").arg(i % 1000); },
        QStringLiteral("</body></html>"));
    return page;
}

// The reference: one std::search pass over the page that finds every occurrence of `marker`.
void scanAll(benchmark::State& state, const QString& page, const QString& marker) {
    const ushort* const begin = page.utf16();
    const ushort* const end = begin + page.size();
    const ushort* const mBegin = marker.utf16();
    const ushort* const mEnd = mBegin + marker.size();
    for (auto _ : state) {
        qsizetype hits = 0;
        for (const ushort* at = begin;; at += marker.size(), ++hits) {
            at = std::search(at, end, mBegin, mEnd);
            if (at == end)
                break;
        }
        benchmark::DoNotOptimize(hits);
    }
}

const QString LinkMarker = listing::linkMarker(Base);

void BM_Startup(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(listing::parseStartupDates(startupPage()));
}
void BM_StartupRef(benchmark::State& state) {
    scanAll(state, startupPage(), QStringLiteral(">2011"));
}
void BM_DaySummary(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(listing::parseDaySummary(summaryPage()));
}
void BM_DaySummaryRef(benchmark::State& state) {
    scanAll(state, summaryPage(), QStringLiteral("length=3\">"));
}
void BM_ListPage(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(listing::namesOnPage(listPage(), LinkMarker));
}
void BM_ListPieces(benchmark::State& state) {
    for (auto _ : state) {
        scrape::Pieces pieces(listPage(), LinkMarker);
        qsizetype n = 0;
        while (pieces.next())
            ++n;
        benchmark::DoNotOptimize(n);
    }
}
void BM_ListPageRef(benchmark::State& state) {
    scanAll(state, listPage(), LinkMarker);
}
void BM_Lookup(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(lookup::parseLookupPage(lookupPage()));
}
void BM_LookupRef(benchmark::State& state) {
    scanAll(state, lookupPage(), QStringLiteral("deltd1\">"));
}
void BM_Version(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(maintenance::newVersionLine(versionPage()));
}
void BM_VersionRef(benchmark::State& state) {
    scanAll(state, versionPage(), QStringLiteral("\r\n"));
}
void BM_VersionOneLine(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(maintenance::newVersionLine(versionOneLinePage()));
}
void BM_VersionOneLineRef(benchmark::State& state) {
    scanAll(state, versionOneLinePage(), QStringLiteral("\r\n"));
}

// Keeps each benchmark's CPU time per iteration, in seconds, by name. CPU time rather than
// wall time, for the machines are shared: a preempted run does not count its wait.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                const std::string name = run.benchmark_name();
                seconds[name.substr(0, name.find('/'))] =
                    run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

#define LUMO_BENCH(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->MinTime(0.3)
LUMO_BENCH(BM_StartupRef);
LUMO_BENCH(BM_Startup);
LUMO_BENCH(BM_DaySummaryRef);
LUMO_BENCH(BM_DaySummary);
LUMO_BENCH(BM_ListPageRef);
LUMO_BENCH(BM_ListPage);
LUMO_BENCH(BM_ListPieces);
LUMO_BENCH(BM_LookupRef);
LUMO_BENCH(BM_Lookup);
LUMO_BENCH(BM_VersionRef);
LUMO_BENCH(BM_Version);
LUMO_BENCH(BM_VersionOneLineRef);
LUMO_BENCH(BM_VersionOneLine);

int main(int argc, char** argv) {
    // Build the pages before any timing starts.
    for (const QString* page : {&startupPage(), &summaryPage(), &listPage(), &lookupPage(),
                                &versionPage(), &versionOneLinePage()})
        if (page->size() < PageChars)
            return 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();

    // One line per scraper: "RESULT <key> <scraper time / reference time>", on lines of
    // their own whatever the console reporter left behind.
    std::printf("\n");
    const std::pair<const char*, const char*> pairs[] = {
        {"BM_Startup", "BM_StartupRef"},
        {"BM_DaySummary", "BM_DaySummaryRef"},
        {"BM_ListPage", "BM_ListPageRef"},
        {"BM_ListPieces", "BM_ListPageRef"},
        {"BM_Lookup", "BM_LookupRef"},
        {"BM_Version", "BM_VersionRef"},
        {"BM_VersionOneLine", "BM_VersionOneLineRef"}};
    for (const auto& [scraper, reference] : pairs) {
        const auto s = collector.seconds.find(scraper);
        const auto r = collector.seconds.find(reference);
        if (s == collector.seconds.end() || r == collector.seconds.end() || r->second <= 0)
            continue;
        std::printf("RESULT scraper_%s %.4f (%.3f ms against %.3f ms)\n", scraper + 3,
                    s->second / r->second, s->second * 1e3, r->second * 1e3);
    }
    return 0;
}
