#pragma once

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QList>
#include <QMetaType>

#include <memory>

/// @brief A styled icon as the program keeps it: its PNG encoding and small renditions for drawing.
///
/// The full 1024 × 1024 image is not kept (4 MiB per icon); what a record holds is
/// - png(): the encoding that applying writes as it is, so the UI thread never encodes an image;
/// - renditions: the icon scaled down once, off the UI thread, to the sizes the window draws it at,
///   at device pixel ratios 1 and 2: 24 (multi-selection thumbnail), 36 (list row), 48 (grid card,
///   whose 56-point frame shows the icon at 0.85), 120 (inspector preview) and their doubles
///   (48, 72, 96, 240). Views take rendition(side) and draw it with smooth scaling;
/// - fullImage(): the full-size image decoded from the PNG on the image work pool, when something
///   really needs every pixel.
///
/// Once the PNG is in a file of the caller's (the session keeps every icon on disk), keepPngIn() drops
/// the bytes from memory: png() then reads them from that file each time it is asked, and a file that
/// has gone gives an empty PNG (and a null full image) while the renditions stay.
///
/// Copies share everything and are cheap. Two icons are the same icon when one is a copy of the
/// other, never by pixels: every icon made is a new icon, even from the same picture.
class IconImage final
{
public:
    IconImage() = default;
    /// Keeps `png` and makes the renditions of `styled` (which is not kept). Slow enough to belong
    /// off the UI thread. A null `styled` makes a null icon.
    IconImage(const QImage &styled, const QByteArray &png);
    /// The icon of `png` (a full image of `size`) from renditions the constructor above made of it
    /// earlier and that were kept: nothing is decoded or scaled. A null icon unless they are the
    /// renditions an image of `size` has, in premultiplied ARGB.
    static IconImage fromRenditions(const QByteArray &png, QSize size, const QList<QImage> &renditions);

    bool isNull() const { return !d; }
    /// Unique per icon made; 0 for the null icon.
    qint64 cacheKey() const;
    /// The PNG encoding of the full-size icon; read from its file when kept there (empty when that
    /// file has gone or is unreadable).
    QByteArray png() const;
    /// The file the PNG is kept in instead of memory; empty while the bytes are in memory.
    QString pngFile() const;
    /// Brings back every rendition of the icon whose PNG is the file at the path given, from wherever they
    /// are kept beside it; an empty list when they cannot be had. Called on whichever thread draws.
    using RenditionLoader = QList<QImage> (*)(const QString &pngFile);
    /// The PNG is now in the file at `path`, byte for byte: memory lets go of it and every copy of this
    /// icon reads it from there. With a `loader` (its renditions are beside that file too), the large
    /// renditions leave memory as well, as withLargeRenditionsLoadedBy() has them. Thread-safe, while
    /// other threads draw the icon; the file's owner keeps it for as long as the icon lives.
    void keepPngIn(const QString &path, RenditionLoader loader = nullptr) const;
    /// This icon with its PNG read into memory, for work that reads it more than once; the same
    /// picture (cacheKey()) but not the same icon. A null icon when the PNG's file has gone.
    IconImage withPngInMemory() const;
    /// An icon known only by the file its PNG is in, nothing read: enough to apply (withPngInMemory()
    /// reads it then), not to draw. Null for an empty path.
    static IconImage fromPngFile(const QString &path);
    /// The full-size icon's size in pixels.
    QSize size() const;

    /// Renditions up to this side stay in memory for icons that load the others lazily: the grid's and
    /// the list's at every pixel ratio up to 2.
    static constexpr int keptRenditionSide = 96;
    /// This icon (the same picture, cacheKey() and PNG) holding only the renditions up to
    /// keptRenditionSide in memory: the larger ones (the inspector's preview) are loaded by `loader`
    /// from beside pngFile() when first drawn, and kept only while recently drawn. Should they fail to
    /// load, the largest one kept stands in. This icon itself is left as it is (keepPngIn() with a loader
    /// makes the same change to it in place).
    IconImage withLargeRenditionsLoadedBy(RenditionLoader loader) const;
    /// The icon whose PNG (a full image of `size`) is the file at `pngFile`, made of its renditions up
    /// to keptRenditionSide (`kept`, smallest first, as fromRenditions() takes them) and loading the
    /// larger ones by `loader`, as withLargeRenditionsLoadedBy() makes it: the large ones are never
    /// read here. A null icon unless `kept` are those renditions.
    static IconImage fromKeptRenditions(const QString &pngFile, QSize size, const QList<QImage> &kept,
                                        RenditionLoader loader);
    /// Whether the large renditions are loaded when drawn rather than held.
    bool loadsLargeRenditionsLazily() const;

    /// The smallest rendition at least `pixelSide` pixels wide, else the largest one. Draw it into a
    /// frame of `pixelSide` device pixels with smooth scaling. A null image for the null icon.
    QImage rendition(int pixelSide) const;
    /// Every rendition, smallest first (loading the large ones, when they are loaded lazily; without
    /// them when they cannot be loaded).
    QList<QImage> renditions() const;
    /// The sides (in pixels) renditions are made at, smallest first.
    static const QList<int> &renditionSides();
    /// The longer side of each rendition an image of `size` has, smallest first.
    static QList<int> renditionSidesFor(QSize size);

    /// The full-size image, decoded from the PNG on the image work pool.
    QFuture<QImage> fullImage() const;
    /// The same, decoded on the calling thread: never call it on the UI thread.
    QImage decodeFullImage() const;

    /// How many icons (not copies) are alive in the process: what generated images cost in memory.
    static int liveCount();

    friend bool operator==(const IconImage &a, const IconImage &b) { return a.d == b.d; }

private:
    struct Data;
    QList<QImage> largeRenditions() const;
    std::shared_ptr<const Data> d;
};

Q_DECLARE_METATYPE(IconImage)
