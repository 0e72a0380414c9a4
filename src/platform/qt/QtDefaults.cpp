#include <QFile>
#include <QSettings>

#include "config/Constants.h"
#include "platform/qt/QtPlatform.h"

namespace quillberry::qt {

// INI in the user's configuration directory, one file per bundle id, written atomically
// and synced after every change so that a killed process loses nothing.
QtDefaults::QtDefaults(const std::string& bundleId)
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QString::fromUtf8(SETTINGS_FOLDER.data(), qsizetype(SETTINGS_FOLDER.size())),
                                            QString::fromStdString(bundleId))) {}

QtDefaults::~QtDefaults() = default;

std::string QtDefaults::fileName() const { return settings_->fileName().toStdString(); }

bool QtDefaults::readable() { return settings_->status() == QSettings::NoError; }

void QtDefaults::prepareWrite() {
    if (readable()) return;
    // A file we cannot parse would otherwise block every write. Keep it aside for the
    // user, then start afresh.
    const QString name = settings_->fileName();
    QFile::remove(name + ".corrupt");
    QFile::rename(name, name + ".corrupt");
    auto format = settings_->format();
    auto scope = settings_->scope();
    auto org = settings_->organizationName(), app = settings_->applicationName();
    settings_ = std::make_unique<QSettings>(format, scope, org, app);
}

std::optional<std::string> QtDefaults::stringForKey(const std::string& key) {
    if (!readable()) return std::nullopt;
    QVariant value = settings_->value(QString::fromStdString(key));
    if (!value.isValid() || value.typeId() == QMetaType::QStringList) return std::nullopt;
    return value.toString().toStdString();
}

bool QtDefaults::boolForKey(const std::string& key) {
    if (!readable()) return false;
    return settings_->value(QString::fromStdString(key)).toBool();
}

void QtDefaults::setString(const std::string& key, const std::string& value) {
    prepareWrite();
    settings_->setValue(QString::fromStdString(key), QString::fromStdString(value));
    settings_->sync();
}

void QtDefaults::setBool(const std::string& key, bool value) {
    prepareWrite();
    settings_->setValue(QString::fromStdString(key), value);
    settings_->sync();
}

void QtDefaults::removeObject(const std::string& key) {
    prepareWrite();
    settings_->remove(QString::fromStdString(key));
    settings_->sync();
}

}  // namespace quillberry::qt
