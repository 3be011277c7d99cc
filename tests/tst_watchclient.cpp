// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig.h"

#include "watch/watchlist.h"
#include "window/following.h"
#include "window/listmenu.h"
#include "window/watchdialog.h"
#include "window/windowbus.h"

#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>

namespace {

const QByteArray token = "00112233445566778899aabbccddeeff";

QByteArray json(const QJsonValue& value) {
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

// lumo-sites' watch addresses over a list kept in memory: changes need the token, a check
// is answered at the next read of the list, and "refused.com" is no domain name to it.
struct WatchServer {
    FixtureServer server;
    QMap<QString, QJsonObject> names;
    QJsonArray events;
    QStringList queued;

    WatchServer() {
        server.respond = [this](const FixtureServer::Request& r) { return answer(r); };
    }

    std::optional<FixtureServer::Reply> answer(const FixtureServer::Request& r) {
        const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        if (r.method == "GET" && r.target == u"/lumo/watch.json") {
            for (const QString& name : std::exchange(queued, {})) {
                QJsonObject& w = names[name];
                const QString before = w.value("status").toString();
                w["status"] = "赎回期";
                w["deleted"] = "2027-01-02";
                w["approximate"] = !name.endsWith(".se");
                w["releaseTime"] = name.endsWith(".se") ? QJsonValue("04:00 UTC") : QJsonValue();
                w["checked"] = now;
                w["event"] = QJsonObject{
                    {"kind", "status"}, {"text", before + " → 赎回期"}, {"at", now}};
                events.append(QJsonObject{{"name", name}, {"kind", "status"},
                                          {"text", before + " → 赎回期"}, {"at", now}});
            }
            QJsonArray list;
            for (const QJsonObject& w : names)
                list.append(w);
            return FixtureServer::answer(json(QJsonObject{{"names", list}, {"pending", 0}}));
        }
        if (r.method == "GET" && r.target.startsWith(u"/lumo/watch-events.json"))
            return FixtureServer::answer(json(events));
        if (r.method != "POST" || !r.target.startsWith(u"/lumo/watch/"))
            return std::nullopt;
        if (r.headers.value("x-lumo-token") != token)
            return FixtureServer::answer(R"({"error":"令牌不对"})", 403);
        QStringList asked;
        for (const QJsonValue& v : QJsonDocument::fromJson(r.body).object().value("names").toArray())
            asked << v.toString();
        if (asked.contains("refused.com"))
            return FixtureServer::answer(R"({"error":"不是域名","invalid":["refused.com"]})", 400);
        QJsonArray done, left;
        const QString what = r.target.mid(12);
        for (const QString& name : asked) {
            const bool known = names.contains(name);
            if (what == u"add" && !known)
                names[name] = QJsonObject{
                    {"name", name},         {"added", now},        {"status", "已注册"},
                    {"registered", QJsonValue()}, {"expires", QJsonValue()},
                    {"deleted", QJsonValue()},    {"approximate", false},
                    {"releaseTime", QJsonValue()}, {"checked", QJsonValue()},
                    {"failures", 0},        {"event", QJsonValue()}};
            if (what == u"remove")
                names.remove(name);
            if (what == u"check")
                queued << name;
            ((what == u"add") != known ? done : left).append(name);
        }
        if (what == u"check")
            return FixtureServer::answer(json(QJsonObject{{"queued", done}}), 202);
        const bool add = what == u"add";
        return FixtureServer::answer(json(QJsonObject{{add ? "added" : "removed", done},
                                                       {add ? "already" : "unknown", left}}));
    }
};

} // namespace

// The followed names from lumo-cli and from the window, against a service of their own.
class TestWatchClient : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cli_data();
    void cli();
    void parsers_data();
    void parsers();
    void dialogRows_data();
    void dialogRows();
    void windowPosts_data();
    void windowPosts();
    void busLooksUp();

private:
    WatchServer sites_;
    QTemporaryDir dir_;
};

