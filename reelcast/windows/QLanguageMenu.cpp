#include "QLanguageMenu.h"

#include "QLanguage.h"

#include <QActionGroup>
#include <QCoreApplication>

QLanguageMenu::QLanguageMenu(QWidget* parent) : QMenu(parent)
{
    setObjectName(QStringLiteral("languageMenu"));
    const QString folder = QCoreApplication::applicationDirPath();
    inEffect_ = QLanguage::current(folder);
    // Someone who cannot read the present language still finds the entry.
    const QString title = tr("语言");
    setTitle(title == QLatin1String("Language") ? title : title + QStringLiteral(" / Language"));

    auto* group = new QActionGroup(this);
    const QString stored = QLanguage::stored();
    const QStringList installed = QLanguage::installed(folder);
    QAction* desktop = addAction(tr("跟随系统"));
    desktop->setData(QString());
    desktop->setCheckable(true);
    desktop->setChecked(!installed.contains(stored));
    group->addAction(desktop);
    addSeparator();
    for (const QString& code : installed) {
        QAction* action = addAction(QLanguage::nativeName(code));
        action->setData(code);
        action->setCheckable(true);
        action->setChecked(code == stored);
        group->addAction(action);
    }
    connect(group, &QActionGroup::triggered, this,
            [this](QAction* action) { onChosen(action->data().toString()); });
}

void QLanguageMenu::onChosen(const QString& code)
{
    QLanguage::store(code);
    if (QLanguage::current(QCoreApplication::applicationDirPath()) != inEffect_)
        emit changed_later();
}
