#include "clirunner.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("veltra-cli"));
    CliRunner runner(app.arguments().mid(1));
    return runner.run();
}
