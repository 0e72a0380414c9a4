#include <malloc.h>

#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtStatusItem.h"

namespace quillberry::qt {

void QtMainQueue::async(std::function<void()> work) {
    // Thread-safe: the call is queued to the application object's (main) thread.
    QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection);
}

void QtMainQueue::asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) {
    if (delay.count() <= 0) {
        async(std::move(work));
        return;
    }
    // Timers belong to the thread that starts them: start it from the main thread.
    async([delay, work = std::move(work)]() mutable { QTimer::singleShot(delay, qApp, std::move(work)); });
}

int QtApplication::run(std::function<void()> didFinishLaunching) {
    if (terminated_) return 0;
    QTimer::singleShot(0, qApp, std::move(didFinishLaunching));
    return QApplication::exec();
}

void QtApplication::terminate() {
    terminated_ = true;
    QCoreApplication::exit(0);
}

void QtApplication::activateIgnoringOtherApps() {
    // X11 has no application-wide activation: raise and focus our newest visible window.
    QWidget* newest = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->isWindow() && !(w->windowFlags() & Qt::Popup)) newest = w;
    }
    if (newest) {
        newest->raise();
        newest->activateWindow();
    }
}

int QtApplication::runningInstanceCount(const std::string& bundleId) { return instanceCountByLock(bundleId); }

std::unique_ptr<StatusItem> QtStatusBar::makeStatusItem() { return std::make_unique<QtStatusItem>(session_); }

namespace {
class QtImage : public Image {
public:
    explicit QtImage(QPixmap p) : pixmap(std::move(p)) {}
    QPixmap pixmap;
};
}  // namespace

QPixmap pixmapOf(const Image& image) { return static_cast<const QtImage&>(image).pixmap; }

std::optional<std::string> QtResources::pathForResource(const std::string& name, const std::string& type) {
    // Looked up afresh each time: beside the binary (build tree), then the install tree.
    const QString file = QString::fromStdString(name + "." + type);
    const QString appDir = QCoreApplication::applicationDirPath();
    for (const QString& dir : {appDir + "/resources", appDir + "/../share/quillberry/resources"}) {
        QFileInfo info(QDir(dir).filePath(file));
        if (info.isFile()) return info.absoluteFilePath().toStdString();
    }
    return std::nullopt;
}

// Read once a path: the status icon asks for its image at every press, and one image object
// lets it draw each look once.
std::shared_ptr<Image> QtResources::imageWithContentsOfFile(const std::string& path) {
    if (auto known = images_.find(path); known != images_.end()) return known->second;
    QImageReader reader(QString::fromStdString(path));
    QImage image = reader.read();
    if (image.isNull()) return nullptr;
    return images_[path] = std::make_shared<QtImage>(QPixmap::fromImage(image));
}

bool QtWorkspace::openUrl(const std::string& url) {
    // Handed to the desktop's URL handler; never through a shell.
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

QtPlatform::QtPlatform(const std::string& bundleId, CurlHttp::Options httpOptions, bool dataControl)
    : session_(dataControl), statusBar_(session_), defaults_(bundleId), clipboard_(session_, bundleId),
      hotkeys_(session_, bundleId, defaults_), http_(std::make_unique<CurlHttp>(std::move(httpOptions))) {
    // Blocks of a megabyte and more (a big reply, its copies, the viewer's text) are mapped
    // on their own and unmapped when freed. By default glibc raises this threshold after
    // the first such free, and later big blocks then stay in the heap for good.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    installPlatform(this);
    tellSessionLimits(session_);
}

QtPlatform::~QtPlatform() {
    // Requests still in flight complete (as failures) while the platform they post their
    // results through is still installed.
    http_.reset();
    installPlatform(nullptr);
}

namespace {
int signalPipe[2] = {-1, -1};
void onTerminationSignal(int) {
    char byte = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &byte, 1);
}
}  // namespace

void installTerminationHandler() {
    // Non-blocking both ways: a burst of signals while the loop is busy fills the pair, and a
    // handler that waited for room would wait for ever (one byte waiting is enough to quit).
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) return;
    QCoreApplication* application = QCoreApplication::instance();
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, application);
    QObject::connect(notifier, &QSocketNotifier::activated, application, [] {
        char bytes[256];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {}
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void silenceQtMessages() {
    // A fatal error still ends the process, as a failure and in a word, not as a crash.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtFatalMsg) return;
        std::fprintf(stderr, "quillberry : impossible de continuer (%s)\n", message.toLocal8Bit().constData());
        std::_Exit(1);
    });
}

}  // namespace quillberry::qt
