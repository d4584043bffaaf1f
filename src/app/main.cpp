#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kinetra"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KINETRA_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor Corp"));
    return 0;
}
