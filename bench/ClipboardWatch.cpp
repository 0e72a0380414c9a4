// Prints the wall-clock time (ns) of every clipboard change, for the latency benchmark.
#include <QApplication>
#include <QClipboard>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [] {
        auto now = std::chrono::system_clock::now().time_since_epoch();
        std::printf("%lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
        std::fflush(stdout);
    });
    std::puts("watching");
    std::fflush(stdout);
    return QApplication::exec();
}
