// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/CustomHighlineRowView.h"

#include <QColor>
#include <QFont>
#include <QListView>

namespace gui {

/// A module row: the module's image above its title, in the font and text
/// colour of the theme entry "module_name_font", over the row fill of
/// CustomHighlineRowView. GUI thread.
class ModuleCellView final : public CustomHighlineRowView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModuleCellView)

public:
    explicit ModuleCellView(QObject *parent = nullptr);
    ~ModuleCellView() override;

    void setTitleStyle(const QFont &font, const QColor &color);
    QFont titleFont() const { return m_font; }
    QColor titleColor() const { return m_color; }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    /// Side of the module image, in logical pixels.
    static constexpr int ImageSide = 44;

protected:
    void paintContent(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QFont m_font;
    QColor m_color = Qt::white;
};

/// The module list. Before a row is selected, by a click or from the
/// keyboard, it announces the row with rowAsked() so the window can switch
/// screens first; clicking the row already selected asks again. GUI thread.
class ModuleListView final : public QListView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModuleListView)

public:
    explicit ModuleListView(QWidget *parent = nullptr);
    ~ModuleListView() override;

    /// Highlights row `row` as the one on view, without asking for it (no rowAsked).
    void markRow(int row);

Q_SIGNALS:
    /// The user is selecting row `row`.
    void rowAsked(int row);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    bool m_pressing = false;
};

} // namespace gui
