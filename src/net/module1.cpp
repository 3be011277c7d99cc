// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/module1.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QSslSocket>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/socket.h>
#endif

namespace Module1 {
namespace {

FetchLimits g_limits;

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Connections whose last answer left them open, by origin, for the next request there: on a
// network a page then costs one round trip instead of two (three with TLS). A request in
// flight holds its connection alone, so two fetches at once use two; only the idle ones
// are capped.
class Pool : public QObject {
public:
    static constexpr int perOrigin = 8; // lumo-cli --jobs goes up to 8
    // An open connection keeps lumo-sites up: idle ones let it go after this.
    static constexpr qint64 idleMs = 30'000;

    // The pool of this thread, or none: sockets belong to the thread that made them, and only
    // the application's thread has an object to hang them on.
    static Pool* get() {
        static Pool* pool = nullptr;
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread())
            return nullptr;
        if (!pool) {
            pool = new Pool;
            pool->setParent(app);
            QObject::connect(pool, &QObject::destroyed, [] { pool = nullptr; });
        }
        return pool;
    }

    // A connection to `origin` that is still open and quiet, now the caller's; null if none.
    QTcpSocket* take(const QString& origin) {
        QList<Idle>& list = idle_[origin];
        while (!list.isEmpty()) {
            const Idle idle = list.takeLast(); // the latest is the likeliest still open
            idle.socket->disconnect(this);
            if (clock_.elapsed() - idle.since < idleMs && quiet(idle.socket))
                return idle.socket;
            discard(idle.socket);
        }
        return nullptr;
    }

    void put(const QString& origin, QTcpSocket* socket) {
        QList<Idle>& list = idle_[origin];
        if (list.size() >= perOrigin)
            return discard(socket);
        socket->setParent(this);
        // A server says nothing on an idle connection unless it is closing it.
        const auto drop = [this, socket] { remove(socket); };
        connect(socket, &QIODevice::readyRead, this, drop);
        connect(socket, &QAbstractSocket::disconnected, this, drop);
        connect(socket, &QAbstractSocket::errorOccurred, this, drop);
        list.append({socket, clock_.elapsed()});
        if (!sweep_.isActive())
            sweep_.start();
    }

private:
    struct Idle {
        QTcpSocket* socket;
        qint64 since;
    };

    Pool() {
        clock_.start();
        sweep_.setInterval(int(idleMs / 3));
        connect(&sweep_, &QTimer::timeout, this, [this] {
            bool any = false;
            const qint64 now = clock_.elapsed();
            for (QList<Idle>& list : idle_) {
                list.removeIf([this, now](const Idle& idle) {
                    const bool old = now - idle.since >= idleMs;
                    if (old)
                        discard(idle.socket);
                    return old;
                });
                any = any || !list.isEmpty();
            }
            if (!any)
                sweep_.stop();
        });
    }

    // Open, nothing unread, and (where the system lets us look) no close or bytes waiting in
    // the kernel that the event loop has not delivered yet.
    static bool quiet(QTcpSocket* socket) {
        if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesAvailable() > 0)
            return false;
#ifdef Q_OS_UNIX
        char byte;
        const auto n = ::recv(int(socket->socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
#else
        return true;
#endif
    }

    void remove(QTcpSocket* socket) {
        for (QList<Idle>& list : idle_)
            list.removeIf([socket](const Idle& idle) { return idle.socket == socket; });
        discard(socket);
    }

    void discard(QTcpSocket* socket) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }

    QHash<QString, QList<Idle>> idle_;
    QElapsedTimer clock_;
    QTimer sweep_;
};

} // namespace

QString describe(const Page& page) {
    const FetchLimits limits = g_limits;
    switch (page.failure) {
    case Failure::None:
        return {};
    case Failure::BadAddress:
        return QStringLiteral("地址无效");
    case Failure::Refused:
        return QStringLiteral("连接被拒绝");
    case Failure::HostNotFound:
        return QStringLiteral("找不到主机");
    case Failure::Silent:
        return QStringLiteral("%1 秒内没有回应").arg(limits.idleTimeoutMs / 1000.0);
    case Failure::TooSlow:
        return QStringLiteral("%1 秒内没有传完").arg(limits.totalTimeoutMs / 1000.0);
    case Failure::TooLarge:
        return QStringLiteral("页面超过 %1 字节").arg(limits.maxBodyBytes);
    case Failure::Broken:
        return page.detail.isEmpty() ? QStringLiteral("连接出错")
                                     : QStringLiteral("连接出错：") + page.detail;
    case Failure::Aborted:
        return QStringLiteral("已取消");
    case Failure::ErrorStatus:
        return QStringLiteral("服务器回答 HTTP %1").arg(page.status);
    case Failure::CutShort:
        return QStringLiteral("页面没有传完，连接就断了");
    case Failure::Undecodable:
        return QStringLiteral("页面标为 %1 编码，却无法解码").arg(page.detail);
    }
    return {};
}

