#pragma once

#include "TButton.h"

class QHBoxLayout;
class QLabel;

// An icon and a text side by side, skinned by a TPushButton.css template (labels "buttonIcon"
// and "buttonText"); hovering sets "status" to "hover", which a checked button keeps.
class TPushButton : public TButton
{
    Q_OBJECT

public:
    explicit TPushButton(QWidget* parent = nullptr);

    void setStatus(const QVariant& value) override;

    void setIconSize(int w, int h);
    void setIconVisible(bool visible);
    void setText(const QString& text);
    QString text() const;
    void setSpacing(int spacing);
    // Re-applies the style sheets after a property of the button or its labels changed.
    void refreshStyle();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QHBoxLayout* outerLayout_;
    QFrame* innerFrame_;
    QHBoxLayout* innerLayout_;
    QLabel* icon_;
    QLabel* text_;
};
