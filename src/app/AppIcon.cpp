#include "app/AppIcon.h"

#include <QPixmap>

#ifdef QM_HAVE_SVG
#include <QPainter>
#include <QSvgRenderer>
#endif

namespace qm {

#ifdef QM_HAVE_SVG

QImage renderSvgIcon(const QString& path, int size) {
    QSvgRenderer renderer(path);
    if (!renderer.isValid() || size <= 0) {
        return {};
    }
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return image;
}

QIcon appIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(QPixmap::fromImage(renderSvgIcon(kAppIconSvg, size)));
    }
    return icon;
}

#else

// Built without Qt Svg: the same image at each size, drawn by the build (src/app/CMakeLists.txt).
QIcon appIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(QPixmap(QStringLiteral(":/quillmark/icons/quillmark-%1.png").arg(size)));
    }
    return icon;
}

#endif

} // namespace qm
