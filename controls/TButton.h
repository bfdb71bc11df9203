#pragma once

#include <QFrame>
#include <QVariant>

// A frame that acts as a button: its look comes from style sheets selecting on the "status"
// property, its click from a press on it followed by a release anywhere.
class TButton : public QFrame
{
    Q_OBJECT

public:
    explicit TButton(QWidget* parent = nullptr);

    void setCheckable(bool on);
    bool isCheckable() const;
    bool isChecked() const;

    // Changes the checked flag of a checkable button; no look change, no signal.
    virtual void setChecked(bool on);
    // Sets "status" on the button and re-polishes it.
    virtual void setStatus(const QVariant& value);
    // Inverts the checked flag of a checkable button; clears it otherwise.
    virtual void toggle();

signals:
    void clicked(bool checked = false);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
    bool checkable_ = false;
    bool checked_ = false;
};
