#pragma once
// Text that went through a Latin-1 conversion on its way to the operator:
// UTF-8 Cyrillic read byte by byte turns every letter into "Ð" or "Ñ"
// followed by a character of U+0080..U+00BF ("Расчет" -> "Ð Ð°ÑÑÐµÑ").
// The guillemets and the degree sign the texts use on purpose stay legal.

#include <QString>

inline bool looksGarbled(const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        const ushort c = text.at(i).unicode();
        if (c == 0xFFFD)
            return true;
        if ((c == 0xD0 || c == 0xD1) && i + 1 < text.size()) {
            const ushort next = text.at(i + 1).unicode();
            if (next >= 0x80 && next <= 0xBF)
                return true;
        }
    }
    return false;
}
