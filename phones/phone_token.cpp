#include "phones/phone_token.h"

#include "cards/card_code.h"

#include <QRandomGenerator>

QByteArray randomToken(int symbols)
{
    QByteArray token;
    for (int i = 0; i < symbols; ++i)
        token += codeAlphabet[QRandomGenerator::system()->generate() & 31];
    return token;
}
