// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <string_view>

namespace gui {

/// Hands a URL to the desktop (its default browser or file handler);
/// true when the desktop accepted it. Tests inject their own.
using UrlOpener = std::function<bool(const QUrl &)>;

/// The desktop's opener: QDesktopServices::openUrl (xdg-open, or the
/// OpenURI portal in a sandbox). True only means that the handler started.
UrlOpener desktopUrlOpener();

/// Opens the links of the settings file by key (the body shared by every
/// menu and toolbar link action, and by the first-launch page).
///
/// The value is read with core::SettingInfo::valueOf at each call. An
/// absolute URL is used as it stands; a reference without a scheme is a
/// page shipped with Spruce, resolved against the folder that holds the
/// settings file. A value that is not a valid URL (an empty one included)
/// opens nothing and prints nothing; a shipped page whose file is missing
/// is not handed to the desktop either (one system-log line). When the
/// opener reports success, the line "successfully opened" goes to the
/// standard output of core::platform::services().log; a failure prints
/// nothing. GUI thread.
class LinkOpener
{
public:
    explicit LinkOpener(UrlOpener opener = desktopUrlOpener());

    /// Opens the link under `key`; true when the opener reported success.
    bool openLink(std::string_view key) const;

    /// Hands `url` to the opener without printing anything; false for an
    /// invalid URL and for a local file that does not exist (one
    /// system-log line), and when the opener reports failure.
    bool openUrl(const QUrl &url) const;

    /// The URL a settings value stands for, with relative references
    /// resolved against `baseFolder` (an absolute folder path); an invalid
    /// QUrl when the value is not a valid URL or is relative without a
    /// base. Pure.
    static QUrl linkUrl(const QString &value, const QString &baseFolder);

private:
    UrlOpener m_opener;
};

} // namespace gui
