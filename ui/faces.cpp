#include "ui/faces.h"

#include <QFont>
#include <QStringList>
#include <QtGlobal>

void installFaceSubstitutes()
{
    const QStringList script{QStringLiteral("Dancing Script"), QStringLiteral("URW Chancery L"),
                             QStringLiteral("Z003")};
    QFont::insertSubstitutions(QStringLiteral("script Mt Bold"), script);
    QFont::insertSubstitutions(QStringLiteral("Script"), script);
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial Narrow"), {QStringLiteral("Liberation Sans Narrow"),
                                                                QStringLiteral("DejaVu Sans Condensed")});
    QFont::insertSubstitutions(QStringLiteral("arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}
