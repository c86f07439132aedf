#include "turkish.h"

namespace zefto::turkish {

QStringView trimTrailingBlanks(QStringView value)
{
    for (qsizetype p = value.size(); p >= 1; --p)
        if (value[p - 1] != u' ')
            return value.first(p);
    return value;
}

void repairCp857(QString &value, NameKind kind, ValidityFlag &flag)
{
    // Read through the constant text: a name with nothing to repair keeps sharing it.
    for (qsizetype p = value.size() - 1; p >= 0; --p) {
        char16_t repaired;
        switch (value.at(p).unicode()) {
        case 0x02DC: repaired = 0x0130; break; // İ
        case 0x20AC: repaired = 0x00C7; break; // Ç
        case 0x0161: repaired = 0x00DC; break; // Ü
        case 0x009E: repaired = 0x015E; break; // Ş
        case 0x2122: repaired = 0x00D6; break; // Ö
        case 0x00A6:
            repaired = 0x011E; // Ğ
            if (kind == NameKind::Father)
                flag = 1;
            break;
        default: continue;
        }
        value[p] = QChar(repaired);
    }
}

char16_t lower(char16_t c)
{
    if (c == u'I')
        return u'ı';
    if (c == u'İ')
        return u'i';
    if (c < 0x80) // most letters of a name: no need to ask Unicode's tables
        return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
    return QChar(c).toLower().unicode();
}

void properCase(QString &value)
{
    const qsizetype n = value.size();
    if (n < 2)
        return;
    char16_t *c = reinterpret_cast<char16_t *>(value.data());
    for (qsizetype p = 1; p < n; ++p)
        if (c[p - 1] != u' ')
            c[p] = lower(c[p]);
}

void firstLetterCase(QString &value)
{
    const qsizetype n = value.size();
    if (n < 2)
        return;
    char16_t *c = reinterpret_cast<char16_t *>(value.data());
    for (qsizetype p = 1; p < n; ++p)
        c[p] = lower(c[p]);
}

void splitOwnerName(QString cased, Value &adi, Value &soyadi)
{
    soyadi = Value();
    const qsizetype blank = cased.lastIndexOf(u' ');
    if (blank >= 0 && cased != u"Ovrek Belediyesi" && cased != u"Maliye Hazinesi") {
        soyadi = Value::text(cased.sliced(blank + 1));
        cased.truncate(blank);
    }
    adi = Value::text(std::move(cased));
}

void splitShare(QStringView share, Value &numerator, Value &denominator)
{
    const qsizetype slash = share.lastIndexOf(u'/');
    if (slash < 0)
        return;
    numerator.setText(share.first(slash));
    denominator.setText(share.sliced(slash + 1));
}

} // namespace zefto::turkish
