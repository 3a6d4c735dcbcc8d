// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainWindow.h"

#include "platform/ImageStore.h"
#include "ui/AppDelegate.h"
#include "ui/ViewController.h"

#include <QMenuBar>

using namespace Qt::StringLiterals;

namespace gui {

MainWindow::MainWindow(AppDelegate &app, QWidget *parent)
    : QMainWindow(parent)
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

} // namespace gui
