// The built app in a real X server with a tray host: real key presses, the real clipboard,
// real dialogs, and a service on the app's compiled-in address.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <QClipboard>
#include <QGuiApplication>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "Desktop.h"
#include "config/Constants.h"

namespace quillberry::e2e {
namespace {

constexpr uint32_t CONTROL = 0xffe3, RETURN = 0xff0d, NUM_LOCK = 0xff7f;
constexpr const char* ALERT = "quillberry-alert";
constexpr const char* ONBOARDING = "quillberry-window";

// The optimisation service as the test scripts it: echoes the prompt, or holds every
// request until released and then fails it.
class StubService {
public:
    explicit StubService(bool stall) : stall_(stall) {
        server_.Post("/improve", [this](const httplib::Request& req, httplib::Response& res) {
            std::unique_lock lock(mutex_);
            bodies_.push_back(req.body);
            if (stall_) {
                released_.wait(lock, [&] { return release_; });
                res.status = 500;
                return;
            }
            auto prompt = nlohmann::json::parse(req.body).at("prompt").get<std::string>();
            res.set_content(nlohmann::json{{"improved_prompt", "Amélioré : " + prompt}}.dump(), "application/json");
        });
        if (!server_.bind_to_port("127.0.0.1", QUILLBERRY_SERVICE_PORT))
            throw std::runtime_error("port " + std::to_string(QUILLBERRY_SERVICE_PORT) + " is taken");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~StubService() {
        releaseAll();
        server_.stop();
        thread_.join();
    }
    void releaseAll() {
        std::lock_guard lock(mutex_);
        release_ = true;
        released_.notify_all();
    }
    std::vector<std::string> bodies() {
        std::lock_guard lock(mutex_);
        return bodies_;
    }

private:
    httplib::Server server_;
    bool stall_, release_ = false;
    std::mutex mutex_;
    std::condition_variable released_;
    std::vector<std::string> bodies_;
    std::thread thread_;
};

struct E2e : ::testing::Test {
    Desktop desktop;
    std::string home;
    std::unique_ptr<Child> tray, app;

