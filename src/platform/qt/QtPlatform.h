#pragma once
// The production backend: Qt 6 Widgets on X11, libcurl for HTTP.

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <QClipboard>
#include <QString>

#include "platform/Alerts.h"
#include "platform/Application.h"
#include "platform/Defaults.h"
#include "platform/Hotkeys.h"
#include "platform/Http.h"
#include "platform/Pasteboard.h"
#include "platform/Platform.h"
#include "platform/StatusBar.h"
#include "platform/ViewKit.h"
#include "platform/qt/CurlHttp.h"
#include "platform/qt/ShortcutRecorder.h"

class QSocketNotifier;
class QSettings;
class QByteArray;
class QVariant;

namespace quillberry::wayland {
class DataControl;
class GlobalShortcut;
}  // namespace quillberry::wayland

namespace quillberry::qt {

class TriggerServer;

// What this desktop session lets the app do, decided once, when the platform is made (the way a
// platform loader picks X11 or Wayland): the clipboard, the hotkeys and the tray read it.
class Session {
public:
    // `dataControl` false: a Wayland session is taken as one without the protocol (tests).
    explicit Session(bool dataControl = true);
    ~Session();
    // The X key grab and Qt's clipboard see only X11 windows there.
    const bool wayland;
    // The compositor's data-control protocol, for the clipboard and the selection without
    // focus; null where it is not offered or was withdrawn.
    wayland::DataControl* dataControl() const;
    bool portal = false;  // the shortcut bound through the desktop portal
    // What works in a lesser way here, for the tray's tooltip; empty where nothing does.
    QString limits() const;

private:
    std::unique_ptr<wayland::DataControl> dataControl_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

class QtMainQueue : public MainQueue {
public:
    void async(std::function<void()> work) override;
    void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) override;
};

class QtApplication : public Application {
public:
    int run(std::function<void()> didFinishLaunching) override;
    void terminate() override;
    void activateIgnoringOtherApps() override;
    int runningInstanceCount(const std::string& bundleId) override;

private:
    bool terminated_ = false;
};

class QtStatusBar : public StatusBar {
public:
    explicit QtStatusBar(const Session& session) : session_(session) {}
    std::unique_ptr<StatusItem> makeStatusItem() override;

private:
    const Session& session_;
};

class QtResources : public Resources, public Images {
public:
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type) override;
    std::shared_ptr<Image> imageWithContentsOfFile(const std::string& path) override;

private:
    std::map<std::string, std::shared_ptr<Image>> images_;
};

class QtDefaults : public Defaults {
public:
    explicit QtDefaults(const std::string& bundleId);
    ~QtDefaults() override;
    std::optional<std::string> stringForKey(const std::string& key) override;
    bool boolForKey(const std::string& key) override;
    void setString(const std::string& key, const std::string& value) override;
    void setBool(const std::string& key, bool value) override;
    void removeObject(const std::string& key) override;
    std::string fileName() const;

private:
    void reopen();
    std::optional<QVariant> value(const std::string& key);
    void write(const std::string& key, std::optional<QVariant> value);
    std::string bundleId_;
    std::unique_ptr<QSettings> settings_;
    std::map<std::string, std::optional<QVariant>> unsaved_;  // removed: nullopt
};

// Makes a file of the user's configuration 0600 and its folder 0700.
void keepPrivate(const QString& file);
// <configuration>/quillberry/<bundle id><suffix>: the app's files beside its preferences.
QString configFile(const std::string& bundleId, const char* suffix);
// Writes `content` to `path`, folder made if missing, both kept private.
void writePrivateFile(const QString& path, const QByteArray& content);
// The autostart entry was once named after the bundle id: a user's own entry of that name (the
// desktop's "don't start at login" switch, Hidden=true) is renamed after the app id, once.
void carryOverAutostartOverride(const std::string& bundleId, const std::string& appId);

class QtAlerts : public Alerts {
public:
    AlertAnswer runModal(const AlertSpec& spec) override;
};

// Clipboard, selection capture and the automatic-mode permission: through Qt on X11, through
// the compositor's data-control protocol in a Wayland session that offers it (there Qt
// reads nothing and its writes are refused unless one of our windows has focus). A Wayland
// session without it (GNOME) gets the text from a small focused window of ours, and the
// result is written at the next input event on one of our windows (the notice's button):
// the only moments such a compositor lets a program read or set the clipboard.
class QtClipboard : public Pasteboard, public SelectionCopy, public Accessibility {
public:
    QtClipboard(Session& session, const std::string& bundleId);
    ~QtClipboard() override;
    std::optional<std::string> stringForType() override;
    void clearContents() override;
    void replaceWithString(const std::string& text) override;
    void copySelection() override;
    bool isProcessTrusted() override;
    bool isProcessTrustedWithPrompt() override;
    void withdrawTrust() override;

