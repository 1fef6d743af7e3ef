#pragma once
// The card canvas on a real page: a QPrinter (the default printer) or a PDF file.

#include "cards/printer_port.h"
#include <QFont>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <memory>

class QPagedPaintDevice;

// Draws in twips from the top-left of the printable area, black, with cosmetic pens whose width
// is in device dots and the default typeface. A page asked for with newPage() is only started
// when something is drawn on it, so a run ending on a page break leaves no empty page.
class PainterCanvas : public CardCanvas
{
public:
    // Begins painting on `device`, which must outlive the canvas.
    explicit PainterCanvas(QPagedPaintDevice &device);
    // Begins painting on a device the canvas owns.
    explicit PainterCanvas(std::unique_ptr<QPagedPaintDevice> device);
    // A print run not ended by endDoc() is aborted on a printer, closed as it is on a PDF.
    ~PainterCanvas() override;
    PainterCanvas(const PainterCanvas &) = delete;
    PainterCanvas &operator=(const PainterCanvas &) = delete;

    // False when the device refused to begin; every call then does nothing or returns false.
    bool isActive() const { return m_painter.isActive() && !m_failed; }

    void setFontSize(double points) override;
    void setPenWidth(int dots) override;
    void moveTo(double x, double y) override;
    void printLine(const QString &text) override;
    void line(double x1, double y1, double x2, double y2) override;
    void rectangle(double x1, double y1, double x2, double y2) override;
    // Only records the break; false when the device has already failed (a page that could not
    // start, or a device that never began). After a failure endDoc() drops a printer's job.
    bool newPage() override;
    bool endDoc() override;

private:
    void begin();
    bool readyToDraw();
    void applyState();
    // Ends the painter if still active; a printer's job is dropped unless `submit`.
    void finish(bool submit);

    std::unique_ptr<QPagedPaintDevice> m_owned;
    QPagedPaintDevice *m_device;
    QPainter m_painter;
    QFont m_font;
    QPen m_pen;
    QPointF m_pos;
    bool m_pagePending = false;
    bool m_failed = false;
};

// The real printer port: the system's default printer through CUPS, or a PDF file.
class QtPrinterPort : public PrinterPort
{
public:
    std::unique_ptr<CardCanvas> open(const QString &docName, QString *why) override;
    std::unique_ptr<CardCanvas> openPdf(const QString &fileName, QString *why) override;
};
