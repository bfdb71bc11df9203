#pragma once

#include "QSingleApplication.h"

class QMainApplication : public QSingleApplication
{
    Q_OBJECT
public:
    QMainApplication(int& argc, char** argv);

protected:
    void initialize() override;
    int runMain() override;
    void release() override;

private:
    void loadLanguage();
};
