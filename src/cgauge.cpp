// CGauge: black bar on white, single border, percentage text that inverts what lies beneath.
#include "cgauge.h"

#include <QPainter>
#include <QRegion>
#include <algorithm>

namespace {

constexpr int kBorder = 1;  // single black frame

}  // namespace

CGauge::CGauge(QWidget* parent) : QWidget(parent) {}

int CGauge::percent() const {
    if (m_maximum <= m_minimum) {
        return 0;
    }
    const qint64 done = qint64(m_position) - m_minimum;
    return int(done * 100 / (qint64(m_maximum) - m_minimum));
}

void CGauge::setMinimum(int value) {
    m_minimum = value;
    clampPosition();
}

void CGauge::setMaximum(int value) {
    m_maximum = value;
    clampPosition();
}

void CGauge::setPosition(int value) {
    m_position = value;
    clampPosition();
}

void CGauge::clampPosition() {
    // An inverted range collapses onto the minimum.
    m_position = std::max(m_minimum, std::min(m_position, m_maximum));
    update();
}

int CGauge::barWidth(int innerWidth) const {
    if (m_maximum <= m_minimum) {
        return 0;
    }
    const qint64 done = qint64(m_position) - m_minimum;
    return int(done * innerWidth / (qint64(m_maximum) - m_minimum));
}

void CGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect inner = rect().adjusted(kBorder, kBorder, -kBorder, -kBorder);
    painter.fillRect(rect(), Qt::black);
    painter.fillRect(inner, Qt::white);
    const QRect bar(inner.left(), inner.top(), barWidth(inner.width()), inner.height());
    painter.fillRect(bar, Qt::black);

    // The text twice: white where the bar is, black elsewhere.
    const QString text = QString::number(percent()) + QLatin1Char('%');
    painter.setFont(font());
    painter.setClipRegion(QRegion(inner).subtracted(QRegion(bar)));
    painter.setPen(Qt::black);
    painter.drawText(inner, Qt::AlignCenter, text);
    painter.setClipRect(bar);
    painter.setPen(Qt::white);
    painter.drawText(inner, Qt::AlignCenter, text);
}
