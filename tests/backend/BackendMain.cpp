// The backend tests run against the real thing: a QApplication on the test's X server.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "--own-rich-clipboard") {
        // Helper mode for the clipboard tests: an owner offering HTML beside plain text.
        auto* data = new QMimeData;
        data->setHtml("<b>rich</b> words");
        data->setText("plain words");
        QGuiApplication::clipboard()->setMimeData(data);
        // Tell the test only once the ownership has reached the X server.
        QTimer::singleShot(50, [] {
            std::fputs("ready\n", stdout);
            std::fflush(stdout);
        });
        return QApplication::exec();
    }
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
