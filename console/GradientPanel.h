// A panel that paints its window's background gradient behind its children,
// so it blends into the window instead of showing a flat box.
#pragma once

#include <QWidget>

class GradientPanel : public QWidget {
    Q_OBJECT
public:
    explicit GradientPanel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
