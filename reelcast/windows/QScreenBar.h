#pragma once

#include <QFrame>

class QHBoxLayout;
class QPushButton;

// The confirm/cancel bar an area-selection overlay shows beside its selection. It only turns
// button clicks into signals; the overlay decides where it stands.
class QScreenBar : public QFrame
{
    Q_OBJECT
public:
    explicit QScreenBar(QWidget* parent);
    ~QScreenBar() override;

signals:
    void apply();
    void reject();

private:
    QPushButton* m_btnApply;
    QPushButton* m_btnCancel;
    QHBoxLayout* m_layout;
};
