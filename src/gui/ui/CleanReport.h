// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QString>

#include <vector>

namespace core {
struct CleanTally;
}

namespace gui {

/// The items a clean could not delete, each with its path and why, in the
/// order the cleaner reported them. Empty until a clean reports a failure;
/// cleared when the next clean starts. GUI thread.
class CleanReport : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CleanReport)

public:
    enum Role {
        PathRole = Qt::UserRole + 1, // QString
        ReasonRole, // QString
    };

    struct Failure
    {
        QString path;
        QString reason;
    };

    explicit CleanReport(QObject *parent = nullptr);
    ~CleanReport() override;

    void clear();
    void add(Failure failure);
    /// Shows what a finished clean left: every item not removed (by the path
    /// the failure names, else the item's), then every category left alone
    /// because its program runs, then every selected review-only category.
    void setFrom(const core::CleanTally &tally);
    /// Whether the clean moves items to the Trash: the summary then says
    /// they could not be moved there rather than deleted.
    void setTrashing(bool trashing) { m_trashing = trashing; }
    const std::vector<Failure> &failures() const { return m_failures; }

    /// "1 item could not be deleted" / "N items could not be deleted" (when
    /// trashing: "... could not be moved to the Trash"); "" when none.
    QString summary() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    std::vector<Failure> m_failures;
    bool m_trashing = false;
};

} // namespace gui
