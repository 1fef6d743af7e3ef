#include "cards/painter_canvas.h"

#include <QFontMetricsF>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>

namespace
{

constexpr double twipsPerInch = 1440.0;

} // namespace

PainterCanvas::PainterCanvas(QPagedPaintDevice &device) : m_device(&device)
{
    begin();
}

PainterCanvas::PainterCanvas(std::unique_ptr<QPagedPaintDevice> device)
    : m_owned(std::move(device)), m_device(m_owned.get())
{
    begin();
}

PainterCanvas::~PainterCanvas()
{
    finish(false);
}

void PainterCanvas::finish(bool submit)
{
    if (!m_painter.isActive()) return;
    // Half a run must not reach the paper.
    if (auto *printer = dynamic_cast<QPrinter *>(m_device); printer && !submit) printer->abort();
    m_painter.end();
}

void PainterCanvas::begin()
{
    m_pen = QPen(Qt::black, 1);
    m_pen.setCosmetic(true);
    if (!m_device || !m_painter.begin(m_device)) {
        m_failed = true;
        return;
    }
    applyState();
}

void PainterCanvas::applyState()
{
    // The painter's state does not survive every engine's page break: set it all again.
    const double res = m_device->logicalDpiX();
    const double resY = m_device->logicalDpiY();
    m_painter.resetTransform();
    m_painter.scale(res / twipsPerInch, resY / twipsPerInch);
    m_painter.setPen(m_pen);
    m_painter.setBrush(Qt::NoBrush);
    m_painter.setFont(m_font);
}

bool PainterCanvas::readyToDraw()
{
    if (!isActive()) return false;
    if (m_pagePending) {
        m_pagePending = false;
        if (!m_device->newPage()) {
            m_failed = true;
            return false;
        }
        applyState();
    }
    return true;
}

void PainterCanvas::setFontSize(double points)
{
    // Under the twip scale one point is 20 units; a pixel size keeps the device's dpi out of it.
    m_font.setPixelSize(qMax(1, qRound(points * 20.0)));
    if (m_painter.isActive()) m_painter.setFont(m_font);
}

void PainterCanvas::setPenWidth(int dots)
{
    m_pen.setWidth(qMax(0, dots));
    if (m_painter.isActive()) m_painter.setPen(m_pen);
}

void PainterCanvas::moveTo(double x, double y)
{
    m_pos = QPointF(x, y);
}

void PainterCanvas::printLine(const QString &text)
{
    if (!readyToDraw()) return;
    const QFontMetricsF metrics(m_font, m_device);
    m_painter.drawText(QPointF(m_pos.x(), m_pos.y() + metrics.ascent()), text);
    m_pos.ry() += metrics.height();
}

void PainterCanvas::line(double x1, double y1, double x2, double y2)
{
    if (readyToDraw()) m_painter.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

void PainterCanvas::rectangle(double x1, double y1, double x2, double y2)
{
    if (readyToDraw()) m_painter.drawRect(QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized());
}

bool PainterCanvas::newPage()
{
    if (!isActive()) return false;
    m_pagePending = true;
    return true;
}

bool PainterCanvas::endDoc()
{
    if (!isActive()) {
        finish(false);
        return false;
    }
    m_pagePending = false;
    return m_painter.end();
}

std::unique_ptr<CardCanvas> QtPrinterPort::open(const QString &docName, QString *why)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        setWhy(why, QStringLiteral("Nessuna stampante predefinita: collegare o configurare una stampante, "
                                   "oppure salvare le cartelle in PDF."));
        return nullptr;
    }
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setPrinterName(info.printerName());
    printer->setDocName(docName);
    printer->setFullPage(false);
    auto canvas = std::make_unique<PainterCanvas>(std::move(printer));
    if (!canvas->isActive()) {
        setWhy(why, QStringLiteral("La stampante \u00ab%1\u00bb non ha potuto iniziare la stampa: "
                                   "controllare che sia accesa e collegata.")
                        .arg(info.printerName()));
        return nullptr;
    }
    return canvas;
}

std::unique_ptr<CardCanvas> QtPrinterPort::openPdf(const QString &fileName, QString *why)
{
    auto writer = std::make_unique<QPdfWriter>(fileName);
    writer->setResolution(1200);
    writer->setPageSize(QPageSize(QPageSize::A4));
    writer->setTitle(QStringLiteral("Cartelle della tombola"));
    auto canvas = std::make_unique<PainterCanvas>(std::move(writer));
    if (!canvas->isActive()) {
        setWhy(why, QStringLiteral("Impossibile scrivere il file \u00ab%1\u00bb: controllare la cartella e i "
                                   "permessi.")
                        .arg(fileName));
        return nullptr;
    }
    return canvas;
}
