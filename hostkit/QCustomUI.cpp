#include "QCustomUI.h"

namespace {
QString& aboutImagePath()
{
    static QString path;
    return path;
}
} // namespace

void QCustomUI::setAboutImage(const QString& path)
{
    aboutImagePath() = path;
}

const QString& QCustomUI::aboutImage()
{
    return aboutImagePath();
}
