#pragma once
// A CardCanvas that records every call with its arguments, and can refuse a chosen page break or
// the end of the document.

#include "cards/printer_port.h"
#include <QList>
#include <QString>

class RecordingCanvas : public CardCanvas
{
public:
    enum class Kind { FontSize, PenWidth, MoveTo, PrintLine, Line, Rectangle, NewPage, EndDoc, Marker };

    struct Call {
        Kind kind;
        double a = 0, b = 0, c = 0, d = 0;
        QString text;
    };

    void setFontSize(double points) override { calls.append({Kind::FontSize, points, 0, 0, 0, {}}); }
    void setPenWidth(int dots) override { calls.append({Kind::PenWidth, double(dots), 0, 0, 0, {}}); }
    void moveTo(double x, double y) override { calls.append({Kind::MoveTo, x, y, 0, 0, {}}); }
    void printLine(const QString &text) override { calls.append({Kind::PrintLine, 0, 0, 0, 0, text}); }
    void line(double x1, double y1, double x2, double y2) override
    {
        calls.append({Kind::Line, x1, y1, x2, y2, {}});
    }
    void rectangle(double x1, double y1, double x2, double y2) override
    {
        calls.append({Kind::Rectangle, x1, y1, x2, y2, {}});
    }
    bool newPage() override
    {
        calls.append({Kind::NewPage, 0, 0, 0, 0, {}});
        ++m_newPages;
        return m_newPages != failNewPageAt;
    }
    bool endDoc() override
    {
        calls.append({Kind::EndDoc, 0, 0, 0, 0, {}});
        return !failEndDoc;
    }

    // Not a canvas call: lets a test put another fake's events into the same log.
    void mark(const QString &what) { calls.append({Kind::Marker, 0, 0, 0, 0, what}); }

    QList<Call> ofKind(Kind kind) const
    {
        QList<Call> out;
        for (const Call &call : calls) {
            if (call.kind == kind) out.append(call);
        }
        return out;
    }

    QList<Call> calls;
    int failNewPageAt = 0; // 1-based number of the page break to refuse; 0 for none
    bool failEndDoc = false;

private:
    int m_newPages = 0;
};
