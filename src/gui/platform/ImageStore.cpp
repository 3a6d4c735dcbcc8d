// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ImageStore.h"

#include "platform/Services.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <set>

namespace gui {

namespace {

void logMissingOnce(const QString &name)
{
    static std::set<QString> reported;
    if (!reported.insert(name).second) {
        return;
    }
    if (auto *log = core::platform::services().log) {
        log->systemLog("Image \"" + name.toStdString() + "\" not found");
    }
}

QRectF fitted(QSizeF content, QSizeF box)
{
    if (content.isEmpty()) {
        return QRectF(QPointF(0, 0), box);
    }
    const QSizeF scaled = content.scaled(box, Qt::KeepAspectRatio);
    return QRectF(QPointF((box.width() - scaled.width()) / 2.0, (box.height() - scaled.height()) / 2.0), scaled);
}

} // namespace

QString ImageStore::path(const QString &name)
{
    if (name.isEmpty()) {
        return {};
    }
    const auto &resources = core::platform::services().resources;
    const std::string stem = "images/" + name.toStdString();
    for (const char *type : { "svg", "png" }) {
        if (auto found = resources.path(stem, type)) {
            return QString::fromStdString(*found);
        }
    }
    return {};
}

QPixmap ImageStore::pixmap(const QString &name, QSize logicalSize, qreal devicePixelRatio)
{
    if (logicalSize.isEmpty()) {
        return {};
    }
    if (devicePixelRatio <= 0.0) {
        devicePixelRatio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    }
    const QString key = QStringLiteral("spruce:%1:%2x%3@%4")
                            .arg(name)
                            .arg(logicalSize.width())
                            .arg(logicalSize.height())
                            .arg(devicePixelRatio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) {
        return cached;
    }
    const QString file = path(name);
    if (file.isEmpty()) {
        logMissingOnce(name);
        return {};
    }
    const QSize device = (QSizeF(logicalSize) * devicePixelRatio).toSize();
    QImage image(device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (file.endsWith(QLatin1String(".svg"))) {
        QSvgRenderer renderer(file);
        if (!renderer.isValid()) {
            logMissingOnce(name);
            return {};
        }
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, fitted(renderer.defaultSize(), QSizeF(device)));
    } else {
        QImageReader reader(file);
        QImage source = reader.read();
        if (source.isNull()) {
            logMissingOnce(name);
            return {};
        }
        QPainter painter(&image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(fitted(source.size(), QSizeF(device)), source);
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, result);
    return result;
}

QIcon ImageStore::icon(const QString &name)
{
    QIcon result;
    if (path(name).isEmpty()) {
        logMissingOnce(name);
        return result;
    }
    for (const int side : { 16, 22, 24, 32, 48, 64, 128, 256 }) {
        result.addPixmap(pixmap(name, QSize(side, side), 1.0));
    }
    return result;
}

void ImageStore::clearCache()
{
    QPixmapCache::clear();
}

} // namespace gui
