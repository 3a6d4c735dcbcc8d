// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace gui {

/// Application images by name, the counterpart of a bundle's named images.
///
/// An image "Name" is the file images/Name.svg (or images/Name.png) in the
/// resource folder that platform::services().resources finds. SVGs are
/// rendered at the size asked for, keeping their aspect ratio, centred, at
/// the screen's device pixel ratio, and cached per name and size. A name
/// without a file gives a null pixmap (and one log line the first time), so
/// an image view simply shows nothing. GUI thread only.
class ImageStore
{
public:
    ImageStore() = delete;

    /// Full path of the image file, or an empty string.
    static QString path(const QString &name);

    /// The image drawn into `logicalSize` device-independent pixels; null when the name has no file.
    static QPixmap pixmap(const QString &name, QSize logicalSize, qreal devicePixelRatio = 0.0);

    /// An icon holding the image at the usual icon sizes (16 to 256 pixels); null when missing.
    static QIcon icon(const QString &name);

    /// Forgets every rendered image (after the resource folder changed, in tests).
    static void clearCache();
};

} // namespace gui
