#include <QCoreApplication>

#include <gtest/gtest.h>

// The programs under test run as child processes, which Qt wants an application object for.
int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
