// SPDX-License-Identifier: GPL-3.0-or-later
#include "idleexit.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <memory>
#include <utility>

namespace sites {

IdleServer::IdleServer(QObject* parent) : QTcpServer(parent) {
    idle_.setSingleShot(true);
    connect(&idle_, &QTimer::timeout, qApp, &QCoreApplication::quit);
}

void IdleServer::quitWhenIdle(std::chrono::milliseconds idle) {
    quits_ = true;
    idle_.setInterval(idle);
    if (open_ == 0)
        idle_.start();
}

void IdleServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    ++open_;
    idle_.stop();
    // The HTTP server deletes a socket when its peer goes, or keeps it a while: whichever
    // comes first ends the connection's count, once.
    auto counted = std::make_shared<bool>(true);
    const auto close = [this, counted] {
        if (std::exchange(*counted, false))
            closed();
    };
    connect(socket, &QTcpSocket::disconnected, this, close);
    connect(socket, &QObject::destroyed, this, close);
    addPendingConnection(socket);
}

void IdleServer::closed() {
    if (--open_ == 0 && quits_)
        idle_.start();
}

} // namespace sites
