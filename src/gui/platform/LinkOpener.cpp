// SPDX-License-Identifier: GPL-3.0-or-later
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

bool LinkOpener::openUrl(const QUrl &url) const
{
    if (!url.isValid() || !m_opener) {
        return false;
    }
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        if (auto *log = core::platform::services().log) {
            log->systemLog("Page " + url.toLocalFile().toStdString() + " not found");
        }
        return false;
    }
    return m_opener(url);
}

bool LinkOpener::openLink(std::string_view key) const
{
    const QString value = QString::fromStdString(core::SettingInfo::valueOf(key));
    if (!openUrl(linkUrl(value, QString::fromStdString(core::SettingInfo::settingsFolder())))) {
        return false;
    }
    if (auto *log = core::platform::services().log) {
        log->standardOutput("successfully opened");
    }
    return true;
}

} // namespace gui
