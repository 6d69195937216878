#pragma once

#include <QObject>
#include <QStringList>

class QMenu;
class QMenuBar;
namespace platform {
class UserDefaults;
}

/// The documents opened or saved most recently, newest first ("RecentDocumentPaths", at most
/// ten, files that are gone left out), and the Open Recent menus that offer them.
class RecentDocuments : public QObject {
    Q_OBJECT
  public:
    static inline const QString Key = QStringLiteral("RecentDocumentPaths");
    static constexpr int Maximum = 10;

    explicit RecentDocuments(platform::UserDefaults& defaults, QObject* parent = nullptr);

    QStringList paths() const;
    void add(const QString& path);
    void clear();
    /// Fills `menu` with the recent documents each time it opens; choosing one emits openRequested.
    void attach(QMenu* menu);
    /// Puts an attached File ▸ Open Recent submenu right after the Open command of `menuBar`.
    void addMenuAfterOpen(QMenuBar* menuBar);

  Q_SIGNALS:
    void openRequested(const QString& path);

  private:
    platform::UserDefaults& m_defaults;
};
