#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>

#include "config/Constants.h"
#include "platform/qt/QtPlatform.h"

namespace quillberry::qt {

void keepPrivate(const QString& file) {
    // The e-mail address and the automatic-mode grant are the user's business alone.
    QFile::setPermissions(QFileInfo(file).absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (QFile::exists(file)) QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
}

namespace {
// Private from the first byte, whatever the umask: the folder is made 0700 (kept so if it was
// there) and a missing file is made empty and 0600 before anything is written into it; a
// file written by replacing this one takes its mode.
void makePrivate(const QString& file) {
    const QString folder = QFileInfo(file).absolutePath();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    keepPrivate(file);
    // NewOnly fails when the file exists, which is then left as it is.
    [[maybe_unused]] const bool made =
        QFile(file).open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner);
}

// Qt locks the file while writing it. A process killed between making that lock and writing its
// own id into it leaves a lock that names no owner, and every later write then waits until it is
// 30 s old. Only one instance of the app runs, so at its start such a lock is nobody's.
void dropOwnerlessLock(const QString& name) {
    QLockFile lock(name);
    qint64 pid = 0;
    QString host, app;
    if (!lock.tryLock(0) && lock.error() == QLockFile::LockFailedError && !lock.getLockInfo(&pid, &host, &app))
        lock.removeStaleLockFile();
}
}  // namespace

QString configFile(const std::string& bundleId, const char* suffix) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/" +
           QString::fromUtf8(SETTINGS_FOLDER.data(), qsizetype(SETTINGS_FOLDER.size())) + "/" +
           QString::fromStdString(bundleId) + suffix;
}

void writePrivateFile(const QString& path, const QByteArray& content) {
    makePrivate(path);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(content);
    file.close();
    keepPrivate(path);
}

void carryOverAutostartOverride(const std::string& bundleId, const std::string& appId) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/autostart/";
    const QString old = folder + QString::fromStdString(bundleId) + ".desktop";
    // Renaming never replaces: an entry the user made under the new name wins.
    if (QFileInfo::exists(old)) QFile::rename(old, folder + QString::fromStdString(appId) + ".desktop");
}

// INI in the user's configuration directory, one file per bundle id, written atomically
// (a new file renamed over the old one) and synced after every change, so that a killed
// process or a failed write leaves the previous file whole.
QtDefaults::QtDefaults(const std::string& bundleId) : bundleId_(bundleId) {
    reopen();
    keepPrivate(settings_->fileName());
    dropOwnerlessLock(settings_->fileName() + ".lock");
}

QtDefaults::~QtDefaults() = default;

std::string QtDefaults::fileName() const { return settings_->fileName().toStdString(); }

void QtDefaults::reopen() {
    settings_ =
        std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                    QString::fromUtf8(SETTINGS_FOLDER.data(), qsizetype(SETTINGS_FOLDER.size())),
                                    QString::fromStdString(bundleId_));
}

// What this session wrote wins: a value whose write failed is still the value, until the
// process ends. Otherwise the file, read afresh after a failure to read it.
std::optional<QVariant> QtDefaults::value(const std::string& key) {
    if (auto written = unsaved_.find(key); written != unsaved_.end()) return written->second;
    if (settings_->status() == QSettings::AccessError) reopen();
    if (settings_->status() != QSettings::NoError) return std::nullopt;
    QVariant stored = settings_->value(QString::fromStdString(key));
    return stored.isValid() ? std::optional(stored) : std::nullopt;
}

void QtDefaults::write(const std::string& key, std::optional<QVariant> value) {
    unsaved_[key] = std::move(value);
    if (settings_->status() == QSettings::FormatError) {
        // Only a file that cannot be parsed is corrupt: kept aside for the user, then afresh.
        const QString name = settings_->fileName();
        QFile::remove(name + ".corrupt");
        QFile::rename(name, name + ".corrupt");
        reopen();
    } else if (settings_->status() != QSettings::NoError) {
        reopen();
    }
    makePrivate(settings_->fileName());
    for (const auto& [k, v] : unsaved_) {
        if (v) settings_->setValue(QString::fromStdString(k), *v);
        else settings_->remove(QString::fromStdString(k));
    }
    settings_->sync();
    if (settings_->status() == QSettings::NoError) {
        unsaved_.clear();
        keepPrivate(settings_->fileName());
    } else {
        reopen();  // the file on disk is the one before this write; the next write tries again
    }
}

std::optional<std::string> QtDefaults::stringForKey(const std::string& key) {
    auto v = value(key);
    if (!v || v->typeId() == QMetaType::QStringList) return std::nullopt;
    return v->toString().toStdString();
}

bool QtDefaults::boolForKey(const std::string& key) {
    auto v = value(key);
    return v && v->toBool();
}

void QtDefaults::setString(const std::string& key, const std::string& value) {
    write(key, QVariant(QString::fromStdString(value)));
}

void QtDefaults::setBool(const std::string& key, bool value) { write(key, QVariant(value)); }

void QtDefaults::removeObject(const std::string& key) { write(key, std::nullopt); }

}  // namespace quillberry::qt
