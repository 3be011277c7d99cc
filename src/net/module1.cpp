// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/module1.h"

#include <QEventLoop>
#include <QSslSocket>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTimer>

namespace Module1 {
namespace {

FetchLimits g_limits;

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

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
// make further requests wait in a queue while their limits run. Each request here has one
// connection, asks for one answer and reads its framing itself.
void Request::send(const QUrl& url) {
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
    }
    url_ = url;
    reader_ = HttpReader();
    const bool secure = url.scheme().compare(u"https", Qt::CaseInsensitive) == 0;
    socket_ = secure ? new QSslSocket(this) : new QTcpSocket(this);
    const quint16 port = quint16(url.port(secure ? 443 : 80));
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
                               "\r\nAccept: */*\r\nAccept-Encoding: gzip, deflate\r\n"
                               "Connection: close\r\n\r\n";

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
                    return fail(Failure::Broken, socket_->errorString());
                }
            });
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
    if (socket_->bytesAvailable() > 0)
        reader_.feed(socket_->readAll());
    reader_.close();
    answered();
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
