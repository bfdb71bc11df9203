#pragma once

#include <QString>
#include <QVariant>

class QWidget;

// The program's look: compiled-in resources, style sheets and the "status"/"class" property rule.
class QSkin
{
public:
    // Registers the compiled-in resources (":/qss/...", ":/image/...", ":/animation/...") and,
    // once a QGuiApplication exists, maps the style sheets' font family to an installed CJK font.
    // Safe to call more than once.
    static void init();

    // The whole text of a style sheet file or resource; empty when it cannot be read.
    static QString styleSheet(const QString& path);

    // Re-polishes a widget with its style and repaints it, so that rules selecting on a dynamic
    // property follow a change of that property.
    static void repolish(QWidget* widget);

    // Sets a dynamic property ("status", "class") and re-polishes the widget.
    static void setProperty(QWidget* widget, const char* name, const QVariant& value);
};
