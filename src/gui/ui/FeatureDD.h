// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/Catalogue.h"
#include "ui/CustomHighlineRowView.h"
#include "ui/ReviewCells.h"

#include <QAbstractListModel>

#include <vector>

namespace gui {

/// The feature list of an overview screen: one row per feature of the
/// module (its picture and its description), rows that cannot be selected.
/// Holds a copy of the features. GUI thread.
class FeatureDD : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FeatureDD)

public:
    enum Role {
        ImageNameRole = Qt::UserRole + 1, // QString: the feature's image name
    };

    FeatureDD(std::vector<core::Feature> features, QString cellViewName, QObject *parent = nullptr);
    ~FeatureDD() override;

    /// Replaces the features (a reset of the model).
    void setFeatures(std::vector<core::Feature> features);
    const std::vector<core::Feature> &features() const { return m_features; }
    const QString &cellViewName() const { return m_cellViewName; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    /// Every row is this tall, in logical pixels.
    static constexpr int RowHeight = 80;

private:
    std::vector<core::Feature> m_features;
    QString m_cellViewName;
};

/// A feature row ("featureCell"): the feature's picture, then its
/// description in the theme style "module_feature_font". GUI thread.
class FeatureCellView final : public CustomHighlineRowView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FeatureCellView)

public:
    explicit FeatureCellView(QObject *parent = nullptr);
    ~FeatureCellView() override;

    /// Reads "module_feature_font" from the theme again.
    void reloadStyle(const ThemeSnapshot &theme);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    /// Side of the feature picture, in logical pixels.
    static constexpr int ImageSide = 44;

protected:
    void paintContent(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    TextStyle m_text;
};

} // namespace gui
