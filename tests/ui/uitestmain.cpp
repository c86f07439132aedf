#include <QApplication>
#include <gtest/gtest.h>

// Widgets can only be made once an application object exists. Test discovery
// runs without the test environment, so default to the platform that needs no
// display rather than abort where there is none.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