Request::Request(const QString& url, const QString& charset, QObject* parent)
    : QObject(parent), charset_(charset) {
    // A fragment never reaches the server: a "#" the caller put in (a name typed by the user,
    // say) is part of what it asks for, so it goes out escaped.
    const QUrl target(QString(url).replace(u'#', QStringLiteral("%23")), QUrl::TolerantMode);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || target.host().isEmpty() || (scheme != u"http" && scheme != u"https")) {
        finished_ = true;
        page_.failure = Failure::BadAddress;
        QMetaObject::invokeMethod(this, &Request::finished, Qt::QueuedConnection);
        return;
    }
    const FetchLimits limits = g_limits;
    idle_ = new QTimer(this);
    idle_->setSingleShot(true);
    idle_->setInterval(limits.idleTimeoutMs);
    connect(idle_, &QTimer::timeout, this, [this] { fail(Failure::Silent); });
    deadline_ = new QTimer(this);
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, [this] { fail(Failure::TooSlow); });
    deadline_->start(limits.totalTimeoutMs);
    send(target);
}

Request::~Request() {
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
}

// Qt's own client is not used: it takes a chunked body cut off between two chunks for a whole
// one (when it finds its socket closed with nothing left to read while a body is coming, it
// ends the reply as if the body had no length of its own), and its six connections to a host
// make further requests wait in a queue while their limits run. Each request here holds one
// connection while it is in flight (a kept one of its origin, else a new one), asks for one
// answer and reads its framing itself.
void Request::send(const QUrl& url, bool fresh) {
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
    url_ = url;
    reader_ = HttpReader();
    heard_ = false;
    const bool secure = url.scheme().compare(u"https", Qt::CaseInsensitive) == 0;
    const quint16 port = quint16(url.port(secure ? 443 : 80));
    origin_ = (secure ? QStringLiteral("https://") : QStringLiteral("http://")) +
              url.host(QUrl::FullyEncoded).toLower() + u':' + QString::number(port);
    Pool* pool = fresh ? nullptr : Pool::get();
    socket_ = pool ? pool->take(origin_) : nullptr;
    reused_ = socket_ != nullptr;
    if (socket_)
        socket_->setParent(this);
    else
        socket_ = secure ? new QSslSocket(this) : new QTcpSocket(this);
    QString host = url.host(QUrl::FullyEncoded);
    if (host.contains(u':'))
        host = u'[' + host + u']';
    if (url.port() != -1)
        host += u':' + QString::number(port);
    QByteArray target =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!target.startsWith('/'))
        target.prepend('/');
    const QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: " + host.toLatin1() +
                               "\r\nUser-Agent: Lumo/" LUMO_VERSION
                               "\r\nAccept: */*\r\nAccept-Encoding: gzip, deflate\r\n\r\n";

    connect(socket_, &QTcpSocket::readyRead, this, &Request::onBytes);
    connect(socket_, &QTcpSocket::disconnected, this, &Request::onClosed);
    connect(socket_, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                switch (error) {
                case QAbstractSocket::RemoteHostClosedError:
                    return onClosed();
                case QAbstractSocket::ConnectionRefusedError:
                    return fail(Failure::Refused);
                case QAbstractSocket::HostNotFoundError:
                    return fail(Failure::HostNotFound);
                default:
                    if (!retried())
                        fail(Failure::Broken, socket_->errorString());
                    return;
                }
            });
    if (reused_) {
        idle_->start();
        socket_->write(request);
        return;
    }
    const auto write = [this, request] {
        idle_->start();
        socket_->write(request);
    };
    idle_->start(); // a host that never takes the connection is silent too
    if (auto* ssl = qobject_cast<QSslSocket*>(socket_)) {
        connect(ssl, &QSslSocket::encrypted, this, write);
        ssl->connectToHostEncrypted(url.host(), port);
    } else {
        connect(socket_, &QTcpSocket::connected, this, write);
        socket_->connectToHost(url.host(), port);
    }
}

void Request::onBytes() {
    if (finished_ || !socket_)
        return;
    idle_->start();
    const QByteArray bytes = socket_->readAll();
    heard_ = heard_ || !bytes.isEmpty();
    if (reader_.feed(bytes) == HttpReader::State::Reading) {
        if (reader_.body().size() > g_limits.maxBodyBytes)
            fail(Failure::TooLarge);
        return;
    }
    answered();
}

void Request::onClosed() {
    if (finished_ || !socket_)
        return;
    if (socket_->bytesAvailable() > 0) {
        heard_ = true;
        reader_.feed(socket_->readAll());
    }
    if (retried())
        return;
    reader_.close();
    answered();
}

bool Request::retried() {
    // A kept connection that the server closed as our request crossed it: the request was
    // not answered, and a GET may be asked again, once, on a new connection.
    if (!reused_ || heard_ || socket_->bytesAvailable() > 0 || retriedFresh_)
        return false;
    retriedFresh_ = true;
    send(url_, true);
    return true;
}

