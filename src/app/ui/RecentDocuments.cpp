#include "app/ui/RecentDocuments.h"

#include "platform/UserDefaults.h"

#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

RecentDocuments::RecentDocuments(platform::UserDefaults& defaults, QObject* parent)
    : QObject(parent), m_defaults(defaults) {}

QStringList RecentDocuments::paths() const {
    QStringList existing;
    for (const QString& path : m_defaults.stringArrayForKey(Key)) {
        if (QFileInfo::exists(path))
            existing.append(path);
    }
    return existing;
}

void RecentDocuments::add(const QString& path) {
    if (path.isEmpty())
        return;
    QStringList list = m_defaults.stringArrayForKey(Key);
    list.removeAll(path);
    list.prepend(path);
    m_defaults.setValue(Key, list.mid(0, Maximum));
}

void RecentDocuments::clear() {
    m_defaults.removeObject(Key);
}

void RecentDocuments::attach(QMenu* menu) {
    connect(menu, &QMenu::aboutToShow, menu, [this, menu] {
        menu->clear();
        const QStringList list = paths();
        for (int i = 0; i < list.size(); ++i) {
            const QString path = list.at(i);
            // &1 … &9, then &0: each entry has a key.
            const QString label = QStringLiteral("&%1 %2").arg((i + 1) % 10).arg(QFileInfo(path).fileName());
            QAction* action = menu->addAction(label, this, [this, path] { Q_EMIT openRequested(path); });
            action->setToolTip(path);
            action->setStatusTip(path);
        }
        if (list.isEmpty())
            menu->addAction(tr("No Recent Documents"))->setEnabled(false);
        menu->addSeparator();
        menu->addAction(tr("&Clear the List"), this, &RecentDocuments::clear)->setEnabled(!list.isEmpty());
    });
}

void RecentDocuments::addMenuAfterOpen(QMenuBar* menuBar) {
    for (QAction* action : menuBar->actions()) {
        QMenu* file = action->menu();
        if (!file)
            continue;
        const QList<QAction*> items = file->actions();
        for (int i = 0; i < items.size(); ++i) {
            if (items.at(i)->shortcut() != QKeySequence(QKeySequence::Open))
                continue;
            auto* submenu = new QMenu(tr("Open &Recent"), file);
            file->insertMenu(i + 1 < items.size() ? items.at(i + 1) : nullptr, submenu);
            attach(submenu);
            return;
        }
    }
}
