// SPDX-License-Identifier: GPL-3.0-or-later
// Random sequences of user actions against a server that answers late, out of order or not at
// all: whatever nests inside whatever, the window ends in a state that makes sense.
// LUMO_SEED=N replays the one sequence a failure names.
#include "rig.h"

#include <QApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

namespace {

// The listing's six days; day d (1 to 6) is 2011-05-0d.
const char* const Suffixes[] = {"", ".com", ".net", ".org", ".info", ".biz", ".cn", ".com.cn"};

QString dateOf(int day) {
    return QStringLiteral("2011-05-0%1").arg(day);
}

int dayOf(const QString& date) {
    for (int d = 1; d <= 6; ++d)
        if (date == dateOf(d))
            return d;
    return 0;
}

int countOf(int day, int length, int suffix) {
    return (day * 37 + length * 11 + suffix * 5) % 260;
}

QByteArray pageFor(const QString& origin, const QString& target) {
    const QUrl url(origin + target);
    const QUrlQuery query(url);
    const int day = dayOf(query.queryItemValue("date"));
    QString page;
    if (url.path() == "/") {
        page = "<h2>四天后的删除域名查询</h2><table>";
        for (int d : {1, 2, 4, 5, 6})
            page += "<a>" + dateOf(d) + "</a>";
        page += "</table><a>今天</a> &nbsp;&nbsp; " + dateOf(3) + " 删除";
    } else if (url.path() == "/deleteddate.php" && day) {
        page = "<td noWrap><font color=red>" + dateOf(day) + "</font>";
        for (int s = 1; s <= 7; ++s)
            for (int length = 3; length <= 7; ++length)
                page += QStringLiteral("<a href=\"x&length=%1\">%2</a>")
                            .arg(length)
                            .arg(countOf(day, length, s));
    } else if (url.path() == "/deleteddomain.php" && day) {
        const int length = query.queryItemValue("length").toInt();
        const int suffix =
            int(std::find(std::begin(Suffixes), std::end(Suffixes), query.queryItemValue("tld")) -
                std::begin(Suffixes));
        const int first = (query.queryItemValue("page").toInt() - 1) * 100;
        const int count = suffix <= 7 ? countOf(day, length, suffix) : 0;
        for (int k = qMax(0, first); k < qMin(count, first + 100); ++k)
            page += QStringLiteral("<a href=%1/whois.php?domain=d%2l%3s%4k%5%6>x</a>")
                        .arg(origin)
                        .arg(day)
                        .arg(length)
                        .arg(suffix)
                        .arg(k)
                        .arg(QLatin1String(Suffixes[suffix]));
    } else if (url.path() == "/DomainDel/") {
        page = "<td class=\"deltd1\">1年</td><td class=\"deltd1\">x</td>还剩：1天";
    } else if (url.path() == "/lumo/rideve.txt") {
        page = "9.0\r\n";
    }
    return page.toUtf8();
}

// What must hold once everything has answered; empty when it does.
QString brokenRule(Rig& rig, bool loadUnderCover) {
    Form1& f = *rig.form;
    if (!f.Picture1->isHidden() || !f.Frame4->isHidden())
        return "a cover is left up";
    if (loadUnderCover)
        return "a date was loaded under the start-up cover";
    const int day = dayOf(f.Text7->text());
    if (!day && f.Text7->text() != "Text7")
        return "the grid's day is " + f.Text7->text();
    if (day && f.Label1(0)->text() != f.Text7->text() + "删除的域名")
        return "the title is " + f.Label1(0)->text();
    for (int length = 3; length <= 7; ++length)
        for (int s = 1; s <= 7; ++s)
            if (rig.cell(length, s)->text() !=
                (day ? QString::number(countOf(day, length, s)) : QStringLiteral("...")))
                return QStringLiteral("cell %1/%2 shows another day").arg(length).arg(s);
    static const QRegularExpression name(QStringLiteral("^d(\\d)l(\\d)s(\\d)k\\d+\\."));
    QSet<QString> names;
    QString cell;
    for (int i = 0; i < f.List1->count(); ++i) {
        const QString text = f.List1->item(i)->text();
        const QRegularExpressionMatch m = name.match(text);
        if (!m.hasMatch() || (!cell.isEmpty() && text.left(6) != cell))
            return "the list mixes cells: " + text;
        cell = text.left(6);
        if (names.contains(text))
            return "the list repeats " + text;
        names.insert(text);
        if (f.List1->count() >
            countOf(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()))
            return "the list holds more than its cell's count";
    }
    return {};
}

// Clicks what the user sees at the centre of `w`: a cover over it takes the click.
void clickAt(Form1& form, QWidget* w, QPoint at = {}) {
    const QPoint p = w->mapTo(&form, at.isNull() ? w->rect().center() : at);
    QWidget* top = form.childAt(p);
    if (top)
        QTest::mouseClick(top, Qt::LeftButton, {}, top->mapFrom(&form, p));
}

// One sequence; empty when every rule held.
QString runSequence(quint32 seed) {
    QRandomGenerator rng(seed);
    Rig rig;
    Form1& form = *rig.form;
    FixtureServer& server = rig.server;
    QStringList held;
    bool loadUnderCover = false;
    server.onRequest = [&](const QString& target) {
        loadUnderCover |= target.startsWith("/deleteddate.php") && !form.Picture1->isHidden();
        const QByteArray body = pageFor(server.origin(), target);
        const quint32 roll = rng.bounded(100);
        if (roll < 4)
            return server.setReply(target, FixtureServer::closing());
        if (roll < 40)
            held << target;
        server.setReply(target,
                        roll < 40 ? FixtureServer::held(body) : FixtureServer::answer(body));
    };
    const auto releaseOne = [&] {
        if (held.isEmpty())
            return;
        const QString target = held.takeAt(int(rng.bounded(held.size())));
        held.removeAll(target);
        server.release(target);
    };
    int boxes = 0; // a modal box keeps the user's hands off the window
    form.MsgBox = [&](const QString&, int, const QString& caption) {
        ++boxes;
        QEventLoop box;
        QTimer::singleShot(int(rng.bounded(15)), &box, &QEventLoop::quit);
        box.exec();
        --boxes;
        return caption == "发现最新版本" && rng.bounded(2) ? MsgBoxOk : MsgBoxCancel;
    };
    form.show();
    form.Timer1->start(int(rng.bounded(20)));
    form.Timer3->start(int(rng.bounded(30)));

    const QList<QWidget*> dateButtons = {form.Command1, form.Command2, form.Command3,
                                         form.Command4, form.Command5, form.Command6};
    int actions = 20 + int(rng.bounded(20));
    QTimer actor;
    actor.callOnTimeout([&] {
        actor.setInterval(rng.bounded(4) == 0 ? 2 : 0);
        if (actions <= 0 || boxes > 0 || rng.bounded(3) == 0)
            return releaseOne();
        --actions;
        switch (rng.bounded(8)) {
        case 0:
            return clickAt(form, dateButtons.at(int(rng.bounded(6))));
        case 1:
        case 2:
            return clickAt(form, rig.cell(3 + int(rng.bounded(5)), 1 + int(rng.bounded(7))));
        case 3:
            return clickAt(form, form.Command7);
        case 4:
            form.Text9->setText(form.List1->count() ? form.List1->item(0)->text() : QString());
            return clickAt(form, form.Command8);
        case 5:
            form.close();
            return;
        case 6: {
            const Qt::Key keys[] = {Qt::Key_Space,   Qt::Key_Return, Qt::Key_Tab,
                                    Qt::Key_Backtab, Qt::Key_Down,   Qt::Key_Up};
            QWidget* focus = QApplication::focusWidget();
            return QTest::keyClick(focus ? focus : &form, keys[rng.bounded(6)]);
        }
        default:
            if (form.List1->count())
                clickAt(form, form.List1->viewport(),
                        form.List1->visualItemRect(form.List1->item(0)).center());
        }
    });
    // Everything has answered once the handlers have all returned to this loop with nothing
    // left to do; a quit asked for inside them takes effect only then.
    const auto settled = [&] {
        return actions <= 0 && held.isEmpty() && !form.Timer1->isActive() &&
               !form.Timer3->isActive();
    };
    bool timedOut = false;
    QEventLoop top;
    QTimer::singleShot(60000, &top, [&] { timedOut = true; });
    actor.callOnTimeout([&] {
        if (settled() || timedOut)
            top.quit();
    });
    actor.start(0);
    while (!settled() && !timedOut)
        top.exec();
    actor.stop();
    return timedOut ? QStringLiteral("never settled") : brokenRule(rig, loadUnderCover);
}

} // namespace

class TestInterleavings : public QObject {
    Q_OBJECT
private slots:
    void randomSequences();
};

void TestInterleavings::randomSequences() {
    Module1::FetchLimits limits;
    limits.idleTimeoutMs = 5000;
    Module1::setFetchLimits(limits);
    const QByteArray replay = qgetenv("LUMO_SEED");
    const quint32 first = replay.isEmpty() ? 20261207 : replay.toUInt();
    const int runs = replay.isEmpty() ? 200 : 1;
    for (quint32 seed = first; seed < first + quint32(runs); ++seed) {
        const QString broken = runSequence(seed);
        QVERIFY2(broken.isEmpty(),
                 qPrintable(QStringLiteral("LUMO_SEED=%1: %2").arg(seed).arg(broken)));
    }
}

QTEST_MAIN(TestInterleavings)
#include "tst_interleavings.moc"
