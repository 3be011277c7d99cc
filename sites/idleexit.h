// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTcpServer>
#include <QTimer>
#include <chrono>

namespace sites {

// A listening socket that knows when nobody uses it: once no connection has been open for
// the idle time, the application quits. A program that keeps a connection open, even one that
// sends nothing, keeps the sites up.
class IdleServer : public QTcpServer {
public:
    explicit IdleServer(QObject* parent = nullptr);
    // From now on; without a call the server never ends by itself.
    void quitWhenIdle(std::chrono::milliseconds idle);
    int openConnections() const { return open_; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void closed();

    QTimer idle_;
    bool quits_ = false;
    int open_ = 0;
};

} // namespace sites
