// SPDX-License-Identifier: GPL-3.0-or-later
// The more-tools screen: where its page comes from, which links stay in the
// view, the progress indicator, and what shows instead of a page that
// cannot be shown.

#include "GuiTestSupport.h"
#include "platform/LinkOpener.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"
#include "ui/MoreToolViewController.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using gui::MoreToolViewController;
using gui::NavigationKind;
using gui::NavigationPolicy;

Q_DECLARE_METATYPE(gui::NavigationKind)
Q_DECLARE_METATYPE(gui::NavigationPolicy)

namespace {

// (Plain literals: moc does not read raw strings.)
constexpr const char *TestPage = "<html><head><meta charset=\"utf-8\"><title>Tools</title></head><body>\n"
                                 "<h1>Tools</h1>\n"
                                 "<p><a href=\"page.html\">This page again</a></p>\n"
                                 "<p><a href=\"help/other.html\">Another <b>page</b></a></p>\n"
                                 "<p><a href=\"https://example.org/tools\">On the web</a></p>\n"
                                 "</body></html>";

class MoreToolTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_resources;
    std::unique_ptr<gui_tests::Environment> m_env;
    gui_tests::RecordingOpener m_opener;
    std::unique_ptr<gui::LinkOpener> m_links;
    std::unique_ptr<MoreToolViewController> m_screen;

    QUrl testPage() const { return QUrl::fromLocalFile(m_resources.filePath(u"page.html"_s)); }

    /// Module 4 of the test catalogue names `description`; resources are
    /// searched in `dirs` (default: the temporary folder, then the shipped ones).
    void useCatalogue(const QString &description, std::vector<std::string> dirs = {})
    {
        if (dirs.empty()) {
            dirs = { m_resources.path().toStdString(), gui_tests::sourceResources() };
        }
        m_screen.reset();
        m_env.reset(); // first: each Environment restores the services it found
        m_env = std::make_unique<gui_tests::Environment>(std::move(dirs));
        auto modules = gui_tests::Environment::fiveModules();
        modules[4].description = description.toStdString();
        core::ModuleInfo::setModulesForTesting(std::move(modules));
    }

