#include "split/split_options.h"

#include "detection/detection_options.h"
#include "ocr/back_text.h"

#include <QRegularExpression>
#include "scanwindow/file_naming.h"

#include <climits>

const char *const kSplitUsage =
    "gebruik: kvnscan-split VOORKANT [ACHTERKANT] --out MAP [opties]\n"
    "         kvnscan-split --batch MAP --out MAP [opties]\n"
    "\n"
    "Zoekt de kaarten op de scan VOORKANT, zoals het scanvenster dat in de serie-stand\n"
    "doet, en slaat elke kaart op in MAP; met ACHTERKANT komt elke achterkant naast of\n"
    "onder zijn voorkant. Elk geschreven bestand staat daarna op een eigen regel.\n"
    "Met --batch gaat het zo met elke scan in een map, op alle processorkernen.\n"
    "\n"
    "  --out MAP            doelmap; wordt gemaakt als die er nog niet is\n"
    "  --batch MAP          alle scans in MAP; NAAM-voor* hoort bij NAAM-achter*,\n"
    "                       NAAM bij NAAM-2 (achterkant), de rest staat alleen; de\n"
    "                       nummering loopt door; Ctrl+C stopt en laat alleen hele\n"
    "                       bestanden staan\n"
    "  --name NAAM          naam van de eerste kaart (kaart); zonder nummer voor de\n"
    "                       laatste punt wordt dat 1 (kaart001); wat na de laatste\n"
    "                       punt staat vervalt, zoals in het venster\n"
    "  --type TYPE          bestandstype: .JPG, .BMP, .TIF, png, ... (.JPG)\n"
    "  --quality N          JPEG-kwaliteit, 0 tot en met 100 (90)\n"
    "  --digits N           getalbreedte, 1 tot en met 5 (3)\n"
    "  --background RRGGBB  achtergrondkleur, hexadecimaal (FFFFFF)\n"
    "  --tolerance N        plus/min rond de achtergrondkleur, 0 tot en met 255 (3)\n"
    "  --min-size N         minimale vakhoogte/breedte in pixels, 0 of meer (50)\n"
    "  --margin N           randbreedte in procent, 0 of meer (2)\n"
    "  --columns N          aantal kolommen, 0 of meer (0)\n"
    "  --selection L,T,R,B  zoek alleen binnen dit kader (pixels van de voorkant)\n"
    "  --smart              slim zoeken: de kaarten los van een achtergrondkleur vinden\n"
    "  --below              achterkant onder de voorkant in plaats van rechts ernaast\n"
    "  --white              maak de achtergrond wit\n"
    "  --straighten         zet scheef gelegde kaarten recht\n"
    "  --sides              bewaar ook de losse voor- en achterkant\n"
    "  --text TEKST         begeleidende tekst, bij de eerste kaart\n"
    "  --ocr                lees de tekst van elke achterkant (vraagt ACHTERKANT)\n"
    "  --lang TAAL          taal van die tekst: nld, eng, fra of deu (nld)\n"
    "  --record             lees ook de gegevens van elke kaart (naam, geboorte,\n"
    "                       overlijden, partner) in de plaatjes, kaarten.csv en\n"
    "                       kaarten.ged in de map van --out (vraagt --ocr)\n"
    "  --name-pattern P     met --record: bestandsnaam uit de gegevens, zoals\n"
    "                       {achternaam}_{voornamen}_{geboortedatum}_{overlijdensdatum},\n"
    "                       alleen als naam en beide data zeker zijn\n"
    "  -h, --help           deze uitleg\n"
    "\n"
    "Afsluitwaarde: 0 gelukt, 1 mislukt (met de reden) of met --batch een scan\n"
    "overgeslagen, 2 onjuiste opties, 130 gestopt met Ctrl+C.\n";