void TestWatchClient::initTestCase() {
    qputenv("TZ", "UTC");
    QVERIFY(sites_.server.listen());
    QFile file(dir_.filePath("token"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(token + '\n');
    file.close();
    QFile wrong(dir_.filePath("wrong"));
    QVERIFY(wrong.open(QIODevice::WriteOnly));
    wrong.write("ffff\n");
}

void TestWatchClient::cli_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out"); // times as T
    QTest::addColumn<QString>("err");
    // In order: each row works on the list the rows before left.
    QTest::newRow("add") << QStringList{"add", "abcd.com", "中文.cn", "abcd.se", "--format", "csv"}
                         << 0 << "name,result\r\nabcd.com,added\r\n中文.cn,added\r\nabcd.se,added\r\n"
                         << "";
    QTest::newRow("add again") << QStringList{"add", "abcd.com"} << 0 << "abcd.com  早已关注\n"
                               << "";
    QTest::newRow("list before a check")
        << QStringList{"list", "--format", "csv"} << 0
        << "name,status,deleted,approximate,checked,event,releaseTime\r\n"
           "abcd.com,已注册,,false,,,\r\nabcd.se,已注册,,false,,,\r\n中文.cn,已注册,,false,,,\r\n"
        << "";
    QTest::newRow("check waits for the answers")
        << QStringList{"check", "abcd.com", "abcd.se", "--format", "csv"} << 0
        << "name,status,deleted,approximate,checked,event,releaseTime\r\n"
           "abcd.com,赎回期,2027-01-02,true,T,已注册 → 赎回期,\r\n"
           "abcd.se,赎回期,2027-01-02,false,T,已注册 → 赎回期,04:00 UTC\r\n"
        << "";
    QTest::newRow("remove") << QStringList{"remove", "abcd.com", "nosuch.com", "--format", "json"}
                            << 0
                            << "[\n  {\"name\": \"abcd.com\", \"result\": \"removed\"},\n  "
                               "{\"name\": \"nosuch.com\", \"result\": \"unknown\"}\n]\n"
                            << "";
    QTest::newRow("list as json")
        << QStringList{"list", "--format", "json"} << 0
        << "[\n  {\"name\": \"abcd.se\", \"status\": \"赎回期\", \"deleted\": \"2027-01-02\", "
           "\"approximate\": false, \"checked\": \"T\", \"event\": \"已注册 → 赎回期\", "
           "\"releaseTime\": \"04:00 UTC\"},\n  {\"name\": \"中文.cn\", \"status\": \"已注册\", "
           "\"deleted\": null, \"approximate\": false, \"checked\": null, \"event\": null, "
           "\"releaseTime\": null}\n]\n"
        << "";
    QTest::newRow("events") << QStringList{"events", "--since", "2026-01-01", "--format", "csv"}
                            << 0
                            << "name,kind,text,at\r\nabcd.com,status,已注册 → 赎回期,T\r\n"
                               "abcd.se,status,已注册 → 赎回期,T\r\n"
                            << "";
    QTest::newRow("not a domain name")
        << QStringList{"add", "abcd.com", "abcd", "a b.com"} << 2 << ""
        << "lumo-cli：不是域名：abcd, a b.com\n";
    QTest::newRow("refused by the service") << QStringList{"add", "refused.com"} << 2 << ""
                                            << "lumo-cli：不是域名：refused.com\n";
    QTest::newRow("no token file")
        << QStringList{"remove", "abcd.se", "--token-file", dir_.filePath("none")} << 1 << ""
        << "lumo-cli：没有关注令牌文件 " + dir_.filePath("none") + "（lumo-sites 第一次运行时生成它）\n";
    QTest::newRow("wrong token")
        << QStringList{"check", "--token-file", dir_.filePath("wrong")} << 1 << ""
        << "lumo-cli：" + sites_.server.origin() + "/lumo/watch/check：服务器回答 HTTP 403：令牌不对\n";
    QTest::newRow("since not a day") << QStringList{"events", "--since", "2026-13-01"} << 2 << ""
                                     << "lumo-cli：--since 要 YYYY-MM-DD 形式的日期，不是 2026-13-01\n";
    QTest::newRow("no subcommand") << QStringList{} << 2 << ""
                                   << "lumo-cli：watch 缺少子命令：add, remove, list, check, events\n";
}

void TestWatchClient::cli() {
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess process;
    const QStringList token =
        arguments.contains("--token-file") ? QStringList() : QStringList{"--token-file", dir_.filePath("token")};
    process.start(LUMO_CLI_PROGRAM, QStringList{"watch", "--listing-url", sites_.server.origin() + "/"} +
                                        token + arguments);
    QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 20000);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), err);
    QCOMPARE(process.exitCode(), code);
    static const QRegularExpression time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).replace(time, "T"), out);
}

