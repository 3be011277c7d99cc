// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch/watchpost.h"

#include <QEventLoop>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace watch {
namespace {

// The few lines a POST takes; the fetcher only GETs. lumo-sites serves the changes on this
// machine only, so plain http is all there is to speak.
class Poster : public QObject {
public:
    Poster(const QUrl& url, const QByteArray& request) {
        const Module1::FetchLimits limits = Module1::fetchLimits();
        idle_.setSingleShot(true);
        idle_.setInterval(limits.idleTimeoutMs);
        connect(&idle_, &QTimer::timeout, this, [this] { end(Module1::Failure::Silent); });
        deadline_.setSingleShot(true);
        connect(&deadline_, &QTimer::timeout, this, [this] { end(Module1::Failure::TooSlow); });
        deadline_.start(limits.totalTimeoutMs);
        idle_.start();
        connect(&socket_, &QTcpSocket::connected, this, [this, request] {
            idle_.start();
            socket_.write(request);
        });
        connect(&socket_, &QTcpSocket::readyRead, this, [this] {
            idle_.start();
            if (reader_.feed(socket_.readAll()) != Module1::HttpReader::State::Reading)
                answered();
            else if (reader_.body().size() > Module1::fetchLimits().maxBodyBytes)
                end(Module1::Failure::TooLarge);
        });
        connect(&socket_, &QTcpSocket::disconnected, this, [this] {
            reader_.feed(socket_.readAll());
            reader_.close();
            answered();
        });
        connect(&socket_, &QAbstractSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) {
                    if (error == QAbstractSocket::RemoteHostClosedError)
                        return; // the disconnect says it
                    end(error == QAbstractSocket::ConnectionRefusedError ? Module1::Failure::Refused
                        : error == QAbstractSocket::HostNotFoundError
                            ? Module1::Failure::HostNotFound
                            : Module1::Failure::Broken,
                        socket_.errorString());
                });
        socket_.connectToHost(url.host(), quint16(url.port(80)));
    }

    void end(Module1::Failure why, const QString& detail = {}) {
        if (done_)
            return;
        done_ = true;
        page_.failure = why;
        page_.detail = detail;
        idle_.stop();
        deadline_.stop();
        socket_.disconnect(this);
        socket_.abort();
        loop_.quit();
    }

    const Module1::Page& wait() {
        if (!done_)
            loop_.exec();
        return page_;
    }

private:
    void answered() {
        using State = Module1::HttpReader::State;
        if (done_ || reader_.state() == State::Reading)
            return;
        if (reader_.state() != State::Complete)
            return end(reader_.headRead() ? Module1::Failure::CutShort : Module1::Failure::Broken,
                       QStringLiteral("回答不完整"));
        page_.status = reader_.status();
        page_.text = QString::fromUtf8(reader_.body());
        end(page_.status >= 200 && page_.status <= 299 ? Module1::Failure::None
                                                       : Module1::Failure::ErrorStatus);
    }

    QTcpSocket socket_;
    Module1::HttpReader reader_;
    QTimer idle_;
    QTimer deadline_;
    QEventLoop loop_;
    bool done_ = false;
    Module1::Page page_;
};

} // namespace

QString watchUrl(QString listingBase, const QString& path) {
    if (!listingBase.endsWith(u'/'))
        listingBase += u'/';
    return listingBase + QStringLiteral("lumo/") + path;
}

Module1::Page post(const QString& url, const QByteArray& token, const QByteArray& body) {
    const QUrl target(url);
    if (!target.isValid() || target.host().isEmpty() || target.scheme().toLower() != u"http") {
        Module1::Page page;
        page.failure = Module1::Failure::BadAddress;
        return page;
    }
    QString host = target.host(QUrl::FullyEncoded);
    if (host.contains(u':'))
        host = u'[' + host + u']';
    if (target.port() != -1)
        host += u':' + QString::number(target.port());
    const QByteArray request =
        "POST " + target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) +
        " HTTP/1.1\r\nHost: " + host.toLatin1() +
        "\r\nUser-Agent: Lumo\r\nAccept: application/json\r\n"
        "Content-Type: application/json\r\nX-Lumo-Token: " +
        token + "\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\nConnection: close\r\n\r\n" + body;
    Poster poster(target, request);
    return poster.wait();
}

} // namespace watch
