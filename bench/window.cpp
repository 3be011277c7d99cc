// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks 1, 2, 3, 5, 7, 11 and 12: the real window on the offscreen platform.
//   bench_window idle     CPU time per wall time while one fetch waits 5 s on a silent server
//   bench_window list     a 5,000-name cell through Form1 against libcurl on the same 50 pages,
//                         and the worst lateness of a 10 ms probe timer meanwhile
//   bench_window memory   peak resident memory after listing 20,000 names, against start-up
//   bench_window delayed  the same list as `list` with every answer 5 ms, then 20 ms late
//   bench_window listops  select all + copy, and a filter change, on 20,000 names
//   bench_window typing   the worst lateness of a 10 ms clock timer while a costly regular
//                         expression is typed into the filter dialog over 20,000 names
// Each prints "RESULT <key> <value> ..." lines for scripts/bench.sh, and exits non-zero only
// when the benchmark could not run as meant (never because a figure is slow).
#include "listing/filter.h"
#include "listing/urls.h"
#include "net/module1.h"
#include "sitesprocess.h"
#include "window/filterdialog.h"
#include "window/form1.h"
#include "window/listmenu.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <curl/curl.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// The listing lives in 2011; this fixed day keeps every run on the same lists.
const QString Today = QStringLiteral("2024-03-05");

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A field of /proc/self/status in MiB ("VmHWM" is the peak resident size, "VmRSS" the current).
double statusMiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// Lets the window handle its events for `ms` milliseconds, sleeping between them.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The window as the program shows it, with no modal box, browser or exit, and with the
// start-up timers stopped: each benchmark runs the handlers it times itself.
std::unique_ptr<Form1> openWindow(const QString& origin) {
    auto form = std::make_unique<Form1>(Addresses{origin + u'/', origin, origin});
    form->Timer1->stop();
    form->Timer3->stop();
    form->MsgBox = [](const QString&, int, const QString&) { return MsgBoxOk; };
    form->OpenUrl = [](const QUrl&) {};
    form->EndProgram = [] {};
    form->show();
    settle(100);
    return form;
}

bool fail(const char* what) {
    std::fprintf(stderr, "bench_window: %s\n", what);
    return false;
}

// The start-up dates, as the program fetches them at start.
bool startUp(Form1& form) {
    form.Command11_Click();
    return !form.Text1->text().isEmpty() || fail("the start-up dates did not load");
}

// Today's grid, as its date button loads it; false unless the .com cell of length 7 shows
// `count`.
bool loadToday(Form1& form, int count) {
    form.Command3_Click();
    if (form.Label6(1)->text() != QString::number(count))
        return fail("the grid does not show the forced cell size");
    return true;
}

// lumo-sites with every cell holding `names` names, and the window at it with its start-up
// dates in (and today's grid too, unless `loadDay` is false).
struct Session {
    explicit Session(int names, int delayMs = 0)
        : sites({QStringLiteral("--today"), Today, QStringLiteral("--cell-size"),
                 QString::number(names), QStringLiteral("--delay-ms"), QString::number(delayMs)}) {}
    SitesProcess sites;
    std::unique_ptr<Form1> form;
};
std::unique_ptr<Session> openSession(int names, bool loadDay = true, int delayMs = 0) {
    auto session = std::make_unique<Session>(names, delayMs);
    if (!session->sites.start()) {
        fail(qPrintable(session->sites.errorString()));
        return nullptr;
    }
    session->form = openWindow(session->sites.origin());
    if (!startUp(*session->form) || (loadDay && !loadToday(*session->form, names)))
        return nullptr;
    return session;
}

// --- 1: waiting costs nothing -------------------------------------------------------------

