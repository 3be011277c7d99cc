// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QWidget>
#include <array>
#include <cassert>

// The few control kinds the window needs beyond Qt's own widgets.

// A label: shows its caption as plain text (scraped text with markup shows the markup),
// can size itself to its caption, and reports clicks.
class Label : public QLabel {
    Q_OBJECT
public:
    explicit Label(const QString& caption, QWidget* parent = nullptr);

    // Sets the caption; an auto-size label then takes the size of the new caption.
    void setText(const QString& caption);
    void setAutoSize(bool on);
    bool autoSize() const { return autoSize_; }
    // Keeps an auto-size label between two x positions of its container, starting from
    // where it stands now: a caption too wide for its place moves the label left, and one
    // too wide even then is shown shortened, whole in its tooltip.
    void setRoom(int minLeft, int maxRight);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void fitRoom();

    bool autoSize_ = false;
    bool pressed_ = false;
    bool roomSet_ = false;
    bool elided_ = false;
    int homeLeft_ = 0;
    int minLeft_ = 0;
    int maxRight_ = 0;
};

// A straight line between two points of its container, for drawing only.
class Line : public QWidget {
    Q_OBJECT
public:
    explicit Line(QWidget* parent = nullptr);
    // End points in the container's pixels.
    void setPoints(QPoint from, QPoint to);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPoint from_;
    QPoint to_;
};

// Elements First..Last of a control array, addressed as `Label9(2)`.
template <class T, int First, int Last> class ControlArray {
public:
    static constexpr int first = First;
    static constexpr int last = Last;

    T* operator()(int index) const {
        assert(index >= First && index <= Last);
        return items_[static_cast<std::size_t>(index - First)];
    }
    void set(int index, T* item) { items_[static_cast<std::size_t>(index - First)] = item; }
    static constexpr bool contains(int index) { return index >= First && index <= Last; }

private:
    std::array<T*, Last - First + 1> items_{};
};
