// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

namespace {

using Six = QStringList; // Label9(1) .. Label9(6)

// A page the way the service lays it out: the cells, then the countdown.
QByteArray servicePage(const QStringList& cells, const QString& countdown) {
    QString page = QStringLiteral("<html><table><tr>");
    for (const QString& c : cells)
        page += QStringLiteral("<td class=\"deltd\">x</td><td class=\"deltd1\">") + c + "</td>";
    return (page + "</tr></table><div>还剩：" + countdown + "</div></html>").toUtf8();
}

struct Window : Rig {
    Six labels() const {
        Six out;
        for (int i = 1; i <= 6; ++i)
            out << form->Label9(i)->text();
        return out;
    }
};

} // namespace

class TestLookup : public QObject {
    Q_OBJECT
private slots:
    // What the labels show for a page. The name goes out with its blanks; before it, a click
    // on the empty box asks for a name and sends nothing.
    void shows_data() {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<Six>("expected");
        QTest::newRow("bold and approximate mark removed, other markup and blanks kept")
            << servicePage({"<b>1</b>(近似值)", "<B>2</B>", " 3 ", "<i>4</i>", "5"}, "6 天")
            << Six{"1", "<B>2</B>", " 3 ", "<i>4</i>", "5", "6天"};
        QTest::newRow("sixth cell ignored, countdown loses U+0020 only")
            << servicePage({"1", "2", "3", "4", "5", "6"}, " 3 天\u00A04\t小时 ")
            << Six{"1", "2", "3", "4", "5", "3天\u00A04\t小时"};
        QTest::newRow("no markers") << QByteArray("<td class=\"deltd\">x</td> 还剩：3天") << Six(6);
        QTest::newRow("fewer than five cells")
            << servicePage({"1", "2"}, "9") << Six{"1", "2", "", "", "", "9"};
    }
    void shows() {
        QFETCH(QByteArray, page);
        QFETCH(Six, expected);
        Window w;
        w.server.setFallback(FixtureServer::answer(page));
        w.form->Command8->click();
        QCOMPARE(w.boxes, QStringList{"请输入查询域名"});
        w.form->Text9->setText(" a b.com ");
        w.form->Command8->click();
        QCOMPARE(w.server.targets(), QStringList{"/DomainDel/?wd=%20a%20b.com%20"});
        QCOMPARE(w.labels(), expected);
    }

    // A second click comes while the first waits for its page; either page may answer first.
    void overlapping() {
        const QString older = "/DomainDel/?wd=a.com", newer = "/DomainDel/?wd=b.com";
        for (bool olderFirst : {false, true}) {
            Window w;
            w.server.setReply(older, FixtureServer::held(servicePage(Six(5, "a"), "a")));
            w.server.setReply(newer, FixtureServer::held(servicePage(Six(5, "b"), "b")));
            w.server.onRequest = [&](const QString& target) {
                if (target == older)
                    QTimer::singleShot(0, w.form.get(), [&] {
                        if (olderFirst)
                            w.server.release(older);
                        w.form->Text9->setText("b.com");
                        w.form->Command8_Click();
                        w.server.release(older);
                    });
                else
                    QTimer::singleShot(olderFirst ? 200 : 0, [&] { w.server.release(newer); });
            };
            w.form->Text9->setText("a.com");
            w.form->Command8_Click();
            QCOMPARE(w.server.targets(), (QStringList{older, newer}));
            QVERIFY2(w.labels() == Six(6, "b"), olderFirst ? "older first" : "newer first");
        }
    }
};

QTEST_MAIN(TestLookup)
#include "tst_lookup.moc"
