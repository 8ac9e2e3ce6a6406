// mkicon SVG SIZE OUTPUT: draws the SVG image SVG at SIZE x SIZE pixels and writes it to OUTPUT in
// the format its extension names (".ico": a Windows icon file). The build makes the icon files
// that ship beside the executable with it.

#include "app/AppIcon.h"

#include <QCoreApplication>
#include <QImageWriter>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool sizeOk = false;
    const int size = args.size() == 4 ? args.at(2).toInt(&sizeOk) : 0;
    if (!sizeOk || size < 1 || size > 256) {
        std::fprintf(stderr, "usage: mkicon SVG SIZE(1-256) OUTPUT\n");
        return 2;
    }
    const QImage image = qm::renderSvgIcon(args.at(1), size);
    if (image.isNull()) {
        std::fprintf(stderr, "mkicon: %s: not an SVG image\n", qPrintable(args.at(1)));
        return 1;
    }
    QImageWriter writer(args.at(3));
    if (!writer.write(image)) {
        std::fprintf(stderr, "mkicon: %s: %s\n", qPrintable(args.at(3)), qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
