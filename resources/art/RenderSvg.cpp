// Renders an SVG picture to a PNG of the given size through Qt's SVG image plugin:
// RenderSvg <in.svg> <out.png> <width> <height>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: RenderSvg in.svg out.png width height\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  QImageReader reader(QString::fromLocal8Bit(argv[1]));
  reader.setScaledSize(QSize(std::atoi(argv[3]), std::atoi(argv[4])));
  const QImage image = reader.read();
  if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(reader.errorString()));
    return 1;
  }
  return 0;
}
