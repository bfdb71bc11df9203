#pragma once

#include <QMenu>

class QActionGroup;

// The help menu's choice of the interface language: the desktop's language or one of the
// installed ones. A choice is stored at once and takes effect at the next start.
class QLanguageMenu : public QMenu
{
    Q_OBJECT
public:
    explicit QLanguageMenu(QWidget* parent);

signals:
    // A language other than the one in effect was chosen.
    void changed_later();

private:
    void onChosen(const QString& code);

    QString inEffect_;
};