void TestWatchClient::parsers_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("valid");
    const QByteArray row = R"({"name":"a.com","added":"2026-12-08T10:00:00Z","status":"赎回期",
        "registered":"2009-03-04","expires":null,"deleted":"2027-01-02","approximate":true,
        "releaseTime":null,"checked":null,"failures":0,"event":
        {"kind":"status","text":"x","at":"2026-12-08T10:00:05Z"}})";
    const auto list = [&](const QByteArray& r) { return R"({"pending":0,"names":[)" + r + "]}"; };
    QTest::newRow("list") << list(row) << true;
    QTest::newRow("empty list") << list("") << true;
    QTest::newRow("no pending") << QByteArray(R"({"names":[]})") << false;
    QTest::newRow("day not a day") << list(QByteArray(row).replace("2027-01-02", "2027-02-30"))
                                   << false;
    QTest::newRow("unknown kind") << list(QByteArray(row).replace("\"status\",", "\"odd\","))
                                  << false;
    QTest::newRow("approximate not a flag")
        << list(QByteArray(row).replace("approximate\":true", "approximate\":1")) << false;
    QTest::newRow("negative failures")
        << list(QByteArray(row).replace("failures\":0", "failures\":-1")) << false;
    QTest::newRow("events") << QByteArray(R"([{"name":"a.com","kind":"taken","text":"x",
        "at":"2026-12-08T10:00:05Z"}])") << true;
    QTest::newRow("event without a time")
        << QByteArray(R"([{"name":"a.com","kind":"taken","text":"x","at":"soon"}])") << false;
}

void TestWatchClient::parsers() {
    QFETCH(QByteArray, json);
    QFETCH(bool, valid);
    QCOMPARE(json.startsWith('[') ? watch::parseEvents(json).has_value()
                                  : watch::parseWatchList(json).has_value(),
             valid);
}

void TestWatchClient::dialogRows_data() {
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QStringList>("cells");
    const QByteArray common = R"("added":"2026-12-01T00:00:00Z","registered":null,
        "expires":null,"failures":0,)";
    QTest::newRow("estimate marked")
        << common + R"("name":"abcd.com","status":"赎回期","deleted":"2027-01-02",
            "approximate":true,"releaseTime":null,"checked":"2026-12-08T10:00:05Z",
            "event":{"kind":"status","text":"已注册 → 赎回期","at":"2026-12-08T10:00:05Z"})"
        << QStringList{"abcd.com", "赎回期", "≈2027-01-02", "2026-12-08 10:00", "已注册 → 赎回期"};
    QTest::newRow("release time")
        << common + R"("name":"abcd.top","status":"待删除","deleted":"2026-12-09",
            "approximate":false,"releaseTime":"14:30 北京时间","checked":"2026-12-08T10:00:05Z",
            "event":null)"
        << QStringList{"abcd.top", "待删除", "2026-12-09 14:30 北京时间", "2026-12-08 10:00", "-"};
    QTest::newRow("never checked")
        << common + R"("name":"new.net","status":"已注册","deleted":null,"approximate":false,
            "releaseTime":null,"checked":null,"event":null)"
        << QStringList{"new.net", "已注册", "-", "-", "-"};
}

void TestWatchClient::dialogRows() {
    QFETCH(QByteArray, entry);
    QFETCH(QStringList, cells);
    Rig rig;
    rig.server.setReply("/lumo/watch.json",
                        FixtureServer::answer(R"({"pending":0,"names":[{)" + entry + "}]}"));
    rig.form->listMenu->followedAction->trigger();
    WatchDialog* dialog = rig.form->following->dialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->table->rowCount(), 1);
    QStringList shown;
    for (int column = 0; column < WatchDialog::Columns; ++column)
        shown << dialog->table->item(0, column)->text();
    QCOMPARE(shown, cells);
    QCOMPARE(dialog->table->item(0, WatchDialog::Deleted)->toolTip().isEmpty(),
             !cells.at(2).startsWith("≈"));
}

