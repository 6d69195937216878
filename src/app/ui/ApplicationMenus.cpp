#include "app/ui/ApplicationMenus.h"

#include "app/ui/RecentDocuments.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

QString plain(QString title) {
    return title.remove(QLatin1Char('&'));
}

/// The menu bar's menu titled `title` (mnemonics aside); made before `before` (or last) if missing.
QMenu* menuNamed(QMenuBar* bar, const QString& title, QAction* before = nullptr) {
    for (QAction* action : bar->actions()) {
        if (action->menu() && plain(action->text()) == plain(title))
            return action->menu();
    }
    auto* menu = new QMenu(title, bar);
    bar->insertMenu(before, menu);
    return menu;
}

} // namespace

ApplicationMenus::ApplicationMenus(RecentDocuments& recent, QObject* parent)
    : QObject(parent), m_recent(recent) {}

void ApplicationMenus::install(QMainWindow* window) {
    QMenuBar* bar = window->menuBar();
    m_recent.addMenuAfterOpen(bar);

    QMenu* edit = menuNamed(bar, tr("&Edit"));
    if (!edit->isEmpty())
        edit->addSeparator();
    QAction* preferences =
        edit->addAction(tr("&Preferences…"), this, &ApplicationMenus::preferencesRequested);
    // The standard key is empty on Linux: Ctrl+, and KDE's Ctrl+Shift+, instead.
    preferences->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Comma), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Comma)});
    preferences->setMenuRole(QAction::PreferencesRole);

    QMenu* help = menuNamed(bar, tr("&Help"));
    QMenu* windows = menuNamed(bar, tr("&Window"), help->menuAction());
    windows->addAction(tr("&Minimize"), window, &QWidget::showMinimized)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    windows->addSeparator();
    windows->addAction(tr("&Documents Overview"), this, &ApplicationMenus::overviewRequested)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));

    help->addAction(tr("Search the &Knowledge Base"), this, &ApplicationMenus::knowledgeBaseRequested);
    help->addAction(tr("Contact &Support…"), this, &ApplicationMenus::contactSupportRequested);
    help->addSeparator();
    help->addAction(tr("&About Graflink"), this, &ApplicationMenus::aboutRequested)
        ->setMenuRole(QAction::AboutRole);
}
