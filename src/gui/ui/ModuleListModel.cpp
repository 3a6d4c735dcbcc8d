#include "ui/ModuleListModel.h"

#include <QSize>

namespace gui {

ModuleListModel::ModuleListModel(std::vector<core::Module> modules, QObject *parent)
    : QAbstractListModel(parent)
    , m_modules(std::move(modules))
{
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
    const core::Module &module = m_modules[static_cast<std::size_t>(index.row())];
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
