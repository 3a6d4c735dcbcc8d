#include "platform/LinkOpener.h"

#include "platform/Services.h"
#include "theme/SettingInfo.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace gui {

UrlOpener desktopUrlOpener()
{
    return [](const QUrl &url) {
        return QDesktopServices::openUrl(url);
    };
}

LinkOpener::LinkOpener(UrlOpener opener)
    : m_opener(std::move(opener))
{
}

QUrl LinkOpener::linkUrl(const QString &value, const QString &baseFolder)
{
    const QUrl url(value, QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty()) {
        return {};
    }
    if (!url.isRelative()) {
        return url;
    }
    if (baseFolder.isEmpty()) {
        return {};
    }
    return QUrl::fromLocalFile(baseFolder + QLatin1Char('/')).resolved(url);
}

bool LinkOpener::openLink(std::string_view key) const
{
    const QString value = QString::fromStdString(core::SettingInfo::valueOf(key));
    const QUrl url = linkUrl(value, QString::fromStdString(core::SettingInfo::settingsFolder()));
    if (!url.isValid() || !m_opener) {
        return false;
    }
    auto &services = core::platform::services();
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        if (services.log != nullptr) {
            services.log->systemLog("Page " + url.toLocalFile().toStdString() + " not found");
        }
        return false;
    }
    if (!m_opener(url)) {
        return false;
    }
    if (services.log != nullptr) {
        services.log->standardOutput("successfully opened");
    }
    return true;
}

} // namespace gui