    void SetUp() override {
        // Each case is a new user: its own home and runtime folder.
        char dir[] = "/tmp/quillberry-e2e.XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        home = dir;
        ASSERT_EQ(mkdir((home + "/runtime").c_str(), 0700), 0);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (home + "/runtime").c_str(), 1);
        tray = std::make_unique<Child>(std::vector<std::string>{
            "trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
            "--transparent", "false", "--tint", "0x303030", "--SetDockType", "true", "--expand", "false"});
    }
    void TearDown() override {
        if (HasFailure()) desktop.screenshot(std::string("FAIL-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        app.reset();
        tray.reset();
        std::filesystem::remove_all(home);
    }
    void writeSettings(const std::string& email) {
        auto folder = std::filesystem::path(home) / ".config" / SETTINGS_FOLDER;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / (std::string(BUNDLE_ID) + ".ini"))
            << "[General]\n" << ONBOARDING_KEY << "=true\n" << EMAIL_KEY << "=" << email << "\n";
    }
    void startApp() {
        app = std::make_unique<Child>(std::vector<std::string>{QUILLBERRY_APP}, home + "/app.out");
        ASSERT_TRUE(waitFor([&] { return desktop.trayIcons().size() == 1; })) << "the icon never reached the tray";
    }
    // Returns once the X server knows we own the clipboard, so a press that follows reads it.
    static void setClipboard(const std::string& text) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
        xcb_connection_t* c = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    static std::string clipboard() { return QGuiApplication::clipboard()->text().toStdString(); }
    static bool clipboardHolds(const std::string& text) {
        return waitFor([&] { return clipboard() == text; }, 3000);
    }
    void press() { desktop.keys({CONTROL, 'u'}); }
    xcb_window_t awaitAlert() {
        std::optional<xcb_window_t> alert;
        EXPECT_TRUE(waitFor([&] { return (alert = desktop.window(ALERT)).has_value(); })) << "no notice appeared";
        return alert.value_or(0);
    }
    void answer(xcb_window_t window) {
        desktop.focus(window);
        desktop.keys({RETURN});
        EXPECT_TRUE(waitFor([&] { return desktop.windows(ALERT).empty(); })) << "the notice did not close";
    }
    static std::string body(const std::string& email, const std::string& prompt) {
        return nlohmann::json{{"email", email}, {"prompt", prompt}}.dump();
    }
};

TEST_F(E2e, AFirstRunShowsTheOnboardingAndASecondStartEndsSilently) {
    startApp();
    std::optional<xcb_window_t> window;
    ASSERT_TRUE(waitFor([&] { return (window = desktop.window(ONBOARDING)).has_value(); }));
    Child second({QUILLBERRY_APP}, home + "/second.out");
    ASSERT_TRUE(second.waitExit());
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(std::ifstream(home + "/second.out").peek(), EOF) << "a second start says nothing";
    EXPECT_EQ(desktop.trayIcons().size(), 1u);
    EXPECT_TRUE(app->running());

    desktop.screenshot("first-run");
}

TEST_F(E2e, CopyPressPasteWithTheStubAndTheReferenceServiceThenQuit) {
    writeSettings("me@example.com");
    startApp();
    desktop.screenshot("tray");
    auto service = std::make_unique<StubService>(false);
    setClipboard("  Écris un poème  ");
    press();
    xcb_window_t notice = awaitAlert();
    desktop.screenshot("success-notice");
    EXPECT_EQ(service->bodies(), std::vector{body("me@example.com", "  Écris un poème  ")});
    EXPECT_TRUE(clipboardHolds("Amélioré :   Écris un poème  "));
    answer(notice);
    EXPECT_TRUE(clipboardHolds("Amélioré :   Écris un poème  "));

    desktop.keys({NUM_LOCK});  // lock keys do not change what counts as Ctrl+U
    setClipboard("second");
    press();
    answer(awaitAlert());
    desktop.keys({NUM_LOCK});
    EXPECT_EQ(service->bodies().back(), body("me@example.com", "second"));

    service.reset();  // the reference service takes its place
    Child reference({QUILLBERRY_SERVICE, "--port", std::to_string(QUILLBERRY_SERVICE_PORT)});
    ASSERT_TRUE(waitFor([] { return httplib::Client("127.0.0.1", QUILLBERRY_SERVICE_PORT).Get("/"); }));
    setClipboard("écris un mail pour décaler la réunion");
    press();
    notice = awaitAlert();
    EXPECT_TRUE(waitFor([&] { return clipboard().find("\nFormat attendu :") != std::string::npos; }, 3000)) << clipboard();
    answer(notice);

    desktop.click(desktop.geometry(desktop.trayIcons().at(0)).center());
    ASSERT_TRUE(waitFor([&] { return desktop.menuOpen(); }));
    desktop.screenshot("status-menu");
    desktop.keys({CONTROL, 'q'});  // "Quitter"'s key, while the tray menu is open
    ASSERT_TRUE(app->waitExit());
    EXPECT_EQ(app->exitCode(), 0);
}

TEST_F(E2e, AStalledRunIgnoresPressesAndSigtermEndsItAtOnce) {
    writeSettings("me@example.com");
    StubService service(true);
    startApp();
    setClipboard("texte");
    press();
    ASSERT_TRUE(waitFor([&] { return service.bodies().size() == 1; }));
    press();
    EXPECT_FALSE(waitFor([&] { return service.bodies().size() > 1 || desktop.window(ALERT); }, 1000))
        << "a press during a run sends and shows nothing";
    kill(app->pid(), SIGTERM);
    ASSERT_TRUE(app->waitExit(3000)) << "quitting does not wait for the request";
    EXPECT_EQ(app->exitCode(), 0);
}

}  // namespace
}  // namespace quillberry::e2e

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
