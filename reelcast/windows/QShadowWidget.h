#pragma once

#include <QRect>
#include <QWidget>

// Darkens one monitor while the pointer rests on its entry in the mode menu, so the user sees
// which screen the entry means. One per process; the main window, its parent, stays clear.
class QShadowWidget : public QWidget
{
    Q_OBJECT

public:
    // Creates the instance with this parent unless one exists already.
    static void create(QWidget* parent);
    // The instance, created without parent on first use.
    static QShadowWidget* instance();
    ~QShadowWidget() override;

public slots:
    // `rect` in global coordinates.
    void onShowShadow(QRect rect);
    void onHideShadow();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    explicit QShadowWidget(QWidget* parent);
};
