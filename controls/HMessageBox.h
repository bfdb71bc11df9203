#pragma once

#include "QBaseDialog.h"

#include <QPointer>

class QLabel;
class QPushButton;

// The program's message box: a title, an icon, a wrapped message and "确定" / "取消". It keeps
// itself centred on the widget it was created for while that widget exists.
class HMessageBox : public QBaseDialog
{
    Q_OBJECT

public:
    explicit HMessageBox(QWidget* parent);

    void setTitle(const QString& title);
    void setText(const QString& text);
    void setConfirmText(const QString& text);
    // Bit 0 shows "确定", bit 1 shows "取消"; a lone "确定" is the highlighted button.
    void setButtons(int mask);

    // Runs a message box for parent and returns 1 when the user confirmed, 0 otherwise. Masks
    // in use: 1 for notices, 3 for questions.
    static int message(QWidget* parent, const QString& text, const QString& title, int buttons);

signals:
    void clicked_1();
    void clicked_2();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildForm();

    QPointer<QWidget> parent_;
    QLabel* labelTitle_ = nullptr;
    QPushButton* btnClose_ = nullptr;
    QLabel* labelIcon_ = nullptr;
    QLabel* labelMsg_ = nullptr;
    QPushButton* btnConfirm_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
};
