// Starts Plyform: the application, the two meta types that worker threads send
// through queued signals, and the main window.
#include "Tarnwick/mainwindow.h"

#include <QApplication>
#include <QList>
#include <QMetaType>
#include <QVector3D>
#include <QVector>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    qRegisterMetaType<QVector<QVector3D>>("QVector<QVector3D>");
    qRegisterMetaType<QVector<QList<int>>>("QVector<QList<int> >");
    MainWindow window;
    window.show();
    return application.exec();
}
