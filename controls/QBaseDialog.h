#pragma once

#include "QWindowDrag.h"

#include <QDialog>
#include <QPoint>

// The base of every dialog: frameless and shadowed, skinned by a style-sheet resource, dragged
// by any spot that does not take the mouse itself, closed by Esc and confirmed by Enter.
class QBaseDialog : public QDialog
{
    Q_OBJECT

public:
    explicit QBaseDialog(QWidget* parent = nullptr);

    // Brings the dialog to the foreground, then runs it modally.
    int execForeground();

    // Called by subclasses once their form is built.
    virtual void initDialog(const QString& styleSheetPath);
    // Applies the whole text of a style-sheet file or resource (an unreadable one gives none).
    virtual void loadStyleSheet(const QString& path);
    virtual void onEscape();
    virtual void onEnter();

public slots:
    void onClose();
    void onOK();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWindowDrag drag_;
};
