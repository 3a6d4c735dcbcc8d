// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainWindow.h"

#include "platform/ImageStore.h"
#include "ui/AppDelegate.h"
#include "ui/ViewController.h"

#include <QCloseEvent>
#include <QMenuBar>

using namespace Qt::StringLiterals;

namespace gui {

MainWindow::MainWindow(AppDelegate &app, QWidget *parent)
    : QMainWindow(parent)
    , m_app(app)
    , m_viewController(new ViewController(&app.links(), this))
{
    setObjectName(u"mainWindow"_s);
    setWindowIcon(ImageStore::icon(u"spruce"_s));
    setCentralWidget(m_viewController);
    app.buildApplicationMenu(menuBar());
    setMinimumSize(860, 600);
    resize(defaultSize());
}

MainWindow::~MainWindow() = default;

void MainWindow::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        m_app.mainWindowWillClose();
    }
}

} // namespace gui
