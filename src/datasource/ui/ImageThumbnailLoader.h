#pragma once

#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <memory>

/// Small pictures of image files for table cells, read off the main thread: a path asked for
/// the first time gives no picture yet and `thumbnailReady` follows once it is read. A file that
/// cannot be read is remembered as such until `clear`.
class ImageThumbnailLoader : public QObject {
    Q_OBJECT
  public:
    explicit ImageThumbnailLoader(int height, QObject* parent = nullptr);
    ~ImageThumbnailLoader() override;

    /// The picture when it is ready; a null pixmap while it is read or when the file is no image.
    QPixmap thumbnail(const QString& path);
    bool isUnreadable(const QString& path) const { return m_unreadable.contains(path); }
    /// Forgets every picture: files are read again when next asked for.
    void clear();

  Q_SIGNALS:
    void thumbnailReady(const QString& path);

  private:
    void finished(const QString& path, const QImage& image);

    int m_height;
    QHash<QString, QPixmap> m_pixmaps;
    QSet<QString> m_pending;
    QSet<QString> m_unreadable;
    /// Loads started before a `clear` report to an older generation and are dropped.
    std::shared_ptr<int> m_generation;
};
