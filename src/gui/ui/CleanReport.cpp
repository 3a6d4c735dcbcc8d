// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CleanReport.h"

#include "engine/CleanTally.h"

using namespace Qt::StringLiterals;

namespace gui {

CleanReport::CleanReport(QObject *parent)
    : QAbstractListModel(parent)
{
}

CleanReport::~CleanReport() = default;

void CleanReport::clear()
{
    if (m_failures.empty()) {
        return;
    }
    beginResetModel();
    m_failures.clear();
    endResetModel();
}

void CleanReport::add(Failure failure)
{
    const int row = static_cast<int>(m_failures.size());
    beginInsertRows(QModelIndex(), row, row);
    m_failures.push_back(std::move(failure));
    endInsertRows();
}

void CleanReport::setFrom(const core::CleanTally &tally)
{
    const auto text = [](const std::string &bytes) {
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    };
    beginResetModel();
    m_failures.clear();
    for (const core::CleanTally::Item &item : tally.failed) {
        const std::optional<core::Error> &error = item.report.error;
        m_failures.push_back(Failure{ text(error && !error->path.empty() ? error->path : item.path),
            error ? text(error->message) : u"not deleted"_s });
    }
    for (const auto *notes : { &tally.skipped, &tally.reviewOnly }) {
        for (const core::CleanTally::Skipped &note : *notes) {
            m_failures.push_back(Failure{ text(note.title), text(note.reason) });
        }
    }
    endResetModel();
}

QString CleanReport::summary() const
{
    if (m_failures.empty()) {
        return {};
    }
    const QString what = m_trashing ? u"moved to the Trash"_s : u"deleted"_s;
    return m_failures.size() == 1 ? u"1 item could not be "_s + what
                                  : u"%1 items could not be %2"_s.arg(m_failures.size()).arg(what);
}

int CleanReport::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_failures.size());
}

QVariant CleanReport::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Failure &failure = m_failures[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return QString(failure.path + u": "_s + failure.reason);
    case Qt::ToolTipRole:
    case PathRole:
        return failure.path;
    case ReasonRole:
        return failure.reason;
    default:
        return {};
    }
}

} // namespace gui
