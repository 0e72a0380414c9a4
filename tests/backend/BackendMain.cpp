// The backend tests run against the real thing: a QApplication on the test's X server.
#include <gtest/gtest.h>

#include <QApplication>
#include <string>

// A child the settings test kills mid-write: it rewrites one big value without end.
int writeSettingsForever(const char* bundleId);
// A child that takes a burst of quit signals while its event loop is busy elsewhere.
int takeSignalsWhileBusy(int argc, char** argv);

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-settings-forever") return writeSettingsForever(argv[2]);
    if (argc == 2 && std::string(argv[1]) == "--take-signals-while-busy") return takeSignalsWhileBusy(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