void Request::keepConnection() {
    socket_->disconnect(this);
    Pool* pool = Pool::get();
    if (pool && socket_->state() == QAbstractSocket::ConnectedState) {
        pool->put(origin_, socket_);
    } else {
        socket_->abort();
        socket_->setParent(nullptr);
        socket_->deleteLater();
    }
    socket_ = nullptr;
}

void Request::answered() {
    switch (reader_.state()) {
    case HttpReader::State::Reading:
        return;
    case HttpReader::State::CutShort:
        return reader_.headRead() ? fail(Failure::CutShort)
                                  : fail(Failure::Broken, QStringLiteral("没有回答就断开了"));
    case HttpReader::State::Malformed:
        return fail(Failure::Broken, QStringLiteral("回答不是 HTTP"));
    case HttpReader::State::Complete:
        break;
    }
    if (reader_.reusable() && socket_)
        keepConnection();
    const int status = reader_.status();
    page_.status = status;
    const QByteArray location = reader_.header("Location");
    if (isRedirect(status) && !location.isEmpty()) {
        const QUrl next = url_.resolved(QUrl(QString::fromUtf8(location), QUrl::TolerantMode));
        const QString scheme = next.scheme().toLower();
        if (!next.isValid() || next.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
            return fail(Failure::Broken, QStringLiteral("重定向到无效地址"));
        if (url_.scheme().compare(u"https", Qt::CaseInsensitive) == 0 && scheme == u"http")
            return fail(Failure::Broken, QStringLiteral("从 https 重定向到 http"));
        if (++redirects_ > g_limits.maxRedirects)
            return fail(Failure::Broken, QStringLiteral("重定向太多"));
        return send(next);
    }
    const QByteArray coding = reader_.header("Content-Encoding");
    bool tooLarge = false;
    const std::optional<QByteArray> body =
        decodeContent(reader_.body(), coding, g_limits.maxBodyBytes, &tooLarge);
    if (body)
        page_.text = BytesToText(*body, charset_);
    if (status < 200 || status > 299)
        return fail(Failure::ErrorStatus);
    if (tooLarge)
        return fail(Failure::TooLarge);
    if (!body)
        return fail(Failure::Undecodable, QString::fromLatin1(coding));
    finish();
}

void Request::abort() {
    fail(Failure::Aborted);
}

void Request::fail(Failure why, const QString& detail) {
    if (finished_)
        return;
    page_.failure = why;
    page_.detail = detail;
    if (why != Failure::ErrorStatus)
        page_.text.clear();
    finish();
}

void Request::finish() {
    // From here on nothing may take the page away again: no limit runs past the answer.
    finished_ = true;
    idle_->stop();
    deadline_->stop();
    if (socket_) {
        // The owner may delete this request from the signal, while the socket is still
        // inside its own.
        socket_->disconnect(this);
        socket_->abort();
        socket_->setParent(nullptr);
        socket_->deleteLater();
        socket_ = nullptr;
    }
    reader_ = HttpReader();
    emit finished();
}

void Lane::abort() {
    if (current_)
        current_->abort();
}

void Lane::take(Request* request) {
    abort();
    current_ = request;
}

const Page& waitFor(Request& request) {
    // The window keeps handling its events (and other handlers their own fetches) while this
    // loop sleeps until the answer is in.
    if (!request.isFinished()) {
        QEventLoop wait;
        QObject::connect(&request, &Request::finished, &wait, &QEventLoop::quit);
        wait.exec();
    }
    return request.page();
}

Page Fetch(const QString& url, const QString& charset, Lane* lane) {
    Request request(url, charset);
    if (lane)
        lane->take(&request);
    return waitFor(request);
}

QString GetPageUtf8(const QString& url, Lane* lane) {
    return Fetch(url, QStringLiteral("UTF-8"), lane).text;
}

QString GetPageGb2312(const QString& url, Lane* lane) {
    return Fetch(url, QStringLiteral("gb2312"), lane).text;
}

QString BytesToText(const QByteArray& bytes, const QString& charset) {
    const QString name = charset.trimmed().toLower();
    if (name == u"utf-8" || name == u"utf8") {
        // Stateless: a sequence cut off at the end becomes U+FFFD, not nothing.
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        return decoder.decode(bytes);
    }
    // The services write "gb2312" pages the way the other platform reads them: as code
    // page 936 (GBK), a superset that also has characters such as 堃.
    const QString icuName =
        (name == u"gb2312" || name == u"gbk") ? QStringLiteral("windows-936") : charset;
    QStringDecoder decoder(icuName.toLatin1().constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return {};
    // A lead byte left alone at the very end would be dropped silently; an ASCII byte after
    // it makes the decoder report it as U+FFFD, and is then taken off again.
    QString text = decoder.decode(bytes + '\n');
    text.chop(1);
    return text;
}

void setFetchLimits(const FetchLimits& limits) {
    g_limits = limits;
}

FetchLimits fetchLimits() {
    return g_limits;
}

} // namespace Module1
