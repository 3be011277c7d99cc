// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/bundledsites.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <vector>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int HttpPort = 80;
constexpr int ListenState = 0x0A;

// The kernel prints each 32-bit word of an address as the number it is in memory.
void appendWord(std::vector<uchar>& bytes, quint32 printed) {
    const quint32 networkOrder = qFromBigEndian(printed);
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(uchar(networkOrder >> shift));
}

// Whether a listener on `address` (hex as in the tables) takes connections to 127.0.0.1.
bool reachesLoopback(QByteArrayView hex) {
    if (hex.size() != 8 && hex.size() != 32)
        return false;
    std::vector<uchar> bytes;
    for (qsizetype at = 0; at < hex.size(); at += 8) {
        bool ok = false;
        const quint32 word = hex.sliced(at, 8).toUInt(&ok, 16);
        if (!ok)
            return false;
        appendWord(bytes, word);
    }
    const bool any = std::all_of(bytes.begin(), bytes.end(), [](uchar b) { return b == 0; });
    if (bytes.size() == 4)
        return any || bytes == std::vector<uchar>{127, 0, 0, 1};
    static const std::vector<uchar> mapped = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 127, 0, 0, 1};
    return any || bytes == mapped; // a dual-stack "::" listener takes IPv4 too
}

// Starts `program` as a child of nobody here, in a session of its own: it outlives this
// program, the terminal's Ctrl+C and hang-up do not reach it, and it holds no descriptor of
// ours (a cron job's pipe stays closable). Its output comes through the returned pipe: first a
// line with its pid, then whatever it prints. -1 when it could not be started.
int spawnDetached(const QString& program, const QStringList& arguments) {
    QByteArrayList strings{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        strings.append(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    int pipe[2];
    if (pipe2(pipe, O_CLOEXEC) != 0)
        return -1;
    const pid_t middle = fork();
    if (middle < 0) {
        close(pipe[0]);
        close(pipe[1]);
        return -1;
    }
    if (middle == 0) {
        // Only async-signal-safe calls from here on: other threads may hold locks.
        if (fork() != 0)
            _exit(0);
        setsid();
        if (chdir("/") != 0)
            _exit(126);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(pipe[1], STDOUT_FILENO);
        dup2(pipe[1], STDERR_FILENO);
        close_range(3, ~0U, 0);
        // Once it listens nobody reads its output; a write then fails instead of killing it.
        signal(SIGPIPE, SIG_IGN);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        std::array<char, 24> line{};
        size_t at = line.size();
        line[--at] = '\n';
        for (pid_t pid = getpid(); pid > 0; pid /= 10)
            line[--at] = char('0' + pid % 10);
        if (write(STDOUT_FILENO, line.data() + at, line.size() - at) < 0)
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipe[1]);
    while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    return pipe[0];
}

// Reads `fd` until a line starting with `wanted` or its end, `deadline` at most. The lines
// before, and whether it came.
bool readUntil(int fd, const QByteArray& wanted, const QDeadlineTimer& deadline,
               QByteArrayList& lines) {
    QByteArray pending;
    while (true) {
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line.startsWith(wanted))
                return true;
            lines.append(line);
        }
        pollfd waiting{fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, int(qMax<qint64>(0, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char buffer[4096];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (!pending.isEmpty())
                lines.append(pending);
            return false;
        }
        pending.append(buffer, got);
    }
}

} // namespace

QString BundledSites::locate(const QString& programDir) {
#if defined(LUMO_INSTALL_BINDIR) && defined(LUMO_BUILD_TREE) && defined(LUMO_BUILD_SITES)
    return locate(programDir, QStringLiteral(LUMO_INSTALL_BINDIR),
                  QStringLiteral(LUMO_BUILD_TREE), QStringLiteral(LUMO_BUILD_SITES));
#elif defined(LUMO_INSTALL_BINDIR)
    return locate(programDir, QStringLiteral(LUMO_INSTALL_BINDIR), {}, {});
#else
    return locate(programDir, {}, {}, {});
#endif
}

QString BundledSites::locate(const QString& programDir, const QString& installDir,
                             const QString& buildTree, const QString& buildProgram) {
    const QString name = QStringLiteral("lumo-sites");
    QStringList candidates{QDir(programDir).filePath(name)};
    if (!installDir.isEmpty())
        candidates.append(QDir(installDir).filePath(name));
    // A build tree's paths mean something only inside it: elsewhere "../sites" may be anyone's.
    const QString tree = QFileInfo(buildTree).canonicalFilePath();
    const QString here = QFileInfo(programDir).canonicalFilePath();
    if (!tree.isEmpty() && !here.isEmpty() && !buildProgram.isEmpty() &&
        (here == tree || here.startsWith(tree + u'/')))
        candidates.append(buildProgram);
    for (const QString& candidate : candidates) {
        const QFileInfo file(candidate);
        if (file.isFile() && file.isExecutable())
            return file.canonicalFilePath();
    }
    return {};
}

bool BundledSites::atOrigin(const QString& address, const QUrl& origin) {
    const QUrl url(address);
    return url.isValid() && url.scheme().compare(origin.scheme(), Qt::CaseInsensitive) == 0 &&
           url.host() == origin.host() && url.port(HttpPort) == origin.port(HttpPort);
}

BundledSites::~BundledSites() {
    release();
}

void BundledSites::release() {
    QObject::disconnect(restart_);
    held_.abort();
}

bool BundledSites::answers(const QUrl& origin, int timeoutMs) {
    QTcpSocket probe;
    probe.connectToHost(origin.host(), quint16(origin.port(HttpPort)));
    const bool connected = probe.waitForConnected(timeoutMs);
    probe.abort();
    return connected;
}

BundledSites::Listener BundledSites::listenerIn(const QByteArray& tables, quint16 port, uint me) {
    Listener found;
    for (const QByteArray& line : tables.split('\n')) {
        // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid ...
        const QByteArrayList fields = line.simplified().split(' ');
        if (fields.size() < 8)
            continue;
        const QByteArrayList local = fields.at(1).split(':');
        bool portOk = false, stateOk = false, uidOk = false;
        const uint localPort = local.value(1).toUInt(&portOk, 16);
        const int state = fields.at(3).toInt(&stateOk, 16);
        const uint uid = fields.at(7).toUInt(&uidOk);
        if (local.size() != 2 || !portOk || !stateOk || !uidOk || state != ListenState ||
            localPort != port || !reachesLoopback(local.at(0)))
            continue;
        // With two listeners the kernel picks one: both must be ours.
        if (uid != me)
            return {Listener::Other, uid};
        found.kind = Listener::Me;
    }
    return found;
}

BundledSites::Listener BundledSites::listenerAt(quint16 port) {
    QByteArray tables;
    for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile table(QString::fromLatin1(path));
        if (table.open(QIODevice::ReadOnly))
            tables += table.readAll();
        else if (table.exists() || qstrcmp(path, "/proc/net/tcp") == 0)
            return {Listener::Unknown, 0}; // tcp6 is missing only without IPv6
    }
    return listenerIn(tables, port, uint(getuid()));
}

