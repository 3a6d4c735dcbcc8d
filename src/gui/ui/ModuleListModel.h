#pragma once

#include "engine/Catalogue.h"

#include <QAbstractListModel>

#include <vector>

namespace gui {

/// The module list of the main window: one row per catalogue module, in
/// catalogue order (dashboard and more tools included). Holds a copy of the
/// modules taken at construction. GUI thread.
class ModuleListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModuleListModel)

public:
    enum Role {
        ImageNameRole = Qt::UserRole + 1, // QString: the module's image name
        TabRole, // QString: the module's tab stem
    };

    explicit ModuleListModel(std::vector<core::Module> modules, QObject *parent = nullptr);
    ~ModuleListModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const std::vector<core::Module> &modules() const { return m_modules; }

    /// Every row is this tall, in logical pixels.
    static constexpr int RowHeight = 100;

private:
    std::vector<core::Module> m_modules;
};

} // namespace gui
