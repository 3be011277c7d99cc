// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig.h"

#include <QLineEdit>
#include <QTest>

// Whatever the user types into the lookup box goes out as text HTTP can carry, and the
// labels show what the service answered.
class TestHostile : public QObject {
    Q_OBJECT
private slots:
    void lookupBoxText_data();
    void lookupBoxText();
};

void TestHostile::lookupBoxText_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("query"); // what follows "/DomainDel/?wd=" on the wire
    QTest::newRow("hash") << "a#b.com"
                          << "a%23b.com";
    QTest::newRow("ampersand") << "a&t=cn"
                               << "a&t=cn";
    QTest::newRow("stray percent") << "%zz"
                                   << "%25zz";
    QTest::newRow("chinese") << "中文.com"
                             << "%E4%B8%AD%E6%96%87.com";
    QTest::newRow("control characters") << QStringLiteral("a\tb\x01\x7F") << "a%09b%01%7F";
    QTest::newRow("quotes and angles") << "\"<x>\""
                                       << "%22%3Cx%3E%22";
    const QString big(100 * 1024, u'a');
    QTest::newRow("100 kB") << big << big;
}

void TestHostile::lookupBoxText() {
    QFETCH(QString, typed);
    QFETCH(QString, query);
    Rig rig;
    QByteArray page;
    for (const char* v : {"<b>1年</b>", "ok", "a&amp;b", "<i>x</i>", "2011-01-08"})
        page += QByteArray("<td class=\"deltd1\">") + v + "</td>";
    rig.server.setFallback(FixtureServer::answer(page + ">还剩：1 天<"));
    Form1& form = *rig.form;
    form.Text9->setText(typed);
    QCOMPARE(form.Text9->text(), typed); // nothing cut off on the way in
    form.Command8_Click();
    QCOMPARE(rig.server.targets(), QStringList{"/DomainDel/?wd=" + query});
    const QStringList shown = {form.Label9(1)->text(), form.Label9(3)->text(),
                               form.Label9(4)->text(), form.Label9(5)->text(),
                               form.Label9(6)->text()};
    QCOMPARE(shown, (QStringList{"1年", "a&amp;b", "<i>x</i>", "2011-01-08", "1天"}));
}

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
