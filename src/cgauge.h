// CGauge: a horizontal progress bar with its percentage drawn in inverted colours.
#pragma once

#include <QWidget>

class CGauge : public QWidget {
    Q_OBJECT

public:
    explicit CGauge(QWidget* parent = nullptr);

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int position() const { return m_position; }
    // (position - minimum) * 100 / (maximum - minimum), 0 for an empty range.
    int percent() const;

    void setMinimum(int value);
    void setMaximum(int value);
    // Kept within the range.
    void setPosition(int value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void clampPosition();
    int barWidth(int innerWidth) const;

    int m_minimum = 0;
    int m_maximum = 100;
    int m_position = 0;
};
