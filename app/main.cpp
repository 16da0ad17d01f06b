#include "form1.h"

#include <QApplication>
#include <QStyleFactory>

#include <unistd.h>

int main(int argc, char *argv[])
{
    // The browser engine refuses to start its sandbox as root; it then has to run without.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folvane"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    Form1 form;
    form.show();
    return app.exec();
}
