// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark 17: pages asked at a fixed rate, and how late each answer comes, counted from the
// moment it was due (so a stalled server is not hidden by requests held back meanwhile).
//   bench_pace load ORIGIN RATE SECONDS LABEL [PID]   asks for RATE pages a second for SECONDS
//       (and while process PID runs), then prints the worst and the 99th percentile lateness
//   bench_pace serve FILE DELAY_MS                     serves FILE to every GET, DELAY_MS late;
//       prints "port N"
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <deque>
#include <vector>

namespace {

// The mix of bench/store_pages.lua: a day summary in ten, the rest list pages over 20 days,
// 2 suffixes, 5 lengths and 5 pages.
QByteArray path(qint64 n) {
    const QString day = QDate(2026, 12, 9).addDays(-(n % 20)).toString(Qt::ISODate);
    if (n % 10 == 0)
        return ("/deleteddate.php?date=" + day).toLatin1();
    const qint64 length = 3 + (n / 20) % 5, page = 1 + (n / 100) % 5;
    const char* tld = (n / 500) % 2 == 0 ? ".cn" : ".com.cn";
    return QStringLiteral("/deleteddomain.php?date=%1&t=cn&page=%2&tld=%3&length=%4")
        .arg(day)
        .arg(page)
        .arg(QLatin1String(tld))
        .arg(length)
        .toLatin1();
}

// One kept-alive connection with at most one request in flight.
struct Connection {
    QTcpSocket* socket = nullptr;
    qint64 due = -1; // ns of the request in flight; -1: idle
    QByteArray got;
};

class Load : public QObject {
public:
    Load(const QUrl& origin, double rate, double seconds, qint64 pid)
        : origin_(origin), rate_(rate), seconds_(seconds), pid_(pid) {
        tick_.setTimerType(Qt::PreciseTimer);
        connect(&tick_, &QTimer::timeout, this, &Load::onTick);
    }
    void start() {
        clock_.start();
        tick_.start(1);
    }
    int report(const QString& label) {
        std::vector<double> ms;
        for (qint64 ns : late_)
            ms.push_back(ns / 1e6);
        std::sort(ms.begin(), ms.end());
        if (ms.empty()) {
            std::fprintf(stderr, "bench_pace: no answer came\n");
            return 1;
        }
        const double p99 = ms[std::min(ms.size() - 1, size_t(ms.size() * 0.99))];
        const double p50 = ms[ms.size() / 2];
        std::printf("RESULT pace_worst_ms_%s %.1f (p99 %.1f ms, median %.2f ms, %zu answers in "
                    "%.1f s, %lld failed)\n",
                    qPrintable(label), ms.back(), p99, p50, ms.size(), ended_ / 1e9, failed_);
        std::printf("RESULT pace_p99_ms_%s %.1f\n", qPrintable(label), p99);
        std::fflush(stdout);
        return 0;
    }

private:
    bool running() const {
        if (clock_.nsecsElapsed() < qint64(seconds_ * 1e9))
            return true;
        return pid_ > 0 && ::kill(pid_t(pid_), 0) == 0;
    }
    void onTick() {
        const qint64 now = clock_.nsecsElapsed();
        if (!stopping_ && !running()) {
            stopping_ = true;
            ended_ = now;
        }
        if (!stopping_)
            while (sent_ < qint64(now / 1e9 * rate_))
                waiting_.push_back({sent_, qint64(sent_ / rate_ * 1e9)}), ++sent_;
        dispatch();
        const bool busy = std::any_of(pool_.begin(), pool_.end(),
                                      [](const Connection* c) { return c->due >= 0; });
        if (stopping_ && (!busy || now - ended_ > 10'000'000'000LL)) {
            for (Connection* c : pool_)
                if (c->due >= 0)
                    late_.push_back(now - c->due); // still unanswered: late by now at least
            tick_.stop();
            QCoreApplication::quit();
        }
    }
    void dispatch() {
        while (!waiting_.empty()) {
            Connection* free = nullptr;
            for (Connection* c : pool_)
                if (c->due < 0 && c->socket->state() == QAbstractSocket::ConnectedState) {
                    free = c;
                    break;
                }
            if (!free) {
                if (pool_.size() < 64 && connecting_ == 0)
                    open();
                return;
            }
            const auto [n, due] = waiting_.front();
            waiting_.pop_front();
            free->due = due;
            free->got.clear();
            free->socket->write("GET " + path(n) + " HTTP/1.1\r\nHost: " +
                                origin_.authority().toLatin1() + "\r\n\r\n");
        }
    }
    void open() {
        auto* c = new Connection;
        c->socket = new QTcpSocket(this);
        ++connecting_;
        connect(c->socket, &QTcpSocket::connected, this, [this] {
            --connecting_;
            dispatch();
        });
        connect(c->socket, &QTcpSocket::readyRead, this, [this, c] { read(c); });
        connect(c->socket, &QTcpSocket::disconnected, this, [this, c] {
            if (c->due >= 0) {
                ++failed_;
                late_.push_back(clock_.nsecsElapsed() - c->due);
                c->due = -1;
            }
            c->socket->connectToHost(origin_.host(), quint16(origin_.port()));
            ++connecting_;
        });
        pool_.push_back(c);
        c->socket->connectToHost(origin_.host(), quint16(origin_.port()));
    }
    void read(Connection* c) {
        c->got += c->socket->readAll();
        const qsizetype head = c->got.indexOf("\r\n\r\n");
        if (head < 0 || c->due < 0)
            return;
        const QByteArray lower = c->got.left(head).toLower();
        const qsizetype at = lower.indexOf("content-length:");
        const qint64 length = at < 0 ? 0 : lower.mid(at + 15, lower.indexOf('\r', at) - at - 15).trimmed().toLongLong();
        if (c->got.size() < head + 4 + length)
            return;
        if (!c->got.startsWith("HTTP/1.1 200"))
            ++failed_;
        late_.push_back(clock_.nsecsElapsed() - c->due);
        c->due = -1;
        c->got.clear();
        dispatch();
    }

    QUrl origin_;
    double rate_, seconds_;
    qint64 pid_;
    QTimer tick_;
    QElapsedTimer clock_;
    qint64 sent_ = 0, ended_ = 0, failed_ = 0;
    int connecting_ = 0;
    bool stopping_ = false;
    std::deque<std::pair<qint64, qint64>> waiting_; // request number, ns it was due
    std::vector<Connection*> pool_;
    std::vector<qint64> late_;
};

int fail(const char* message) {
    std::fprintf(stderr, "bench_pace: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == u"load" && (args.size() == 5 || args.size() == 6)) {
        Load load(QUrl(args[1]), args[2].toDouble(), args[3].toDouble(), args.value(5).toLongLong());
        load.start();
        app.exec();
        return load.report(args[4]);
    }
    if (args.value(0) == u"serve" && args.size() == 3) {
        QFile file(args[1]);
        if (!file.open(QIODevice::ReadOnly))
            return fail("cannot read the file to serve");
        const QByteArray body = file.readAll();
        const int delay = args[2].toInt();
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost))
            return fail("cannot listen");
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &body, delay] {
                    if (!socket->readAll().contains("\r\n\r\n"))
                        return;
                    QTimer::singleShot(delay, socket, [socket, &body] {
                        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                                      QByteArray::number(body.size()) +
                                      "\r\nConnection: close\r\n\r\n" + body);
                        socket->disconnectFromHost();
                    });
                });
        });
        std::printf("port %u\n", unsigned(server.serverPort()));
        std::fflush(stdout);
        return app.exec();
    }
    return fail("usage: bench_pace load ORIGIN RATE SECONDS LABEL [PID] | serve FILE DELAY_MS");
}
