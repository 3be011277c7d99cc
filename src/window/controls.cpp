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
}

void Label::setAutoSize(bool on) {
    autoSize_ = on;
    if (on)
        adjustSize();
}

void Label::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    QLabel::mousePressEvent(event);
}

void Label::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
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
