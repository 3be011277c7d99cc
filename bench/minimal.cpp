// SPDX-License-Identifier: GPL-3.0-or-later
// The reference for start-up and idle memory: the least a Qt Widgets program can do to show a
// window and fetch one page half a second later, as the window does at start.
//   bench_minimal URL
#include <QApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QUrl url(QString::fromLocal8Bit(argv[1]));
    QWidget window;
    window.setWindowTitle(QStringLiteral("minimal"));
    window.setFixedSize(736, 277);
    window.show();
    QNetworkAccessManager manager;
    QTimer::singleShot(500, &window, [&] {
        QNetworkReply* reply = manager.get(QNetworkRequest(url));
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply] {
            reply->readAll();
            reply->deleteLater();
        });
    });
    return app.exec();
}
