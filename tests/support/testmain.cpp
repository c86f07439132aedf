#include <QCoreApplication>
#include <gtest/gtest.h>

// The SQL driver is a plugin, and plugins need an application object.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
