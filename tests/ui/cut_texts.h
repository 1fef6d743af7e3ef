#pragma once
// What a window shows cut: the texts of its labels and buttons that do not fit their controls.

#include "ui/wrap_button.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextDocument>

// The texts of `root`'s labels and buttons shown now that their control cuts, as "name: text".
// A label is measured as it lays out its text (wrapped or not, plain or rich) in its contents; a
// button's caption in the room its style gives it.
inline QStringList cutTexts(QWidget *root)
{
    QStringList out;
    for (QLabel *l : root->findChildren<QLabel *>()) {
        if (!l->isVisibleTo(root) || l->text().isEmpty()) continue;
        const int m = l->margin();
        const QRect room = l->contentsRect().adjusted(m, m, -m, -m);
        QSizeF need;
        if (l->textFormat() == Qt::RichText ||
            (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(l->text()))) {
            QTextDocument doc;
            doc.setDefaultFont(l->font());
            doc.setDocumentMargin(0);
            doc.setHtml(l->text());
            if (l->wordWrap()) doc.setTextWidth(room.width());
            need = QSizeF(doc.idealWidth(), doc.size().height());
        } else {
            const int flags = int(l->alignment()) | (l->wordWrap() ? int(Qt::TextWordWrap) : 0);
            need = QFontMetrics(l->font()).boundingRect(room, flags, l->text()).size();
        }
        if (need.width() > room.width() || need.height() > room.height())
            out << QStringLiteral("%1: %2 (%3x%4 in %5x%6)")
                       .arg(l->objectName(), l->text())
                       .arg(need.width())
                       .arg(need.height())
                       .arg(room.width())
                       .arg(room.height());
    }
    for (QAbstractButton *b : root->findChildren<QAbstractButton *>()) {
        if (!b->isVisibleTo(root) || b->text().isEmpty()) continue;
        bool cut = false;
        if (auto *push = qobject_cast<QPushButton *>(b)) {
            QStyleOptionButton option;
            option.initFrom(push);
            option.text = push->text();
            QRect room = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
            const bool wraps = qobject_cast<WrapButton *>(push) != nullptr;
            if (wraps) room.adjust(1, 0, -1, 0);
            const int flags = Qt::AlignCenter | Qt::TextShowMnemonic | (wraps ? Qt::TextWordWrap : 0);
            const QRect need = QFontMetrics(push->font()).boundingRect(room, flags, push->text());
            cut = need.width() > room.width() || need.height() > room.height();
        } else {
            cut = b->sizeHint().width() > b->width();
        }
        if (cut) out << b->objectName() + QStringLiteral(": ") + b->text();
    }
    return out;
}