bool idle() {
    // Accepts and never answers; after 5 s it hangs up, which ends the fetch. It hangs up on
    // later connections too, for the fetcher sends its request again on a new one once.
    QTcpServer silent;
    if (!silent.listen(QHostAddress::LocalHost, 0))
        return fail("cannot listen");
    std::vector<QTcpSocket*> held;
    bool hangUp = false;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = silent.nextPendingConnection()) {
            held.push_back(s);
            if (hangUp)
                s->abort();
        }
    });
    const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort());
    Module1::FetchLimits limits;
    limits.idleTimeoutMs = 60'000;
    limits.totalTimeoutMs = 120'000;
    Module1::setFetchLimits(limits);
    auto form = openWindow(origin);

    QTimer::singleShot(5000, Qt::PreciseTimer, [&] {
        hangUp = true;
        for (QTcpSocket* s : held)
            s->abort();
    });
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const QString page = Module1::GetPageUtf8(origin + QStringLiteral("/silent"));
    const double waitWall = double(wall.nsecsElapsed()) * 1e-9;
    const double waitCpu = cpuSeconds() - cpu0;
    if (!page.isEmpty() || waitWall < 4.5 || waitWall > 10)
        return fail("the silent server did not hold the fetch for 5 s");

    // The reference: the same second spent polling the event loop, as a busy wait does.
    const double busy0 = cpuSeconds();
    wall.restart();
    while (wall.elapsed() < 1000)
        QCoreApplication::processEvents();
    const double busyWall = double(wall.nsecsElapsed()) * 1e-9;
    const double busyCpu = cpuSeconds() - busy0;

    std::printf("RESULT idle_cpu_per_wall %.4f (%.3f s CPU in %.3f s)\n", waitCpu / waitWall,
                waitCpu, waitWall);
    std::printf("RESULT busy_cpu_per_wall %.4f (%.3f s CPU in %.3f s)\n", busyCpu / busyWall,
                busyCpu, busyWall);
    return true;
}

// --- 2 and 3: a list retrieval is network-bound; the window stays responsive ---------------

size_t collect(char* data, size_t size, size_t count, void* sink) {
    static_cast<std::string*>(sink)->append(data, size * count);
    return size * count;
}

// The same pages one after the other on one reused connection; the bytes received.
qint64 fetchWithCurl(CURL* curl, const std::vector<std::string>& urls) {
    std::string body;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    qint64 total = 0;
    for (const std::string& url : urls) {
        body.clear();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        long status = 0;
        if (curl_easy_perform(curl) != CURLE_OK ||
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200)
            return -1;
        total += qint64(body.size());
    }
    return total;
}

// With `delayMs`, every answer of the server comes that much later, as over a real network:
// figure 7 instead of 2 and 3.
bool list(int delayMs = 0) {
    constexpr int Names = 5000;
    const auto session = openSession(Names, true, delayMs);
    if (!session)
        return false;
    Form1* form = session->form.get();

    const QString base = form->addresses().listing;
    std::vector<std::string> urls;
    for (int page = 1; page <= Names / 100; ++page)
        urls.push_back(listing::listPageUrl(base, form->Text7->text(), 1, 7, page).toStdString());
    CURL* curl = curl_easy_init();
    if (!curl)
        return fail("no libcurl handle");

    // The probe: a 10 ms timer that notes how much later than due each tick comes.
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    double worstLate = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worstLate = std::max(worstLate, double(now - lastTick) / 1e6 - 10.0);
        lastTick = now;
    });
    auto probed = [&](const std::function<void()>& work) {
        lastTick = clock.nsecsElapsed();
        probe.start();
        work();
        settle(30); // a tick held up by the last page counts too
        probe.stop();
    };

    // Its lateness while nothing runs, for comparison.
    if (delayMs == 0)
        probed([] { settle(1000); });
    const double idleLate = worstLate;

    auto runWindow = [&] {
        QElapsedTimer t;
        t.start();
        form->Label6_Click(1);
        const double ms = double(t.nsecsElapsed()) / 1e6;
        return form->List1->count() == Names ? ms : -1.0;
    };
    auto runCurl = [&] {
        QElapsedTimer t;
        t.start();
        const qint64 bytes = fetchWithCurl(curl, urls);
        return bytes > 0 ? double(t.nsecsElapsed()) / 1e6 : -1.0;
    };
    // Where the time goes: the fetcher alone on the same pages, with no window work.
    auto runFetcher = [&] {
        QElapsedTimer t;
        t.start();
        qint64 chars = 0;
        for (const std::string& url : urls)
            chars += Module1::GetPageUtf8(QString::fromStdString(url)).size();
        return chars > 0 ? double(t.nsecsElapsed()) / 1e6 : -1.0;
    };
    // One round of each to open the connections and warm the caches.
    if (runWindow() < 0 || runCurl() < 0)
        return fail("a warm-up round did not list every name");

    const int Rounds = delayMs == 0 ? 7 : 5;
    std::vector<double> window, reference, fetcher;
    worstLate = 0;
    for (int round = 0; round < Rounds; ++round) {
        double ms = 0;
        probed([&] { ms = runWindow(); });
        window.push_back(ms);
        reference.push_back(runCurl());
        if (delayMs == 0)
            fetcher.push_back(runFetcher());
        if (window.back() < 0 || reference.back() < 0)
            return fail("a round did not list every name");
    }
    curl_easy_cleanup(curl);

    const double w = median(window), r = median(reference);
    if (delayMs > 0) {
        std::printf("RESULT delayed_list_ratio_%dms %.3f (Form1 %.0f ms, curl %.0f ms, medians of "
                    "%d)\n",
                    delayMs, w / r, w, r, Rounds);
        return true;
    }
    std::printf("RESULT list_time_ratio %.3f (Form1 %.1f ms, curl %.1f ms, medians of %d; "
                "Module1 alone %.1f ms)\n",
                w / r, w, r, Rounds, median(fetcher));
    std::printf("RESULT probe_worst_late_ms %.1f (idle window: %.1f ms)\n", worstLate, idleLate);
    return true;
}

