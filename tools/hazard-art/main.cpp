#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSize>
#include <QStringList>
#include <QSvgRenderer>

#include <cstdio>

// Renders one of the station's drawings to the raster file the forms load,
// so the artwork is kept as editable vector sources next to its outputs.
//   hazard-art SOURCE.svg OUTPUT.(png|ico) WIDTHxHEIGHT
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: hazard-art SOURCE.svg OUTPUT.(png|ico) WIDTHxHEIGHT\n");
        return 2;
    }
    const QStringList dims = args.at(3).split(QLatin1Char('x'));
    bool okWidth = false;
    bool okHeight = false;
    const QSize size(dims.value(0).toInt(&okWidth), dims.value(1).toInt(&okHeight));
    if (dims.size() != 2 || !okWidth || !okHeight || size.isEmpty()) {
        std::fprintf(stderr, "hazard-art: bad size %s\n", qPrintable(args.at(3)));
        return 2;
    }

    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "hazard-art: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter);
    painter.end();

    QImageWriter writer(args.at(2));
    if (!writer.write(image.convertToFormat(QImage::Format_ARGB32))) {
        std::fprintf(stderr, "hazard-art: cannot write %s: %s\n", qPrintable(args.at(2)),
                     qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
