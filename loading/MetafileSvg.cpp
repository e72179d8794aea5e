#include "loading/MetafileSvg.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace tessivo {

namespace {

// The document without its text elements.
QByteArray withoutText(const QByteArray& svg)
{
    QXmlStreamReader reader(svg);
    QByteArray kept;
    QXmlStreamWriter writer(&kept);
    int skipDepth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && (skipDepth > 0 || reader.name() == u"text"))
            ++skipDepth;
        else if (reader.isEndElement() && skipDepth > 0)
            --skipDepth;
        else if (skipDepth == 0)
            writer.writeCurrentToken(reader);
    }
    return reader.hasError() ? QByteArray() : kept;
}

} // namespace

bool MetafileFontsAvailable()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

QImage RenderMetafileSvg(const QByteArray& svg, QSize size, std::optional<QRectF> viewBox)
{
    // Without fonts QSvgRenderer would end the program at the first text, so the picture is
    // drawn without it.
    QSvgRenderer renderer(MetafileFontsAvailable() ? svg : withoutText(svg));
    if (!renderer.isValid())
        return {};
    if (viewBox)
        renderer.setViewBox(*viewBox);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    // Left transparent: the Canvas shows its own background where the metafile draws nothing.
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

} // namespace tessivo
