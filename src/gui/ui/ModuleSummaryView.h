// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;

namespace gui {

/// A module's title and description, centred, styled with the theme entries
/// "module_title_font" and "module_description_font". GUI thread.
class ModuleSummaryView : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModuleSummaryView)

public:
    explicit ModuleSummaryView(QWidget *parent = nullptr);
    ~ModuleSummaryView() override;

    /// Shows catalogue module `moduleIndex`; an index outside the catalogue shows nothing.
    void showModule(int moduleIndex);

    QLabel *titleLabel() const { return m_title; }
    QLabel *descriptionLabel() const { return m_description; }

private:
    QLabel *m_title; // owned (child)
    QLabel *m_description; // owned (child)
};

} // namespace gui
