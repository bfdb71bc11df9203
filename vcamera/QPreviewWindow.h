#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

// The preview window: the newest camera picture, scaled to fit with its proportions kept, on black.
class QPreviewWindow : public QWidget
{
    Q_OBJECT
public:
    explicit QPreviewWindow(const QString& cameraName, QWidget* parent = nullptr);

public slots:
    void showFrame(const QImage& frame);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage frame_;
    bool sized_ = false;
};