void TestWatchClient::windowPosts_data() {
    QTest::addColumn<QString>("control"); // a menu entry, the lookup's button or the dialog's
    QTest::addColumn<bool>("followed");   // the names followed before
    QTest::addColumn<bool>("tokenFile");
    QTest::addColumn<QString>("target");  // empty: nothing sent
    QTest::addColumn<QString>("caption"); // the lookup button's caption after it
    QTest::newRow("menu follows") << "follow" << false << true << "/lumo/watch/add" << "已关注";
    QTest::newRow("menu unfollows") << "unfollow" << true << true << "/lumo/watch/remove" << "关注";
    QTest::newRow("button follows") << "button" << false << true << "/lumo/watch/add" << "已关注";
    QTest::newRow("button unfollows") << "button" << true << true << "/lumo/watch/remove" << "关注";
    QTest::newRow("dialog removes") << "remove" << true << true << "/lumo/watch/remove" << "关注";
    QTest::newRow("dialog checks") << "check" << true << true << "/lumo/watch/check" << "已关注";
    QTest::newRow("no token file") << "follow" << false << false << "" << "关注";
}

void TestWatchClient::windowPosts() {
    QFETCH(QString, control);
    QFETCH(bool, followed);
    QFETCH(bool, tokenFile);
    QFETCH(QString, target);
    QFETCH(QString, caption);
    Rig rig;
    WatchServer sites;
    rig.server.respond = [&sites](const FixtureServer::Request& r) { return sites.answer(r); };
    const QStringList names = control == u"button" ? QStringList{"n1.com"} : QStringList{"n1.com", "n2.com"};
    if (followed) {
        for (const QString& name : names)
            sites.names[name] = QJsonObject{{"name", name}, {"added", "2026-12-08T00:00:00Z"},
                                            {"status", "已注册"}, {"approximate", false},
                                            {"failures", 0}, {"deleted", QJsonValue()},
                                            {"checked", QJsonValue()}, {"event", QJsonValue()}};
        QVERIFY(rig.form->following->load());
    }
    if (!tokenFile)
        QVERIFY(QFile::remove(rig.tokenPath()));
    rig.form->List1->addItems({"n1.com", "n2.com", "n3.com"});
    for (int row = 0; row < names.size(); ++row)
        rig.form->List1->item(row)->setSelected(true);
    rig.form->Text9->setText("n1.com");
    QCOMPARE(rig.form->Command12->text(), followed ? "已关注" : "关注");

    if (control == u"follow" || control == u"unfollow") {
        (control == u"follow" ? rig.form->listMenu->followAction : rig.form->listMenu->unfollowAction)
            ->trigger();
    } else if (control == u"button") {
        rig.form->Command12->click();
    } else {
        rig.form->listMenu->followedAction->trigger();
        WatchDialog* dialog = rig.form->following->dialog();
        QVERIFY(dialog);
        dialog->table->selectRow(0);
        if (control == u"remove") {
            dialog->table->selectionModel()->select(
                dialog->table->model()->index(1, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
            dialog->removeButton->click();
            QCOMPARE(dialog->table->rowCount(), 0); // shown again as it now stands
        } else {
            dialog->checkButton->click();
            QTRY_VERIFY(dialog->state->text().contains("检查完毕"));
        }
    }

    QList<FixtureServer::Request> posts;
    for (const FixtureServer::Request& r : rig.server.requests())
        if (r.method == "POST")
            posts << r;
    QCOMPARE(posts.size(), target.isEmpty() ? 0 : 1);
    if (!target.isEmpty()) {
        QCOMPARE(posts.first().target, target);
        QCOMPARE(posts.first().headers.value("x-lumo-token"), token);
        QCOMPARE(posts.first().headers.value("host"),
                 QStringLiteral("127.0.0.1:%1").arg(rig.server.port()).toLatin1());
        const QByteArray body = control == u"check" ? R"({"names":["n1.com"]})"
                                : names.size() == 1 ? R"({"names":["n1.com"]})"
                                                    : R"({"names":["n1.com","n2.com"]})";
        QCOMPARE(posts.first().body, body);
    } else {
        QCOMPARE(rig.boxes.size(), 1);
        QVERIFY2(rig.boxes.first().startsWith("没有关注令牌文件"), qPrintable(rig.boxes.first()));
    }
    QCOMPARE(rig.form->Command12->text(), caption);
}

void TestWatchClient::busLooksUp() {
    Rig rig;
    WindowBus bus(*rig.form);
    bus.Lookup(" abcd.com ");
    QTRY_VERIFY(rig.server.targets().contains("/DomainDel/?wd=abcd.com"));
    QCOMPARE(rig.form->Text9->text(), "abcd.com");
}

QTEST_MAIN(TestWatchClient)
#include "tst_watchclient.moc"
