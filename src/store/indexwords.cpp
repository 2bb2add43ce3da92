#include "indexwords.h"

namespace IndexWords {

qint64 count(QByteArrayView utf8)
{
    qint64 words = 0;
    bool inWord = false;
    for (const char c : utf8) {
        const bool w = isWordByte(c);
        words += w && !inWord ? 1 : 0;
        inWord = w;
    }
    return words;
}

}