// For a profiler: `rounds` list retrievals through Form1, nothing else timed.
bool profile(int rounds, bool window) {
    constexpr int Names = 5000;
    const auto session = openSession(Names);
    if (!session)
        return false;
    Form1* form = session->form.get();
    QStringList urls;
    for (int page = 1; page <= Names / 100; ++page)
        urls << listing::listPageUrl(form->addresses().listing, form->Text7->text(), 1, 7, page);
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    for (int round = 0; round < rounds; ++round) {
        if (window)
            form->Label6_Click(1);
        else
            for (const QString& url : urls)
                Module1::GetPageUtf8(url);
    }
    std::printf("%d rounds: %.1f ms wall, %.1f ms CPU a round\n", rounds,
                double(t.nsecsElapsed()) / 1e6 / rounds, (cpuSeconds() - cpu0) * 1e3 / rounds);
    return true;
}

// --- 5: memory stays small ----------------------------------------------------------------

bool memory() {
    constexpr int Names = 20000;
    const auto session = openSession(Names, false);
    if (!session)
        return false;
    Form1* form = session->form.get();
    settle(300);
    const double startPeak = statusMiB("VmHWM");

    if (!loadToday(*form, Names))
        return false;
    form->Label6_Click(1);
    if (form->List1->count() != Names)
        return fail("the list does not hold every name");
    settle(300);
    const double peak = statusMiB("VmHWM");
    std::printf("RESULT memory_growth_mib %.1f (peak %.1f MiB after listing, %.1f MiB after "
                "start-up; now %.1f MiB)\n",
                peak - startPeak, peak, startPeak, statusMiB("VmRSS"));
    return true;
}

// --- 11: what a user does with a long list -------------------------------------------------

// Select all and copy, then a filter change, on 20,000 listed names, each against one
// QListWidget::addItems of the same names: the cheapest way the names get into a list. Each
// is timed with the layout and painting it causes.
bool listOps() {
    constexpr int Names = 20000;
    QStringList names;
    for (int i = 0; i < Names; ++i)
        names << QStringLiteral("%1%2.com").arg(i % 3 ? "ab" : "").arg(i, 5, 10, QChar(u'0'));
    auto form = openWindow(QStringLiteral("http://127.0.0.1:9"));
    form->Picture1->hide();
    form->List1->addItems(names);
    settle(50);
    const auto timed = [](const std::function<void()>& work) {
        QElapsedTimer t;
        t.start();
        work();
        QCoreApplication::processEvents();
        return double(t.nsecsElapsed()) / 1e6;
    };
    listing::FilterSpec digits;
    digits.digitsOnly = true;
    listing::FilterSpec letters;
    letters.contains = QStringLiteral("ab");
    const listing::NameFilter filters[] = {*listing::NameFilter::compile(digits),
                                           *listing::NameFilter::compile(letters)};
    constexpr int Rounds = 7;
    std::vector<double> copy, filter, reference;
    for (int round = 0; round < Rounds; ++round) {
        form->List1->clearSelection();
        copy.push_back(timed([&] {
            form->listMenu->selectAll();
            form->listMenu->copySelected();
        }));
        filter.push_back(timed([&] { form->listMenu->setFilter(filters[round % 2]); }));
        QListWidget plain;
        plain.resize(form->List1->size());
        plain.show();
        settle(10);
        reference.push_back(timed([&] { plain.addItems(names); }));
    }
    form->listMenu->setFilter(listing::NameFilter());
    const double r = median(reference);
    std::printf("RESULT select_copy_ratio %.3f (%.1f ms; addItems %.1f ms, medians of %d)\n",
                median(copy) / r, median(copy), r, Rounds);
    std::printf("RESULT filter_change_ratio %.3f (%.1f ms; addItems %.1f ms)\n",
                median(filter) / r, median(filter), r);
    return true;
}

