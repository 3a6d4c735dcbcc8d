// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/StatusViewController.h"

#include "monitor/MonitorPanel.h"
#include "monitor/MonitorTimers.h"
#include "platform/ImageStore.h"
#include "theme/SettingInfo.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace gui {

StatusViewController::StatusViewController(QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(this))
    , m_monitors(new MonitorPanel(this))
    , m_showButton(new QPushButton(this))
    , m_quitButton(new QPushButton(tr("Quit"), this))
{
    setObjectName(u"StatusViewController"_s);
    auto *logo = new QLabel(this);
    logo->setPixmap(ImageStore::pixmap(u"spruce"_s, QSize(28, 28)));
    const QString product = QString::fromStdString(core::SettingInfo::valueOf("product_name"));
    m_title->setText(product);
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    titleFont.setPixelSize(16);
    m_title->setFont(titleFont);

    m_showButton->setObjectName(u"showMainWindow"_s);
    UIUtil::setBtnAttribute(m_showButton, tr("Open %1").arg(product), core::UIInfo::nsMyUI("review_button_font"));
    connect(UIUtil::notifier(), &ThemeNotifier::themeChanged, this, [this] {
        UIUtil::setBtnAttribute(m_showButton, m_showButton->text(), core::UIInfo::nsMyUI("review_button_font"));
    });
    m_showButton->setDefault(true);
    m_quitButton->setObjectName(u"quit"_s);
    m_quitButton->setFlat(true);

    auto *header = new QHBoxLayout();
    header->setSpacing(10);
    header->addWidget(logo);
    header->addWidget(m_title, 1);
    auto *buttons = new QHBoxLayout();
    buttons->addWidget(m_quitButton);
    buttons->addStretch(1);
    buttons->addWidget(m_showButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(14);
    layout->addLayout(header);
    layout->addWidget(m_monitors);
    layout->addLayout(buttons);
    // Room for the five memory legends side by side.
    setMinimumWidth(680);

    connect(m_showButton, &QPushButton::clicked, this, &StatusViewController::showMainWindow);
    connect(m_quitButton, &QPushButton::clicked, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

StatusViewController::~StatusViewController() = default;

int StatusViewController::showMainWindows()
{
    int shown = 0;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->objectName() != u"mainWindow"_s) {
            continue;
        }
        if (window->isMinimized()) {
            window->showNormal();
        } else {
            window->show();
        }
        window->raise();
        window->activateWindow();
        ++shown;
    }
    return shown;
}

void StatusViewController::startTimer(const QString &tag)
{
    m_monitors->timers()->redrawTagged(tag);
}

void StatusViewController::showMainWindow()
{
    showMainWindows();
    if (QWidget *popover = window(); popover != nullptr && popover != this) {
        popover->hide();
    }
}

} // namespace gui