namespace {

// A whole number option and the range the window allows for it.
struct NumberOption {
    const char *name;
    int SplitOptions::*field;
    int DetectionSettings::*setting;
    int low, high;
};

const NumberOption kNumbers[] = {
    {"--quality", &SplitOptions::quality, nullptr, 0, 100},
    {"--digits", &SplitOptions::digits, nullptr, 1, 5},
    {"--tolerance", nullptr, &DetectionSettings::tolerance, 0, 255},
    {"--min-size", nullptr, &DetectionSettings::minSize, 0, INT_MAX},
    {"--margin", nullptr, &DetectionSettings::marginPercent, 0, INT_MAX},
    {"--columns", nullptr, &DetectionSettings::columns, 0, INT_MAX},
};

QString ReadNumber(const NumberOption &n, const QString &v, SplitOptions &o)
{
    bool ok = false;
    const qint64 value = v.toLongLong(&ok);
    const QString name = QLatin1String(n.name);
    if (!ok)
        return name + QStringLiteral(" verwacht een getal, niet ") + v;
    if (value < n.low || value > n.high)
        return n.high == INT_MAX ? QStringLiteral("%1 is 0 of meer, niet %2").arg(name, v)
                                 : QStringLiteral("%1 ligt tussen %2 en %3, niet %4").arg(name).arg(n.low).arg(n.high).arg(v);
    (n.field ? o.*n.field : o.detection.*n.setting) = int(value);
    return {};
}

// "png" and ".PNG" both name a type.
QString ReadType(const QString &v, SplitOptions &o)
{
    o.type = v.startsWith(QLatin1Char('.')) ? v : QLatin1Char('.') + v;
    if (v.isEmpty() || !IsFileType(o.type))
        return QStringLiteral("--type verwacht een extensie van letters of cijfers, zoals .JPG of png, niet ") + v;
    return {};
}

QString ReadName(const QString &v, SplitOptions &o)
{
    o.name = v;
    if (v.trimmed().isEmpty())
        return QStringLiteral("--name mag niet leeg zijn");
    for (const QChar c : v)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("--name mag geen regeleinde of ander stuurteken bevatten");
    if (v.contains(QLatin1Char('/')))
        return QStringLiteral("--name is een bestandsnaam, zonder /: de map komt bij --out");
    return {};
}

const char *const kTextOptions[] = {"--batch", "--out", "--text", "--lang", "--type", "--name", "--background", "--selection",
                                    "--name-pattern"};

bool TakesValue(const QString &a)
{
    for (const NumberOption &n : kNumbers)
        if (a == QLatin1String(n.name))
            return true;
    for (const char *name : kTextOptions)
        if (a == QLatin1String(name))
            return true;
    return false;
}

QString ReadValue(const QString &a, const QString &v, SplitOptions &o)
{
    for (const NumberOption &n : kNumbers)
        if (a == QLatin1String(n.name))
            return ReadNumber(n, v, o);
    if (a == QLatin1String("--type"))
        return ReadType(v, o);
    if (a == QLatin1String("--name"))
        return ReadName(v, o);
    QString error;
    if (ReadDetectionOption(a, v, o.detection, o.selection, o.haveSelection, error))
        return error;
    *(a == QLatin1String("--out")     ? &o.out
      : a == QLatin1String("--batch") ? &o.batch
      : a == QLatin1String("--text")  ? &o.text
      : a == QLatin1String("--name-pattern") ? &o.namePattern
                                      : &o.lang) = v;
    return {};
}

bool *FlagOf(const QString &a, SplitOptions &o)
{
    return a == QLatin1String("--white")      ? &o.cut.whiten
         : a == QLatin1String("--straighten") ? &o.cut.straighten
         : a == QLatin1String("--sides")      ? &o.cut.sides
         : a == QLatin1String("--ocr")        ? &o.ocr
         : a == QLatin1String("--smart")      ? &o.detection.smart
         : a == QLatin1String("--record")     ? &o.record
                                              : nullptr;
}

// What the options say together.
QString CheckTogether(SplitOptions &o)
{
    if (!o.batch.isEmpty() && !o.scans.isEmpty())
        return QStringLiteral("--batch neemt de scans uit de map: geef dan geen losse scans");
    if (o.batch.isEmpty() && (o.scans.isEmpty() || o.scans.size() > 2))
        return QStringLiteral("geef een voorkant en hooguit een achterkant, of --batch MAP");
    if (o.out.isEmpty())
        return QStringLiteral("--out MAP ontbreekt");
    const PixelSelection &s = o.selection;
    if (o.haveSelection && (s.left < 0 || s.top < 0 || s.right <= s.left || s.bottom <= s.top))
        return QStringLiteral("--selection verwacht 0 <= L < R en 0 <= T < B");
    QStringList codes;
    for (const OcrLanguage &l : OcrLanguages())
        codes << QString::fromLatin1(l.code);
    if (!codes.contains(o.lang))
        return QStringLiteral("--lang is een van ") + codes.join(QStringLiteral(", ")) + QStringLiteral(", niet ") + o.lang;
    if (o.ocr && o.batch.isEmpty() && o.scans.size() < 2)
        return QStringLiteral("--ocr leest de achterkanten: geef ook de scan van de achterkanten (ACHTERKANT)");
    if (o.record && !o.ocr)
        return QStringLiteral("--record leest de gegevens van de achterkanten: geef ook --ocr");
    if (!o.namePattern.isEmpty() && !o.record)
        return QStringLiteral("--name-pattern maakt namen uit de gegevens van de kaarten: geef ook --record");
    if (!o.namePattern.isEmpty() && !o.namePattern.contains(QRegularExpression(QStringLiteral("\\{[a-z]+\\}"))))
        return QStringLiteral("--name-pattern verwacht namen van gegevens tussen accolades, zoals {achternaam}");
    o.cut.columns = o.detection.columns;
    o.cut.background = o.detection.background;
    o.cut.key = o.detection.key();
    return {};
}

} // namespace

QString ReadSplitOptions(const QStringList &args, SplitOptions &o)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            o.help = true;
            return {};
        }
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            o.scans << a;
        } else if (a == QLatin1String("--below")) {
            o.cut.placement = 1;
        } else if (bool *flag = FlagOf(a, o)) {
            *flag = true;
        } else if (!TakesValue(a)) {
            return QStringLiteral("onbekende optie ") + a;
        } else if (i + 1 >= args.size()) {
            return a + QStringLiteral(" zonder waarde");
        } else {
            const QString wrong = ReadValue(a, args[++i], o);
            if (!wrong.isEmpty())
                return wrong;
        }
    }
    return CheckTogether(o);
}
