#pragma once

#include "TButton.h"

class QFrame;
class QHBoxLayout;
class QLabel;

// A tab of the settings dialog: a full-width text button that stays highlighted while its page
// is shown. A click checks it and never unchecks it.
class QTabButton : public TButton
{
    Q_OBJECT
public:
    explicit QTabButton(QWidget* parent = nullptr);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void setChecked(bool on) override;
    void toggle() override;

    void setText(const QString& text);
    QString text() const;

private:
    // "class" on the button and on its text label, each re-polished.
    void setClass(const QString& value);

    QHBoxLayout* m_outerLayout;
    QFrame* m_frame;
    QHBoxLayout* m_innerLayout;
    QLabel* m_text;
};
