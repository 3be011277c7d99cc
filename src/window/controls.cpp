// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/controls.h"

#include <QMouseEvent>
#include <QPainter>

Label::Label(const QString& caption, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setText(caption);
}

void Label::setText(const QString& caption) {
    QLabel::setText(caption);
    if (autoSize_)
        adjustSize();
    if (roomSet_)
        fitRoom();
}

void Label::setAutoSize(bool on) {
    autoSize_ = on;
    if (on)
        adjustSize();
}

void Label::setRoom(int minLeft, int maxRight) {
    roomSet_ = true;
    homeLeft_ = x();
    minLeft_ = minLeft;
    maxRight_ = maxRight;
    fitRoom();
}

void Label::fitRoom() {
    const int wanted = sizeHint().width();
    const int left =
        homeLeft_ + wanted <= maxRight_ ? homeLeft_ : std::max(minLeft_, maxRight_ - wanted);
    elided_ = left + wanted > maxRight_;
    setGeometry(left, y(), std::min(wanted, maxRight_ - left), height());
    setToolTip(elided_ ? text() : QString());
}

void Label::paintEvent(QPaintEvent* event) {
    if (!elided_) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRect box = contentsRect();
    painter.drawText(box, int(alignment()),
                     fontMetrics().elidedText(text(), Qt::ElideRight, box.width()));
}

void Label::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    QLabel::mousePressEvent(event);
}

void Label::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

Line::Line(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void Line::setPoints(QPoint from, QPoint to) {
    from_ = from;
    to_ = to;
    // The widget spans the line, one pixel wide at least, so that it paints nothing else.
    const QRect box = QRect(from, to).normalized();
    setGeometry(box);
    update();
}

void Line::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawLine(from_ - pos(), to_ - pos());
}
