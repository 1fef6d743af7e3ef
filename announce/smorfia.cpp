#include "announce/smorfia.h"

#include <array>

namespace
{
// Family-friendly: where the old reading is coarse, its common mild one.
constexpr std::array<const char *, 90> kMeanings = {
    "l'italia",                    // 1
    "la bambina",                  // 2
    "la gatta",                    // 3
    "il maiale",                   // 4
    "la mano",                     // 5
    "quella che guarda per terra", // 6
    "il vasetto",                  // 7
    "la madonna",                  // 8
    "i figli",                     // 9
    "i fagioli",                   // 10
    "i topolini",                  // 11
    "i soldati",                   // 12
    "sant'antonio",                // 13
    "l'ubriaco",                   // 14
    "il ragazzino",                // 15
    "il fondoschiena",             // 16
    "la sfortuna",                 // 17
    "il sangue",                   // 18
    "la risata",                   // 19
    "la festa",                    // 20
    "la bella donna",              // 21
    "il matto",                    // 22
    "lo sciocco",                  // 23
    "le guardie",                  // 24
    "il natale",                   // 25
    "la piccola anna",             // 26
    "il vaso da notte",            // 27
    "la balia",                    // 28
    "il papa' dei bambini",        // 29
    "il tenente",                  // 30
    "il padrone di casa",          // 31
    "il capitone",                 // 32
    "gli anni di cristo",          // 33
    "la testa",                    // 34
    "l'uccellino",                 // 35
    "le nacchere",                 // 36
    "il frate",                    // 37
    "le botte",                    // 38
    "la corda al collo",           // 39
    "la noia",                     // 40
    "il coltello",                 // 41
    "il caffe'",                   // 42
    "la donna al balcone",         // 43
    "la prigione",                 // 44
    "il vino buono",               // 45
    "i soldi",                     // 46
    "il morto",                    // 47
    "il morto che parla",          // 48
    "la carne",                    // 49
    "il pane",                     // 50
    "il giardino",                 // 51
    "la mamma",                    // 52
    "il vecchio",                  // 53
    "il cappello",                 // 54
    "la musica",                   // 55
    "la caduta",                   // 56
    "il gobbo",                    // 57
    "il regalo",                   // 58
    "i peli",                      // 59
    "il lamento",                  // 60
    "il cacciatore",               // 61
    "il delitto",                  // 62
    "la sposa",                    // 63
    "la giacca elegante",          // 64
    "il pianto",                   // 65
    "le due zitelle",              // 66
    "il polpo nella chitarra",     // 67
    "la zuppa cotta",              // 68
    "sottosopra",                  // 69
    "il palazzo",                  // 70
    "l'uomo da niente",            // 71
    "la meraviglia",               // 72
    "l'ospedale",                  // 73
    "la grotta",                   // 74
    "pulcinella",                  // 75
    "la fontana",                  // 76
    "i diavoli",                   // 77
    "la bella signora",            // 78
    "il ladro",                    // 79
    "la bocca",                    // 80
    "i fiori",                     // 81
    "la tavola imbandita",         // 82
    "il brutto tempo",             // 83
    "la chiesa",                   // 84
    "le anime del purgatorio",     // 85
    "la bottega",                  // 86
    "i pidocchi",                  // 87
    "i caciocavalli",              // 88
    "la vecchia",                  // 89
    "la paura",                    // 90
};
} // namespace

QString meaningOf(int n)
{
    if (n < 1 || n > 90) return {};
    return QString::fromLatin1(kMeanings[std::size_t(n - 1)]);
}

QString meaningClipKey(int n)
{
    return QStringLiteral("smorfia") + QString::number(n);
}
