#include "GradientPanel.h"

#include "basRingpostCfg.h"

#include <QPaintEvent>
#include <QPainter>

GradientPanel::GradientPanel(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void GradientPanel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    paintGradient(this, p, event->rect());
}
