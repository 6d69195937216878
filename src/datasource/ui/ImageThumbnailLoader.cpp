#include "datasource/ui/ImageThumbnailLoader.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QPointer>
#include <QThreadPool>

namespace {

/// Files larger than this are not shown: a path in a feed may name anything.
constexpr qint64 MaximumImageBytes = 64 * 1024 * 1024;

QImage readScaled(const QString& path, int height) {
    QImageReader reader(path);
    if (reader.device() && reader.device()->size() > MaximumImageBytes)
        return {};
    const QSize size = reader.size();
    if (size.isValid() && size.height() > height)
        reader.setScaledSize(size.scaled(QSize(height * 4, height), Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (!image.isNull() && image.height() > height)
        image = image.scaled(QSize(height * 4, height), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

ImageThumbnailLoader::ImageThumbnailLoader(int height, QObject* parent)
    : QObject(parent), m_height(height), m_generation(std::make_shared<int>(0)) {}

ImageThumbnailLoader::~ImageThumbnailLoader() = default;

QPixmap ImageThumbnailLoader::thumbnail(const QString& path) {
    if (path.isEmpty() || m_unreadable.contains(path))
        return {};
    const auto found = m_pixmaps.constFind(path);
    if (found != m_pixmaps.constEnd())
        return *found;
    if (!m_pending.contains(path)) {
        m_pending.insert(path);
        QPointer<ImageThumbnailLoader> self(this);
        const std::weak_ptr<int> generation = m_generation;
        const int height = m_height;
        QThreadPool::globalInstance()->start([self, generation, path, height] {
            const QImage image = readScaled(path, height);
            QMetaObject::invokeMethod(
                qApp,
                [self, generation, path, image] {
                    if (self && !generation.expired())
                        self->finished(path, image);
                },
                Qt::QueuedConnection);
        });
    }
    return {};
}

void ImageThumbnailLoader::finished(const QString& path, const QImage& image) {
    m_pending.remove(path);
    if (image.isNull())
        m_unreadable.insert(path);
    else
        m_pixmaps.insert(path, QPixmap::fromImage(image));
    Q_EMIT thumbnailReady(path);
}

void ImageThumbnailLoader::clear() {
    m_generation = std::make_shared<int>(0);
    m_pixmaps.clear();
    m_pending.clear();
    m_unreadable.clear();
}
