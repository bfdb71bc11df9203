#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The panel over the main window after a stop: a spinner while the file is produced, then the
// result with buttons that reveal the saved file in its folder or play it.
class QProcessTip : public QWidget
{
    Q_OBJECT

public:
    explicit QProcessTip(QWidget* parent);

    void showWaiting();
    void showResult();

public slots:
    void onBtnOpenFolder();
    void onBtnPlayVideo();

protected:
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildForm();

    QLabel* labelTitle_ = nullptr;
    QPushButton* btnClose_ = nullptr;
    QLabel* labelImage2_ = nullptr;
    QLabel* labelImage1_ = nullptr;
    QLabel* labelText1_ = nullptr;
    QPushButton* btnOpenFolder_ = nullptr;
    QPushButton* btnPlayVideo_ = nullptr;
    int timerId_ = 0;
};