    /// Shows the screen and waits for its first load to end (when it starts one).
    MoreToolViewController *showScreen()
    {
        m_screen = std::make_unique<MoreToolViewController>(m_links.get());
        m_screen->resize(800, 600);
        m_screen->show();
        if (m_screen->webview()->isLoading()) {
            QSignalSpy finished(m_screen->webview(), &gui::PageView::loadFinished);
            if (!finished.wait(5000)) {
                qFatal("the page did not finish loading");
            }
        }
        return m_screen.get();
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_resources.isValid());
        // The catalogue file only marks the resource folder; its modules come from the test.
        gui_tests::writePlist(m_resources.filePath(u"SpruceModules.plist"_s), "<array/>");
        QFile page(m_resources.filePath(u"page.html"_s));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(TestPage);
        page.close();
        // The link target exists: the opener is never handed a missing file.
        QVERIFY(QDir(m_resources.path()).mkpath(u"help"_s));
        QFile other(m_resources.filePath(u"help/other.html"_s));
        QVERIFY(other.open(QIODevice::WriteOnly));
        m_opener = gui_tests::RecordingOpener();
        m_links = std::make_unique<gui::LinkOpener>(m_opener.function());
    }
    void cleanup()
    {
        m_screen.reset();
        m_env.reset();
    }

    void navigationPolicy_data()
    {
        QTest::addColumn<QUrl>("request");
        QTest::addColumn<NavigationKind>("kind");
        QTest::addColumn<QUrl>("page");
        QTest::addColumn<NavigationPolicy>("expected");
        const QUrl page(u"file:///usr/share/spruce/resources/more-tools.html"_s);
        const auto link = NavigationKind::Link;
        QTest::newRow("own address stays") << page << link << page << NavigationPolicy::Use;
        QTest::newRow("own address, encoded differently")
            << QUrl::fromLocalFile(u"/opt/a b/p.html"_s) << link << QUrl(u"file:///opt/a%20b/p.html"_s)
            << NavigationPolicy::Use;
        QTest::newRow("own address in a new window")
            << page << NavigationKind::NewWindow << page << NavigationPolicy::OpenExternally;
        QTest::newRow("web page") << QUrl(u"https://example.org/"_s) << link << page
                                  << NavigationPolicy::OpenExternally;
        QTest::newRow("same page, other fragment")
            << QUrl(page.toString() + u"#apt"_s) << link << page << NavigationPolicy::OpenExternally;
        QTest::newRow("folder") << QUrl(u"file:///var/cache/apt/archives/"_s) << link << page
                                << NavigationPolicy::OpenExternally;
        QTest::newRow("no page: everything leaves") << page << link << QUrl() << NavigationPolicy::OpenExternally;
        QTest::newRow("invalid request") << QUrl(u"http://exa mple.org"_s, QUrl::StrictMode) << link << page
                                         << NavigationPolicy::Ignore;
        QTest::newRow("empty request") << QUrl() << link << page << NavigationPolicy::Ignore;
        QTest::newRow("unresolved relative request")
            << QUrl(u"help/index.html"_s) << link << page << NavigationPolicy::Ignore;
    }
    void navigationPolicy()
    {
        QFETCH(QUrl, request);
        QFETCH(NavigationKind, kind);
        QFETCH(QUrl, page);
        QFETCH(NavigationPolicy, expected);
        QCOMPARE(MoreToolViewController::decidePolicyForNavigationAction(request, kind, page), expected);
    }

    void pageAddressesResolve_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected"); // empty: invalid
        const QString folder = u"/usr/share/spruce/resources"_s;
        const QString shipped = u"file:///usr/share/spruce/resources/more-tools.html"_s;
        QTest::newRow("relative") << u"more-tools.html"_s << folder << shipped;
        QTest::newRow("relative in a subfolder")
            << u"help/tools.html#apt"_s << folder << u"file:///usr/share/spruce/resources/help/tools.html#apt"_s;
        QTest::newRow("folder with a space") << u"more-tools.html"_s << u"/home/ann/my resources"_s
                                             << u"file:///home/ann/my%20resources/more-tools.html"_s;
        QTest::newRow("absolute file url") << u"file:///opt/tools.html"_s << folder << u"file:///opt/tools.html"_s;
        QTest::newRow("web address") << u"https://example.org/tools"_s << folder << u"https://example.org/tools"_s;
        QTest::newRow("relative without a folder") << u"more-tools.html"_s << QString() << QString();
        QTest::newRow("empty") << QString() << folder << QString();
        QTest::newRow("not a url") << u"http://exa mple.org"_s << folder << QString();
    }
    void pageAddressesResolve()
    {
        QFETCH(QString, description);
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        const QUrl url = MoreToolViewController::pageUrl(description, folder);
        if (expected.isEmpty()) {
            QVERIFY2(!url.isValid(), qPrintable(url.toString()));
        } else {
            QCOMPARE(url.toString(QUrl::FullyEncoded), expected);
        }
    }

    void shownPageComesFromTheResourceFolder()
    {
        useCatalogue(u"page.html"_s);
        auto *screen = showScreen();
        QCOMPARE(screen->moduleIndex(), 4);
        QCOMPARE(screen->url().value_or(QUrl()), testPage());
        QVERIFY(!screen->isShowingFallback());
        QCOMPARE(screen->webview()->documentTitle(), u"Tools"_s);
        QVERIFY(screen->webview()->toPlainText().contains(u"Another page"_s));
        // Styled from the theme: the heading in the title colour.
        const QTextCharFormat heading = screen->webview()->document()->begin().charFormat();
        QCOMPARE(heading.foreground().color(), gui::UIUtil::color(core::UIInfo::nsColor("module_title_font")).toRgb());
    }

    void indicatorShowsWhileLoadingAndIsHiddenForGood()
    {
        useCatalogue(u"page.html"_s);
        m_screen = std::make_unique<MoreToolViewController>(m_links.get());
        m_screen->show();
        QVERIFY(m_screen->webview()->isLoading());
        QVERIFY(m_screen->progressIndicator()->isVisible());
        QCOMPARE(m_screen->progressIndicator()->maximum(), 0); // indeterminate
        QSignalSpy finished(m_screen->webview(), &gui::PageView::loadFinished);
        QVERIFY(finished.wait(5000));
        QVERIFY(!m_screen->progressIndicator()->isVisible());

        // A later load (the page's own address, followed) shows it no more.
        QSignalSpy started(m_screen->webview(), &gui::PageView::loadStarted);
        Q_EMIT m_screen->webview()->navigationRequested(testPage(), NavigationKind::Link);
        QCOMPARE(started.size(), 1);
        QVERIFY(m_screen->webview()->isLoading());
        QVERIFY(!m_screen->progressIndicator()->isVisible());
        QVERIFY(finished.wait(5000));
        QVERIFY(!m_screen->progressIndicator()->isVisible());
        QVERIFY(m_opener.opened->empty());

        // Switching away and back loads nothing.
        m_screen->hide();
        m_screen->show();
        QTest::qWait(20);
        QCOMPARE(started.size(), 1);
    }

    void followedLinksLeaveAndTheViewStays()
    {
        useCatalogue(u"page.html"_s);
        auto *screen = showScreen();
        gui::PageView *view = screen->webview();
        QSignalSpy started(view, &gui::PageView::loadStarted);
        const QString shownText = view->toPlainText();

        // From the keyboard: Tab to the second link, Enter follows it.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Tab);
        QCOMPARE(view->focusedLink(), testPage());
        QTest::keyClick(view, Qt::Key_Tab);
        const QUrl other = QUrl::fromLocalFile(m_resources.filePath(u"help/other.html"_s));
        QCOMPARE(view->focusedLink(), other);
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(*m_opener.opened, std::vector<QUrl>{ other });

        Q_EMIT view->navigationRequested(QUrl(u"https://example.org/tools"_s), NavigationKind::Link);
        // A middle click asks for a new window: the page's own link leaves too.
        QTextCursor cursor = view->document()->find(u"This page again"_s);
        QVERIFY(!cursor.isNull());
        cursor.setPosition(cursor.selectionStart() + 2);
        QSignalSpy requests(view, &gui::PageView::navigationRequested);
        QTest::mouseClick(view->viewport(), Qt::MiddleButton, {}, view->cursorRect(cursor).center());
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).at(1).value<NavigationKind>(), NavigationKind::NewWindow);
        QCOMPARE(m_opener.opened->size(), 3U);
        QCOMPARE(m_opener.opened->at(1), QUrl(u"https://example.org/tools"_s));
        QCOMPARE(m_opener.opened->at(2), testPage());

        QCOMPARE(started.size(), 0);
        QCOMPARE(view->url(), testPage());
        QCOMPARE(view->toPlainText(), shownText);
        QVERIFY(!screen->isShowingFallback());
    }

    void linksAreNamedAndFollowedOverAccessibility()
    {
        useCatalogue(u"page.html"_s);
        auto *screen = showScreen();
        QAccessibleInterface *page = QAccessible::queryAccessibleInterface(screen->webview());
        QVERIFY(page != nullptr);
        QCOMPARE(page->role(), QAccessible::Document);
        QCOMPARE(page->text(QAccessible::Name), u"More Tools page"_s);
        QVERIFY(page->textInterface() != nullptr);
        QVERIFY(page->textInterface()->text(0, page->textInterface()->characterCount()).startsWith(u"Tools\n"_s));

        QCOMPARE(page->childCount(), 3);
        const QStringList names = { u"This page again"_s, u"Another page"_s, u"On the web"_s };
        for (int i = 0; i < 3; ++i) {
            QAccessibleInterface *link = page->child(i);
            QCOMPARE(link->role(), QAccessible::Link);
            QCOMPARE(link->text(QAccessible::Name), names.at(i));
            QCOMPARE(link->parent(), page);
            QCOMPARE(page->indexOfChild(link), i);
            QVERIFY(link->state().focusable);
        }
        QAccessibleInterface *other = page->child(1);
        QCOMPARE(other->text(QAccessible::Description),
            QUrl::fromLocalFile(m_resources.filePath(u"help/other.html"_s)).toDisplayString());

        other->actionInterface()->doAction(QAccessibleActionInterface::setFocusAction());
        QCOMPARE(screen->webview()->focusedLink(), QUrl::fromLocalFile(m_resources.filePath(u"help/other.html"_s)));
        QCOMPARE(page->focusChild(), other);
        QVERIFY(m_opener.opened->empty());
        page->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(*m_opener.opened, std::vector<QUrl>{ QUrl(u"https://example.org/tools"_s) });

        // A new page gives new children.
        QSignalSpy finished(screen->webview(), &gui::PageView::loadFinished);
        QFile page2(m_resources.filePath(u"page.html"_s));
        QVERIFY(page2.open(QIODevice::WriteOnly | QIODevice::Truncate));
        page2.write("<p><a href=\"https://example.org/\">Only link</a></p>");
        page2.close();
        screen->webview()->followLink(u"page.html"_s);
        QVERIFY(finished.wait(5000));
        QCOMPARE(page->childCount(), 1);
        QCOMPARE(page->child(0)->text(QAccessible::Name), u"Only link"_s);
    }

    void aPageThatCannotBeShownGivesItsAddressAndWhy()
    {
        // Not an address: said as plain text, nothing to open.
        useCatalogue(u"http://exa mple.org/tools"_s);
        auto *screen = showScreen();
        QVERIFY(screen->isShowingFallback());
        QVERIFY(screen->url().has_value() && !screen->url()->isValid());
        QCOMPARE(screen->fallbackAddress()->text(), u"http://exa mple.org/tools"_s);
        QCOMPARE(screen->fallbackAddress()->textFormat(), Qt::PlainText);
        QVERIFY(!screen->openInBrowserButton()->isEnabled());
        QVERIFY(!screen->progressIndicator()->isVisible());

        // A missing page: the reason, and no browser for a local file.
        useCatalogue(u"missing.html"_s);
        screen = showScreen();
        QVERIFY(screen->isShowingFallback());
        QVERIFY(!screen->progressIndicator()->isVisible());
        QVERIFY(!screen->webview()->errorString().isEmpty());
        QVERIFY(screen->fallbackMessage()->text().contains(screen->webview()->errorString()));
        QCOMPARE(screen->fallbackAddress()->text(), m_resources.filePath(u"missing.html"_s));
        QVERIFY(!screen->openInBrowserButton()->isEnabled());

        // A web address: the browser is offered, from the button and the link.
        useCatalogue(u"https://example.org/tools"_s);
        screen = showScreen();
        QVERIFY(screen->isShowingFallback());
        QVERIFY(screen->fallbackAddress()->text().contains(u"href=\"https://example.org/tools\""_s));
        QCOMPARE(screen->openInBrowserButton()->text(), u"Open in Browser"_s);
        QVERIFY(screen->openInBrowserButton()->isEnabled());
        QTest::mouseClick(screen->openInBrowserButton(), Qt::LeftButton);
        Q_EMIT screen->fallbackAddress()->linkActivated(u"https://example.org/tools"_s);
        QCOMPARE(*m_opener.opened, std::vector<QUrl>(2, QUrl(u"https://example.org/tools"_s)));
    }

    void pipesAndOversizedFilesAreNotRead()
    {
        // A pipe would block the GUI thread on open; neither the page nor what it names may be one.
        const QString pipe = m_resources.filePath(u"pipe"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QFile page(m_resources.filePath(u"page.html"_s));
        QVERIFY(page.open(QIODevice::WriteOnly | QIODevice::Truncate));
        page.write("<h1>Tools</h1><img src=\"pipe\"><link rel=\"stylesheet\" href=\"pipe\">");
        page.close();
        useCatalogue(u"page.html"_s);
        QVERIFY(!showScreen()->isShowingFallback());
        QCOMPARE(m_screen->webview()->documentTitle(), QString());

        useCatalogue(u"pipe"_s);
        QVERIFY(showScreen()->isShowingFallback());
        QCOMPARE(m_screen->webview()->errorString(), u"not a regular file"_s);

        QFile big(m_resources.filePath(u"big.html"_s));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(gui::PageView::MaxPageSize + 1));
        big.close();
        useCatalogue(u"big.html"_s);
        QVERIFY(showScreen()->isShowingFallback());
        QVERIFY(m_screen->webview()->errorString().contains(u"larger"_s));
    }

    // The shipped catalogue's address, as the build copies the resources
    // next to the binary and as `cmake --install` lays them out.
    void shippedPageIsFoundInBuildAndInstalledTrees_data()
    {
        QTest::addColumn<QString>("resources");
        QTest::newRow("build tree") << QStringLiteral(SPRUCE_BINARY_DIR "/src/app/resources");
        QTest::newRow("installed tree") << QStringLiteral(SPRUCE_INSTALL_TREE "/share/spruce/resources");
    }
    void shippedPageIsFoundInBuildAndInstalledTrees()
    {
        QFETCH(QString, resources);
        const QString catalogue = resources + u"/SpruceModules.plist"_s;
        QVERIFY2(QFile::exists(catalogue), qPrintable(catalogue));
        useCatalogue(QString(), { resources.toStdString() });
        auto loaded = core::ModuleInfo::loadCatalogue(catalogue.toStdString(), m_env->home.path().toStdString());
        QVERIFY(loaded.has_value());
        core::ModuleInfo::setModulesForTesting(std::move(loaded.value()));

        auto *screen = showScreen();
        QCOMPARE(screen->url().value_or(QUrl()), QUrl::fromLocalFile(resources + u"/more-tools.html"_s));
        QVERIFY2(!screen->isShowingFallback(), qPrintable(screen->webview()->errorString()));
        QCOMPARE(screen->webview()->documentTitle(), u"More Tools"_s);
    }
};

} // namespace

SPRUCE_GUI_TEST(MoreToolTest)
#include "MoreToolTest.moc"
