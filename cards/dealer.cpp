#include "cards/dealer.h"

#include "game/number_pool.h"

int colonna_di(int n)
{
    if (n < 1 || n > 90) throw std::out_of_range("numero fuori da 1..90");
    const int c = n / 10 + 1;
    return c == 10 ? 9 : c;
}

int valore(const QString &testo)
{
    return testo.trimmed().toInt();
}

void genera_cartella(Cartella &cartella, std::int16_t &posizione, Lista90 &numeri_estratti)
{
    Q_UNUSED(posizione);
    for (int r = 1; r <= Cartella::righe; ++r) {
        for (int c = 1; c <= Cartella::colonne; ++c)
            cartella.cella(r, c).clear();
    }
    std::array<int, Cartella::righe> conta{};
    int totale = 0;

    for (int i = 1; i <= Lista90::size() && totale < massimo_per_cartella; ++i) {
        QString &voce = numeri_estratti(i);
        if (voce.isEmpty()) break;
        const int c = colonna_di(valore(voce));
        for (int r = 1; r <= Cartella::righe; ++r) {
            int &in_riga = conta[static_cast<std::size_t>(r - 1)];
            if (cartella.cella(r, c).isEmpty() && in_riga < massimo_per_riga) {
                cartella.cella(r, c) = voce;
                voce.clear();
                ++in_riga;
                ++totale;
                break;
            }
        }
    }
}

bool shift_cartella(Lista90 &numeri_estratti)
{
    Lista90 appoggio;
    int k = 0;
    for (int i = 1; i <= Lista90::size(); ++i) {
        if (!numeri_estratti(i).isEmpty()) appoggio(++k) = numeri_estratti(i);
    }
    if (k == 0) return true;
    for (int i = 1; i <= Lista90::size(); ++i)
        numeri_estratti(i) = i <= k ? appoggio(i) : QString();
    return false;
}

void ordina_colonna(Cartella &cartelletta)
{
    for (int c = 1; c <= Cartella::colonne; ++c) {
        std::array<int, Cartella::righe> righe{};
        Lista3 valori;
        std::int16_t n = 0;
        for (int r = 1; r <= Cartella::righe; ++r) {
            if (!cartelletta.cella(r, c).isEmpty()) {
                ++n;
                righe[static_cast<std::size_t>(n - 1)] = r;
                valori(n) = cartelletta.cella(r, c);
            }
        }
        if (n >= 2) {
            ordina(valori, n);
            for (int i = 1; i <= n; ++i)
                cartelletta.cella(righe[static_cast<std::size_t>(i - 1)], c) = valori(i);
        }
    }
}