    class WriteOnInput;

private:
    bool selectionReadable() const;
    bool throughOurWindows() const;
    std::optional<std::string> read(QClipboard::Mode mode);
    std::optional<std::string> askForText();
    Session& session_;
    std::string grantPath_;
    std::unique_ptr<WriteOnInput> writeOnInput_;
    // The selection just captured, when over the request limit: what the run then reads.
    std::optional<std::string> overLimit_;
    // Qt's claim to the clipboard may be false: a write of ours through it, maybe refused.
    bool qtMayClaimTheClipboard_ = false, writingThroughQt_ = false;
};

// Presses come from the X key grab, from the desktop portal's global shortcut on Wayland,
// and from `quillberry --trigger` (a local socket), for a desktop with neither or a user
// who binds another key.
class DesktopHotkeys : public Hotkeys {
public:
    DesktopHotkeys(Session& session, const std::string& bundleId, Defaults& defaults);
    ~DesktopHotkeys() override;
    bool installHandler(std::function<void()> onPressed) override;
    std::optional<int> registerHotkey(KeyCode key, ModifierMask modifiers, int id) override;
    std::optional<std::string> shortcutDescription() override;
    void changeShortcut() override;
    void setShortcutChangedHandler(std::function<void()> changed) override;
    class Filter;

private:
    void listenForTriggers();
    void sayHowToBindTheTrigger();
    void record();
    void announceChange();
    QString triggerUsedMarker() const;
    Session& session_;
    std::string bundleId_;
    Defaults& defaults_;
    std::function<void()> changed_;
    std::optional<KeyChord> chosen_;  // X11: the user's own shortcut, where there is one
    QString portalDescription_;
    std::unique_ptr<Filter> filter_;
    std::unique_ptr<TriggerServer> triggers_;
    std::unique_ptr<wayland::GlobalShortcut> portal_;
};

class QtWorkspace : public Workspace {
public:
    bool openUrl(const std::string& url) override;
};

class QtViewKit : public ViewKit {
public:
    std::unique_ptr<Window> makeWindow(const Rect& contentRect, int styleMask) override;
    std::unique_ptr<View> makeView(const Rect& frame) override;
    std::unique_ptr<TextField> makeLabel(const std::string& text) override;
    std::unique_ptr<TextField> makeTextField(const Rect& frame) override;
    std::unique_ptr<Button> makeButton() override;
    std::unique_ptr<StackView> makeStackView() override;
};

// Needs a QApplication. Installs itself as the process's platform.
class QtPlatform : public Platform {
public:
    // `dataControl` false: a Wayland session is treated as one without the protocol (tests).
    explicit QtPlatform(const std::string& bundleId, CurlHttp::Options httpOptions = {}, bool dataControl = true);
    ~QtPlatform() override;
    Application& application() override { return application_; }
    MainQueue& mainQueue() override { return queue_; }
    StatusBar& statusBar() override { return statusBar_; }
    Resources& resources() override { return resources_; }
    Images& images() override { return resources_; }
    Defaults& defaults() override { return defaults_; }
    Alerts& alerts() override { return alerts_; }
    Pasteboard& pasteboard() override { return clipboard_; }
    SelectionCopy& selectionCopy() override { return clipboard_; }
    Accessibility& accessibility() override { return clipboard_; }
    Hotkeys& hotkeys() override { return hotkeys_; }
    Http& http() override { return *http_; }
    Workspace& workspace() override { return workspace_; }
    ViewKit& viewKit() override { return viewKit_; }

private:
    Session session_;
    QtApplication application_;
    QtMainQueue queue_;
    QtStatusBar statusBar_;
    QtResources resources_;
    QtDefaults defaults_;
    QtAlerts alerts_;
    QtClipboard clipboard_;
    DesktopHotkeys hotkeys_;
    std::unique_ptr<CurlHttp> http_;
    QtWorkspace workspace_;
    QtViewKit viewKit_;
};

// In a Wayland session, at launch: one notice for each thing the desktop withholds.
void tellSessionLimits(const Session& session);
// A notice when, a few seconds after launch, no tray shows the status item (`shown` says);
// none once `context` is gone.
void tellWhenNoTray(QObject* context, std::function<bool()> shown);
// An informational notice with one "Compris" button, posted, once no other dialog is open.
void showNoticeWhenIdle(const QString& title, const QString& text);

// Quits the event loop in order on SIGTERM and SIGINT.
void installTerminationHandler();
// Qt's own diagnostics stay silent: the app writes no log.
void silenceQtMessages();

}  // namespace quillberry::qt
