#include "reportbuilder.h"

#include <algorithm>

namespace report {
namespace {

constexpr int lineLength = 165;

// Places text at 1-based column `start`, cut or padded to `length`.
void place(QByteArray &line, int start, int length, const QByteArray &text)
{
    for (int i = 0; i < length && i < text.size(); ++i)
        line[start - 1 + i] = text[i];
}

QByteArray right(const QString &s, int width)
{
    const QByteArray b = cp857(s);
    return b.size() >= width ? b.left(width) : QByteArray(width - b.size(), ' ') + b;
}

// "1/4" as printed: numerator right-aligned, then "/", denominator after it.
QByteArray share(const QString &s, int numeratorWidth)
{
    const qsizetype slash = s.lastIndexOf(u'/');
    if (slash < 0)
        return right(s, numeratorWidth);
    return right(s.left(slash), numeratorWidth) + '/' + cp857(s.mid(slash + 1));
}

} // namespace

QByteArray cp857(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'İ': out += char(0x98); break;
        case u'Ç': out += char(0x80); break;
        case u'Ü': out += char(0x9A); break;
        case u'Ş': out += char(0x9E); break;
        case u'Ö': out += char(0x99); break;
        case u'Ğ': out += char(0xA6); break;
        case u'ç': out += char(0x87); break;
        case u'ğ': out += char(0xA7); break;
        case u'ı': out += char(0x8D); break;
        case u'ö': out += char(0x94); break;
        case u'ş': out += char(0x9F); break;
        case u'ü': out += char(0x81); break;
        case u'─': out += char(0xC4); break;
        case u'┼': out += char(0xC5); break;
        default: out += c.unicode() < 0x80 ? char(c.unicode()) : '?'; break;
        }
    }
    return out;
}

QByteArray ownerLine(const Row &r)
{
    QByteArray line(lineLength, ' ');
    place(line, 8, 5, right(r.oldSheet, 5));
    place(line, 14, 6, right(r.oldBlock, 6));
    place(line, 21, 6, right(r.oldParcel, 6));
    place(line, 28, 8, right(r.oldArea, 8));
    place(line, 37, 21, cp857(r.owner));
    place(line, 59, 10, cp857(r.father));
    place(line, 70, 19, share(r.oldShare, 9));
    place(line, 90, 10, right(r.titleDeed, 10));
    place(line, 101, 10, right(r.deduction, 10));
    place(line, 112, 10, right(r.allocation, 10));
    place(line, 131, 5, right(r.newBlock, 5));
    place(line, 137, 2, right(r.newParcel, 2));
    place(line, 140, 10, right(r.newArea, 10));
    place(line, 151, 11, share(r.newShare, 5));
    return line;
}

QByteArray continuationLine(const Row &r)
{
    Row c = r;
    c.owner.clear();
    return ownerLine(c);
}

QByteArray ruleLine()
{
    return QByteArray(lineLength, char(0xC4));
}

QByteArray signatureLine()
{
    QByteArray line(lineLength, ' ');
    place(line, 37, 21, "     KONTROL EDEN    ");
    place(line, 70, 12, "TANZIM EDEN");
    place(line, 131, 8, "TASDIK");
    return line;
}

QByteArray headerLine(int n)
{
    switch ((n - 1) % 63 < 9 ? (n - 1) % 63 : -1) {
    case 0: return cp857(QStringLiteral("T.C. OVREK BELEDİYESİ")) + QByteArray(40, ' ') + "ARSA VE ARAZI DUZENLEMESI";
    case 2: return "                      HISSE CETVELI            Sayfa : " + QByteArray::number((n - 1) / 63 + 1);
    case 5: return "  PAFTA  ADA  PARSEL    ALAN   MALIK ADI SOYADI      BABA ADI   HISSE";
    case 6: return ruleLine();
    default: return QByteArray();
    }
}

std::vector<QByteArray> paginate(const std::vector<QByteArray> &tableLines)
{
    std::vector<QByteArray> data = tableLines;
    data.push_back(ruleLine());
    data.push_back(signatureLine());
    std::vector<QByteArray> out;
    size_t next = 0;
    for (int n = 1;; ++n) {
        const int pos = (n - 1) % 63; // 0-based line of the page
        const bool dataLine = n >= 10 && (n - 10) % 63 < 50;
        if (dataLine) {
            out.push_back(next < data.size() ? data[next] : QByteArray());
            ++next;
        } else if (pos >= 59) {
            out.push_back(pos == 60 ? QByteArray("                                        - ")
                                          + QByteArray::number(n / 63 + 1) + " -"
                                    : QByteArray());
        } else {
            out.push_back(headerLine(n));
        }
        // Stop at the end of the first page whose data block has a blank line after the table.
        if (next > data.size() && pos == 62)
            break;
    }
    return out;
}

QByteArray join(const std::vector<QByteArray> &lines, const QByteArray &eol)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + eol;
    return out;
}