// --- 12: the filter dialog never freezes the window ------------------------------------------

// An expression that backtracks a few milliseconds on every seven-letter name is typed into
// the filter dialog one character every 150 ms over 20,000 listed names, and the dialog is
// left to finish its count; a 10 ms clock timer notes how late it ticks meanwhile.
bool typing() {
    constexpr int Names = 20000;
    const QString expression = QStringLiteral("(.?){7}(.?){7}(.?){7}\\d");
    QRandomGenerator random(20261207);
    QStringList names;
    for (int i = 0; i < Names; ++i) {
        QString label;
        for (int k = 0; k < 7; ++k)
            label += QChar(u'a' + random.bounded(26));
        names << label + QStringLiteral(".com");
    }
    auto form = openWindow(QStringLiteral("http://127.0.0.1:9"));
    form->Picture1->hide();
    form->List1->addItems(names);
    settle(50);
    form->listMenu->filterAction->trigger();
    FilterDialog* dialog = form->listMenu->filterDialog();
    if (!dialog)
        return fail("the filter dialog did not open");
    settle(50);

    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = clock.nsecsElapsed();
    double worstLate = 0, worstAt = 0, worstKey = 0;
    qint64 typingStart = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const double late = double(now - lastTick) / 1e6 - 10.0;
        if (late > worstLate)
            worstLate = late, worstAt = double(now - typingStart) / 1e6;
        lastTick = now;
    });
    // The same timer over the same while with nothing to do, for comparison on a shared machine.
    probe.start();
    settle(3500);
    const double idleLate = worstLate;
    worstLate = 0;
    typingStart = clock.nsecsElapsed();
    for (qsizetype n = 1; n <= expression.size(); ++n) {
        QElapsedTimer key;
        key.start();
        dialog->regex->setText(expression.left(n));
        worstKey = std::max(worstKey, double(key.nsecsElapsed()) / 1e6);
        settle(150);
    }
    const double typed = double(clock.nsecsElapsed() - typingStart) / 1e6;
    bool counted = dialog->counted();
    QObject::connect(dialog, &FilterDialog::countDone, [&] { counted = true; });
    QElapsedTimer waited;
    waited.start();
    while (!counted && waited.elapsed() < 300'000)
        settle(100);
    probe.stop();
    if (!counted)
        return fail("the dialog did not finish its count in 5 minutes");
    std::printf("RESULT typing_worst_late_ms %.1f (idle window: %.1f ms; worst at %.0f ms; %lld "
                "characters typed in %.0f ms, the longest keystroke %.1f ms; the last count "
                "%.1f s more; %s)\n",
                worstLate, idleLate, worstAt, qlonglong(expression.size()), typed, worstKey,
                double(waited.elapsed()) / 1e3, qPrintable(dialog->count->text()));
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    QApplication app(argc, argv);
    bool ok = false;
    if (mode == u"idle")
        ok = idle();
    else if (mode == u"list")
        ok = list();
    else if (mode == u"memory")
        ok = memory();
    else if (mode == u"delayed")
        ok = list(5) && list(20);
    else if (mode == u"listops")
        ok = listOps();
    else if (mode == u"typing")
        ok = typing();
    else if (mode == u"profile-window" || mode == u"profile-fetch")
        ok = profile(argc > 2 ? std::atoi(argv[2]) : 20, mode == u"profile-window");
    else
        std::fprintf(stderr, "usage: bench_window idle|list|memory|delayed|listops|typing\n");
    std::fflush(stdout);
    curl_global_cleanup();
    return ok ? 0 : 1;
}
