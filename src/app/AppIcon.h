#pragma once

// The tool's icon, drawn from one SVG image (quillmark.svg): the window icon, and the two icon
// files that the build puts beside the executable.

#include <QIcon>
#include <QImage>
#include <QString>

namespace qm {

// The built-in image's resource path.
inline const QString kAppIconSvg = QStringLiteral(":/quillmark/quillmark.svg");

// The SVG image at `path` drawn into a square of `size` pixels, transparent around it; a null
// image when the file cannot be read as SVG. Only in builds with Qt Svg.
QImage renderSvgIcon(const QString& path, int size);

// The window icon at the sizes a desktop asks for.
QIcon appIcon();

} // namespace qm