Row sampleRow(int i)
{
    static const char16_t *owners[] = {u"ÜST IŞIK",         u"İKİNCİ IŞIK",          u"ÇAĞLAR ÖZTÜRK",
                                       u"AYŞE GÜL ŞAHİN",   u"OVREK BELEDİYESİ",     u"MEHMET ALİ ÇELİK",
                                       u"ÖMER FARUK DOĞAN", u"MALİYE HAZİNESİ",      u"ŞÜKRÜ KAYA",
                                       u"GÜLŞEN ÜNAL",      u"İSMAİL HAKKI ERDOĞAN", u"FATMA YILDIZ",
                                       u"HAZİNE",           u"ZEYNEP ÇİFTÇİ",        u"HÜSEYİN AKGÜL"};
    static const char16_t *fathers[] = {u"DOĞAN",   u"AHMET", u"MUSTAFA", u"ÇETİN",    u"", u"HASAN", u"AĞAH", u"",
                                        u"İBRAHİM", u"ÖZCAN", u"YAŞAR",   u"SÜLEYMAN", u"", u"RECEP", u"OSMAN"};
    const int k = i % 15;
    Row r;
    r.oldSheet = QString::number(10 + i % 7);
    r.oldBlock = QString::number(100 + i / 40);
    r.oldParcel = QString::number(1 + i % 37);
    r.oldArea = QString::number(500 + (i * 37) % 4000) + QStringLiteral(".") + QString::number(10 + i % 90);
    r.owner = QString::fromUtf16(owners[k]);
    r.father = QString::fromUtf16(fathers[k]);
    const int den = 2 + i % 5;
    r.oldShare = QStringLiteral("%1/%2").arg(1 + i % (den - 1)).arg(den);
    r.titleDeed = QString::number(200 + (i * 13) % 900) + QStringLiteral(".25");
    r.deduction = QString::number(50 + (i * 7) % 300) + QStringLiteral(".50");
    r.allocation = QString::number(150 + (i * 11) % 600) + QStringLiteral(".75");
    r.newBlock = QString::number(300 + i / 50);
    r.newParcel = QString::number(1 + i % 60);
    r.newArea = QString::number(400 + (i * 29) % 3000) + QStringLiteral(".00");
    r.newShare = i % 3 == 0 ? QStringLiteral("1/1") : QStringLiteral("%1/%2").arg(100 + i % 400).arg(1000);
    return r;
}

namespace {

QString cents(qint64 c)
{
    return QStringLiteral("%1.%2").arg(c / 100).arg(c % 100, 2, 10, QLatin1Char('0'));
}

// Owner o's old side: its parcel, share and the figures that follow from them.
Row oldSide(int o, ShareBreak broken)
{
    Row r = sampleRow(o);
    const qint64 area = (500 + (o * 37) % 4000) * 100 + 10 + o % 90;
    const int den = 2 + o % 5, num = 1 + o % (den - 1);
    qint64 deed = (2 * area * num + den) / (2 * den); // rounded to the cent
    const qint64 deduction = deed * 35 / 100;
    qint64 allocation = deed - deduction;
    if (broken.at == o && broken.rule == 3) {
        deed += 100;
        allocation += 100;
    }
    if (broken.at == o && broken.rule == 4)
        allocation += 100;
    r.oldArea = cents(area);
    r.oldShare = QStringLiteral("%1/%2").arg(num).arg(den);
    r.titleDeed = cents(deed);
    r.deduction = cents(deduction);
    r.allocation = cents(allocation);
    return r;
}

} // namespace

std::vector<TableRow> holdingRows(int rows, ShareBreak broken)
{
    std::vector<TableRow> out;
    Row last;
    int owner = 0;
    for (int parcel = 0; int(out.size()) < rows; ++parcel) {
        const int k = std::min(1 + parcel % 4, rows - int(out.size()));
        const int area = 400 + (parcel * 29) % 3000;
        const bool areaOff = broken.rule == 2 && broken.at == parcel,
                   shareOff = broken.rule == 1 && broken.at == parcel;
        for (int j = 0; j < k; ++j) {
            const bool continuation = j == 0 && parcel % 3 == 2 && !out.empty();
            Row r = continuation ? last : oldSide(owner++, broken);
            const int own = area / k + (j == k - 1 ? area % k : 0);
            r.newBlock = QString::number(300 + parcel / 60);
            r.newParcel = QString::number(1 + parcel % 60);
            r.newArea = QString::number(area) + (areaOff ? QStringLiteral(".10") : QStringLiteral(".00"));
            r.newShare = k == 1 && !areaOff && !shareOff
                             ? QStringLiteral("1/1")
                             : QStringLiteral("%1/%2").arg(own).arg(area + (shareOff && j == 0 ? 1 : 0));
            out.push_back({r, continuation});
            last = r;
        }
    }
    return out;
}

std::vector<QByteArray> holdingTable(int rows, ShareBreak broken)
{
    std::vector<QByteArray> lines;
    for (const TableRow &t : holdingRows(rows, broken))
        lines.push_back(t.continuation ? continuationLine(t.row) : ownerLine(t.row));
    return lines;
}

std::vector<QByteArray> sampleTable(int rows)
{
    std::vector<QByteArray> lines;
    for (int i = 0; i < rows; ++i) {
        const Row r = sampleRow(i);
        lines.push_back(i % 6 == 5 ? continuationLine(r) : ownerLine(r));
    }
    return lines;
}

} // namespace report