BundledSites::Outcome BundledSites::startFor(const QStringList& addresses) {
    return startFor(addresses, defaultOrigin(), locate(QCoreApplication::applicationDirPath()));
}

BundledSites::Outcome BundledSites::useListener(const Listener& listener, const QUrl& origin) {
    const QString where = QStringLiteral("%1:%2").arg(origin.host()).arg(origin.port(HttpPort));
    switch (listener.kind) {
    case Listener::Me:
        hold(origin);
        return Outcome::Shared;
    case Listener::Other:
        problem_ = QStringLiteral("%1 上的程序属于另一个用户（uid %2），不使用它")
                       .arg(where)
                       .arg(listener.uid);
        return Outcome::Foreign;
    case Listener::Unknown:
        problem_ = QStringLiteral("无法读取 /proc/net/tcp，不知道 %1 上的程序属于谁，不使用它")
                       .arg(where);
        return Outcome::Foreign;
    case Listener::Nobody:
        break;
    }
    return Outcome::Failed;
}

BundledSites::Outcome BundledSites::startFor(const QStringList& addresses, const QUrl& origin,
                                             const QString& program, int timeoutMs) {
    release();
    addresses_ = addresses;
    origin_ = origin;
    program_ = program;
    started_ = 0;
    problem_.clear();
    const bool wanted = std::any_of(addresses.begin(), addresses.end(),
                                    [&](const QString& a) { return atOrigin(a, origin); });
    if (!wanted)
        return Outcome::NotWanted;
    const quint16 port = quint16(origin.port(HttpPort));
    if (const Listener listener = listenerAt(port); listener.kind != Listener::Nobody)
        return useListener(listener, origin);
    if (program.isEmpty()) {
        problem_ = QStringLiteral("lumo-sites was not found");
        qWarning("lumo: %s", qPrintable(problem_));
        return Outcome::Failed;
    }

    const int output = spawnDetached(
        program, {QStringLiteral("--port"), QString::number(port), QStringLiteral("--idle-exit"),
                  QString::number(IdleMinutes)});
    if (output < 0) {
        problem_ = QStringLiteral("%1 could not be started").arg(program);
        qWarning("lumo: %s", qPrintable(problem_));
        return Outcome::Failed;
    }
    QByteArrayList lines;
    const bool listening = readUntil(output, "listening on ", QDeadlineTimer(timeoutMs), lines);
    close(output);
    const pid_t pid = pid_t(lines.isEmpty() ? 0 : lines.takeFirst().toLongLong());
    if (listening) {
        started_ = pid;
        hold(origin);
        return Outcome::Started;
    }
    if (pid > 0)
        ::kill(pid, SIGTERM); // slow to listen, it would linger for nothing
    // Another program of the user may have started its own at the same moment.
    if (const Outcome shared = useListener(listenerAt(port), origin); shared != Outcome::Failed)
        return shared;
    for (const QByteArray& line : std::as_const(lines))
        qWarning("%s", line.constData());
    problem_ = QStringLiteral("%1 did not start listening at %2").arg(program, origin.toString());
    qWarning("lumo: %s", qPrintable(problem_));
    return Outcome::Failed;
}

bool BundledSites::hold(const QUrl& origin) {
    held_.connectToHost(origin.host(), quint16(origin.port(HttpPort)));
    if (!held_.waitForConnected(1000)) {
        held_.abort();
        return false;
    }
    // Sites that end under us (killed, or idle at the very moment we came) are started again;
    // a listener that drops whoever comes is left alone.
    QElapsedTimer since;
    since.start();
    restart_ = QObject::connect(&held_, &QTcpSocket::disconnected, &held_, [this, since] {
        if (since.elapsed() >= 1000)
            QTimer::singleShot(0, &held_, [this] { startFor(addresses_, origin_, program_); });
    });
    return true;
}
