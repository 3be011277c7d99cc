// SPDX-License-Identifier: GPL-3.0-or-later
// Figures 8 and 9: the installed window's start-up and its idle memory, against the least a
// Qt Widgets program needs to do the same (bench_minimal).
//   bench_startup LUMO MINIMAL PORT [ROUNDS]
// Serves the listing's home page on 127.0.0.1:PORT (the address LUMO was built with), starts
// each program in turn, offscreen, and times it from its start to its request for the home
// page, which the window sends once its 500 ms start-up timer has fired and which it needs to
// take its cover down; 1.5 s later (after the window's update check) it reads the program's
// resident memory, then ends it.
#include "sitescore/calendar.h"
#include "sitescore/names.h"
#include "sitescore/pages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double residentMiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Run {
    double startMs = -1;
    double memoryMiB = -1;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_startup LUMO MINIMAL PORT [ROUNDS]\n");
        return 2;
    }
    const QString lumo = QString::fromLocal8Bit(argv[1]);
    const QString minimal = QString::fromLocal8Bit(argv[2]);
    const quint16 port = quint16(QByteArray(argv[3]).toUInt());
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 7;

    const QByteArray home =
        sites::homePage(sites::siteToday(QDate(2024, 3, 5))).toUtf8();
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, port)) {
        std::fprintf(stderr, "bench_startup: cannot listen on %u\n", unsigned(port));
        return 1;
    }
    QElapsedTimer clock;
    bool homeAsked = false;
    double homeAt = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            QObject::connect(s, &QTcpSocket::readyRead, s, [&, s] {
                const QByteArray request = s->readAll();
                const bool isHome = request.startsWith("GET / ");
                if (isHome && !homeAsked) {
                    homeAsked = true;
                    homeAt = double(clock.nsecsElapsed()) / 1e6;
                }
                const QByteArray body = isHome ? home : QByteArray("8.8\r\n");
                s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                         "Content-Length: " +
                         QByteArray::number(body.size()) + "\r\n\r\n" + body);
            });
        }
    });

    const auto once = [&](const QString& program, const QStringList& args) {
        Run run;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        homeAsked = false;
        clock.start();
        child.start(program, args);
        QEventLoop wait;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
            if (homeAsked || child.state() == QProcess::NotRunning ||
                clock.elapsed() > 10000)
                wait.quit();
        });
        poll.start(1);
        wait.exec();
        if (homeAsked) {
            run.startMs = homeAt;
            QTimer::singleShot(1500, &wait, &QEventLoop::quit);
            wait.exec();
            run.memoryMiB = residentMiB(child.processId());
        }
        child.terminate();
        if (!child.waitForFinished(3000))
            child.kill();
        child.waitForFinished(3000);
        return run;
    };

    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(port);
    std::vector<double> lumoMs, minimalMs, lumoMiB, minimalMiB;
    once(lumo, {}); // warm the disk cache and the font cache
    once(minimal, {url});
    for (int round = 0; round < rounds; ++round) {
        const Run a = once(lumo, {});
        const Run b = once(minimal, {url});
        if (a.startMs < 0 || b.startMs < 0) {
            std::fprintf(stderr, "bench_startup: a program never asked for the home page\n");
            return 1;
        }
        lumoMs.push_back(a.startMs);
        minimalMs.push_back(b.startMs);
        lumoMiB.push_back(a.memoryMiB);
        minimalMiB.push_back(b.memoryMiB);
    }
    std::printf("RESULT startup_ratio %.3f (lumo %.0f ms, minimal program %.0f ms, medians of %d)\n",
                median(lumoMs) / median(minimalMs), median(lumoMs), median(minimalMs), rounds);
    std::printf("RESULT idle_memory_ratio %.2f (lumo %.1f MiB, minimal program %.1f MiB)\n",
                median(lumoMiB) / median(minimalMiB), median(lumoMiB), median(minimalMiB));
    return 0;
}
