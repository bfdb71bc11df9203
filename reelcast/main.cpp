#include "QMainApplication.h"

int main(int argc, char* argv[])
{
    QMainApplication app(argc, argv);
    return app.start();
}
