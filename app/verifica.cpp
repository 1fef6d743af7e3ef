#include "verifica.h"

#include "game/draw_seal.h"

#include <QTextStream>

int runVerifica(const QStringList &args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto usage = [&err] {
        err << "Uso: tombola --verifica SEGRETO [ORDINALE:NUMERO,...]\n"
               "  SEGRETO: le 64 cifre esadecimali svelate a fine tombola;\n"
               "  ORDINALE:NUMERO: i numeri estratti a mano dal panariello, con il loro posto.\n";
        return 2;
    };
    if (args.size() < 1 || args.size() > 2) return usage();
    const auto secret = seal::parseSecret(args[0]);
    if (!secret) {
        err << "Il segreto deve essere di 64 cifre esadecimali.\n";
        return usage();
    }
    QMap<int, int> byHand;
    if (args.size() == 2)
        for (const QString &pair : args[1].split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QStringList parts = pair.split(QLatin1Char(':'));
            bool okOrdinal = false, okNumber = false;
            const int ordinal = parts.value(0).trimmed().toInt(&okOrdinal);
            const int number = parts.value(1).trimmed().toInt(&okNumber);
            if (parts.size() != 2 || !okOrdinal || !okNumber || ordinal < 1 || ordinal > 90 || number < 1 ||
                number > 90 || byHand.contains(ordinal)) {
                err << "Numero a mano non valido: " << pair << "\n";
                return usage();
            }
            byHand.insert(ordinal, number);
        }
    const QList<int> order = seal::drawOrder(*secret, byHand);
    if (order.isEmpty()) {
        err << "Un numero a mano compare due volte.\n";
        return 2;
    }
    out << "Sigillo: " << seal::sealOf(*secret) << "\n";
    for (qsizetype k = 0; k < order.size(); ++k)
        out << (k + 1) << ". " << order[k] << (byHand.contains(int(k) + 1) ? " (a mano)" : "") << "\n";
    return 0;
}
