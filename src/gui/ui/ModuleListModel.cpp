// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ModuleListModel.h"

#include "engine/ModuleInfo.h"

#include <QSize>

#include <algorithm>

namespace gui {

ModuleListModel::ModuleListModel(std::vector<core::Module> modules, QObject *parent)
    : QAbstractListModel(parent)
    , m_modules(std::move(modules))
    , m_order(displayOrder(m_modules.size()))
{
}

std::vector<int> ModuleListModel::displayOrder(std::size_t count)
{
    std::vector<int> order;
    constexpr int System = core::ModuleInfo::SystemModule;
    for (int index = 0; index < static_cast<int>(count); ++index) {
        if (index == System) {
            continue; // already placed after Application Junk
        }
        order.push_back(index);
        if (index == 2 && static_cast<int>(count) > System) {
            order.push_back(System);
        }
    }
    return order;
}

int ModuleListModel::moduleIndexAt(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) < m_order.size() ? m_order[static_cast<std::size_t>(row)] : -1;
}

int ModuleListModel::rowOfModule(int moduleIndex) const
{
    const auto found = std::find(m_order.begin(), m_order.end(), moduleIndex);
    return found == m_order.end() ? -1 : static_cast<int>(found - m_order.begin());
}

ModuleListModel::~ModuleListModel() = default;

int ModuleListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_modules.size());
}

QVariant ModuleListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const core::Module &module = m_modules[static_cast<std::size_t>(moduleIndexAt(index.row()))];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return QString::fromStdString(module.title);
    case Qt::ToolTipRole:
        return QString::fromStdString(module.title);
    case ImageNameRole:
        return QString::fromStdString(module.image);
    case TabRole:
        return QString::fromStdString(module.tab);
    case ModuleIndexRole:
        return moduleIndexAt(index.row());
    case Qt::SizeHintRole:
        return QSize(0, RowHeight);
    default:
        return {};
    }
}

Qt::ItemFlags ModuleListModel::flags(const QModelIndex &index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace gui
