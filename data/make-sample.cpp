// Draws data/sample.jpg, the picture the README's first command converts.
// Build and run from the repository's top folder:
//   g++ -std=c++20 -fPIC data/make-sample.cpp -o /tmp/make-sample \
//       $(pkg-config --cflags --libs Qt6Gui) && /tmp/make-sample data/sample.jpg
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QImage image(640, 480, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, 480);
    sky.setColorAt(0, QColor(255, 255, 255));
    sky.setColorAt(0.5, QColor(255, 255, 255));
    sky.setColorAt(1, QColor(120, 120, 120));
    p.fillRect(image.rect(), sky);

    QRadialGradient sun(470, 130, 80);
    sun.setColorAt(0, QColor(20, 20, 20));
    sun.setColorAt(1, QColor(200, 200, 200));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(470, 130), 80, 80);

    QPainterPath hills;
    hills.moveTo(0, 480);
    hills.lineTo(0, 330);
    hills.cubicTo(120, 220, 220, 260, 320, 330);
    hills.cubicTo(420, 400, 540, 250, 640, 300);
    hills.lineTo(640, 480);
    p.setBrush(QColor(30, 30, 30));
    p.drawPath(hills);

    p.setBrush(QColor(90, 90, 90));
    p.drawRect(60, 120, 170, 120);
    p.setBrush(Qt::white);
    p.drawRect(90, 150, 40, 40);
    p.drawRect(160, 150, 40, 40);
    p.end();
    return image.save(QString::fromLocal8Bit(argc > 1 ? argv[1] : "sample.jpg"), "JPEG", 90) ? 0
                                                                                             : 1;
}
