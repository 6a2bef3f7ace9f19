#pragma once

#include <QWidget>

namespace pvx::gui {

/// A small round activity lamp whose colour is a 0xBBGGRR value.
class Lamp : public QWidget {
    Q_OBJECT
public:
    explicit Lamp(QWidget *parent = nullptr);
    void setColourValue(int value);
    int colourValue() const { return m_value; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_value = 0;
};

} // namespace pvx::gui
