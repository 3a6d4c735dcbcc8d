// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/Catalogue.h"

#include <QAbstractListModel>

#include <vector>

namespace gui {

/// The module list of the main window: one row per catalogue module
/// (dashboard and more tools included), in catalogue order except that the
/// system module, which the catalogue keeps after More Tools, is shown right
/// after Application Junk with the other cleaning modules. Rows therefore
/// are not module indexes: moduleIndexAt() maps them. Holds a copy of the
/// modules taken at construction. GUI thread.
class ModuleListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModuleListModel)

public:
    enum Role {
        ImageNameRole = Qt::UserRole + 1, // QString: the module's image name
        TabRole, // QString: the module's tab stem
        ModuleIndexRole, // int: the module's index in the catalogue
    };

    explicit ModuleListModel(std::vector<core::Module> modules, QObject *parent = nullptr);
    ~ModuleListModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const std::vector<core::Module> &modules() const { return m_modules; }
    /// The catalogue index of the module shown at `row`; -1 outside the list.
    int moduleIndexAt(int row) const;
    /// The row that shows module `moduleIndex`; -1 when it is not listed.
    int rowOfModule(int moduleIndex) const;

    /// The order of the rows as catalogue indexes, for a catalogue of
    /// `count` modules: 0, 1, 2, then the system module (5) when there is
    /// one, then 3, 4 and any later module. Pure.
    static std::vector<int> displayOrder(std::size_t count);

    /// Every row is this tall, in logical pixels.
    static constexpr int RowHeight = 100;

private:
    std::vector<core::Module> m_modules;
    std::vector<int> m_order; // row -> catalogue index
};

} // namespace gui
