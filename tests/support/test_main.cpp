// One QApplication for every test executable; tests that need a desktop get the X server
// that the test command starts, or the compositor of the Wayland session.
#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvel Raza Tests"));
    QApplication::setApplicationName(QStringLiteral("OrvelPlusTests"));
    return RUN_ALL_TESTS();
}
