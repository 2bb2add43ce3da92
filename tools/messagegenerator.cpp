// SPDX-License-Identifier: GPL-3.0-or-later
#include "messagegenerator.h"

#include "splitmix64.h"
#include "vocabulary.h"

#include <QDate>

#include <array>
#include <limits>
#include <vector>

namespace {

// Every text below is an HTML fragment as the archive stores it: an ampersand is
// written "&amp;", angle brackets of addresses "&lt;" and "&gt;".

struct Author
{
    QStringView display;   // as the archive shows the sender
    QStringView firstName; // as the sender signs
    QStringView car;       // signature line
    quint32 weight;        // how much the sender posts
    bool htmlMail;         // paragraphs and <blockquote> instead of plain lines
    bool outlook;          // typographic apostrophes and "RE:"
    QStringView signOff;   // the sender's own closing, or empty for the common ones
    QStringView aside;     // a line in the sender's own language, or empty
};

constexpr std::array kAuthors = {
    Author{u"Jürgen Weiß &lt;jweiss@example.net&gt;", u"Jürgen", u"'74 Veltra S, Monza Red", 60, false, false, u"Gruß,", u"Grüße aus Köln!"},
    Author{u"Søren Østergaard &lt;soren.o@example.org&gt;", u"Søren", u"'71 Veltra, British Racing Green", 48, false, false, u"Hilsen,", u"Hilsen fra Aarhus, hvor det regner igen."},
    Author{u"\"Mike O'Brien\" &lt;mobrien@example.com&gt;", u"Mike", u"'72 Veltra S (the rusty one)", 44, false, false, {}, {}},
    Author{u"veltra_nut", u"Dave", u"'69 Veltra, Signal Red", 40, false, false, {}, {}},
    Author{u"Tom &amp; Sue Baker &lt;bakers@example.net&gt;", u"Tom &amp; Sue", u"'75 Veltra S, Inca Yellow", 30, false, false, {}, {}},
    Author{u"René Dubé &lt;rdube@example.org&gt;", u"René", u"'73 Veltra, Blanc Meije", 28, true, false, u"Amitiés,", u"Ça marche maintenant, merci à tous."},
    Author{u"Sarah Whitfield &lt;sarahw@example.com&gt;", u"Sarah", u"'76 Veltra S, Damson", 26, false, true, {}, {}},
    Author{u"redveltra72@example.com", u"Pete", u"'72 Veltra, red of course", 25, false, false, {}, {}},
    Author{u"Björn Ångström &lt;bjorn.a@example.net&gt;", u"Björn", u"'70 Veltra, Pale Primrose", 22, true, false, u"Hälsningar,", u"Hälsningar från Göteborg."},
    Author{u"Klaus Müller &lt;kmueller@example.net&gt;", u"Klaus", u"'77 Veltra S, Silber", 21, false, false, u"Mit freundlichen Grüßen,", u"Viele Grüße aus Düsseldorf."},
    Author{u"Brian McKay &lt;bmckay@example.net&gt;", u"Brian", u"'74 Veltra, Harvest Gold", 20, false, false, {}, {}},
    Author{u"\"Nigel Forbes-Hamilton\" &lt;nfh@example.com&gt;", u"Nigel", u"'68 Veltra (chassis 0042)", 18, false, true, u"Kind regards,", {}},
    Author{u"Hans-Jörg Kühn &lt;hj.kuehn@example.com&gt;", u"Hans-Jörg", u"'78 Veltra S, Orange", 17, false, false, u"Gruß,", u"Der Motor läuft jetzt ruhig, die Kupplung trennt sauber."},
    Author{u"François Lefèvre &lt;flefevre@example.com&gt;", u"François", u"'73 Veltra, Bleu de France", 16, true, false, u"Amitiés,", u"Bonne route à tous !"},
    Author{u"Ingrid Sørensen &lt;ingrid@example.org&gt;", u"Ingrid", u"'75 Veltra, Tahiti Blue", 15, false, false, u"Hilsen,", u"Mange hilsener fra København."},
    Author{u"José Muñoz &lt;jmunoz@example.org&gt;", u"José", u"'71 Veltra S, Blanco", 14, false, false, u"Saludos,", u"¡Saludos desde Sevilla!"},
    Author{u"Colin Pryce &lt;cpryce@example.org&gt;", u"Colin", u"'76 Veltra, Brooklands Green", 13, false, false, {}, {}},
    Author{u"Andy Kirkpatrick &lt;andyk@example.net&gt;", u"Andy", u"'72 Veltra S, Mirage", 12, false, false, {}, {}},
    Author{u"speedster_uk", u"Mark", u"'74 Veltra S track car", 12, false, false, {}, {}},
    Author{u"Luc Gérard &lt;lgerard@example.org&gt;", u"Luc", u"'70 Veltra, Rouge", 11, true, false, u"Amicalement,", u"À bientôt sur la route."},
    Author{u"Paul Dunn &lt;pdunn@example.com&gt;", u"Paul", u"'77 Veltra, Carmine", 11, false, false, {}, {}},
    Author{u"Dieter Groß &lt;dgross@example.net&gt;", u"Dieter", u"'69 Veltra, Schwarz", 10, false, false, u"Schöne Grüße,", u"Allzeit gute Fahrt!"},
    Author{u"Tony D'Angelo &lt;tdangelo@example.com&gt;", u"Tony", u"'73 Veltra S, Rosso", 10, false, false, {}, {}},
    Author{u"Rob Castellano &lt;robc@example.net&gt;", u"Rob", u"'75 Veltra, Sandglow", 9, false, false, {}, {}},
    Author{u"Åsa Lund &lt;asa.lund@example.org&gt;", u"Åsa", u"'72 Veltra, Limeflower", 9, false, false, u"Hälsningar,", u"Vi ses på träffen i Malmö!"},
    Author{u"Greg Tanaka &lt;gtanaka@example.com&gt;", u"Greg", u"'76 Veltra S, Black Tulip", 8, true, false, {}, {}},
    Author{u"Fiona MacLeod &lt;fiona.macleod@example.net&gt;", u"Fiona", u"'71 Veltra, Teal Blue", 8, true, true, {}, {}},
    Author{u"Ed Pawlowski &lt;edp@example.org&gt;", u"Ed", u"'74 Veltra, Aconite", 7, false, false, {}, {}},
    Author{u"Jean-Paul Rivière &lt;jpriviere@example.com&gt;", u"Jean-Paul", u"'70 Veltra, Gris Argent", 7, false, false, u"Amitiés,", u"Amitiés de Lyon."},
    Author{u"vtgarage", u"Lars", u"Veltra parts &amp; repairs, Malmö", 7, false, false, u"Hälsningar,", u"Vi har de flesta delar på lager."},
    Author{u"Ian Fairbairn &lt;ianf@example.net&gt;", u"Ian", u"'78 Veltra S, Vermilion", 6, false, false, {}, {}},
    Author{u"Martin Reyes &lt;mreyes@example.org&gt;", u"Martin", u"'73 Veltra, Java Green", 6, false, true, {}, {}},
    Author{u"Chris Adeyemi &lt;cadeyemi@example.com&gt;", u"Chris", u"'75 Veltra S, Flamenco", 5, true, false, {}, {}},
    Author{u"Kevin Walsh &lt;kwalsh@example.net&gt;", u"Kevin", u"'72 Veltra, project car", 5, false, false, {}, {}},
    Author{u"Bill Hargreaves &lt;billh@example.org&gt;", u"Bill", u"'68 Veltra, Old English White", 4, false, false, {}, {}},
    Author{u"gearhead1969@example.com", u"Stan", u"'69 Veltra, Bronze Yellow", 4, false, false, {}, {}},
    Author{u"Henrik Ødegård &lt;henrik.o@example.org&gt;", u"Henrik", u"'77 Veltra, Mørkeblå", 3, false, false, u"Hilsen,", u"Hilsen fra Tromsø – still snow on the ground."},
    Author{u"Zoë Lambert &lt;zoe.l@example.com&gt;", u"Zoë", u"'74 Veltra S, Pageant Blue", 3, false, false, {}, {}},
};

constexpr std::array<QStringView, 40> kComponents = {
    u"clutch cable", u"clutch slave cylinder", u"water pump", u"thermostat housing",
    u"fuel pump", u"timing belt", u"distributor cap", u"rotor arm", u"rear hub bearing",
    u"front wheel bearing", u"brake master cylinder", u"rear brake drum", u"front caliper",
    u"handbrake cable", u"speedo cable", u"heater valve", u"radiator fan switch",
    u"alternator", u"starter motor", u"wiper motor", u"headlamp pod motor", u"soft top frame",
    u"door seal", u"sill panel", u"rear trailing arm", u"anti-roll bar bush",
    u"steering rack gaiter", u"exhaust manifold gasket", u"head gasket", u"float needle valve",
    u"choke cable", u"oil pressure sender", u"fuel gauge sender", u"gearbox mount",
    u"diff oil seal", u"propshaft UJ", u"CV boot", u"window regulator", u"bonnet release cable",
    u"tachometer",
};

// {C}: the thread's component with a capital, {c}: the component as is.
constexpr std::array<QStringView, 14> kComponentSubjects = {
    u"{C} snapped", u"{C} leaking", u"{C} - part number?", u"Replacing the {c}",
    u"Noisy {c}", u"{C} problems again", u"Where to buy a {c}?", u"{C}: OEM or pattern?",
    u"Help! {c} failed on the motorway", u"Tip: {c} removal without special tools",
    u"Torque settings for the {c}", u"Uprated {c} - worth it?", u"{C} from a later car?",
    u"Fitting a new {c} &amp; other jobs",
};

constexpr std::array<QStringView, 36> kOtherSubjects = {
    u"Spring rally {Y} - who's going?", u"For sale: hardtop, red, Bristol area",
    u"Wanted: original steering wheel", u"New member from Göteborg", u"Treffen am Nürburgring",
    u"Concours results", u"The \"Veltra\" badge on the boot lid",
    u"What does \"VT2\" on the chassis plate mean?", u"Re-spray: \"Signal Red\" or \"Monza Red\"?",
    u"Nuts &amp; bolts: metric or UNF?", u"B&amp;M short shifter fitted",
    u"Q&amp;A night at the club meeting", u"OT: that other little sports car",
    u"Winter storage tips", u"Insurance for classics", u"Photos from the Brands Hatch track day",
    u"Club magazine deadline", u"Best tyres for 13\" wheels?", u"Koni vs. Spax dampers",
    u"Weber DCOE jetting", u"Electronic ignition conversion", u"Which oil? 20W50 or 10W40",
    u"Rust in the floor pan - how bad is bad?", u"Café racer Veltra?", u"Müller's Veltra for sale",
    u"Søren's restoration diary, part {i}", u"Annual general meeting {Y}",
    u"Overdrive conversion", u"Chrome bumpers vs. rubber bumpers", u"Original radio - anyone?",
    u"Hood down in the rain ;-)", u"Engine number lookup", u"Heritage certificate",
    u"Veltra spotted in a 1970s film", u"Tow bar on a Veltra?", u"Rolling road day in {w}",
};

constexpr std::array<QStringView, 10> kNewThreadOpeners = {
    u"Quick question for the experts.", u"Long time lurker, first post.",
    u"I've got a problem with the {c} on my {y} car.",
    u"Apologies if this has been asked before, I did search the archive.",
    u"The {c} on mine has been playing up since the winter.",
    u"Something for the collective wisdom of the list.",
    u"I'm after some advice before I start pulling things apart.",
    u"Has anyone here dealt with a tired {c}?",
    u"Following on from last month's meeting, here's what I found.",
    u"Just a heads-up for everyone with a {y} car.",
};

constexpr std::array<QStringView, 10> kReplyOpeners = {
    u"Thanks {r}, that's really helpful.", u"I had exactly the same on mine.",
    u"Agree with {r} on this one.", u"Sorry, can't help with the {c} itself, but...",
    u"+1 for {s}.", u"{r}, have you checked the earth strap first?",
    u"Don't throw the old one away, it can usually be rebuilt.",
    u"Mine's the same, and it's been that way for years.", u"Good call, {r}.",
    u"That's not what the manual says, but it's what works.",
};

// At most 64: a message uses each at most once, tracked in one 64-bit mask.
constexpr std::array<QStringView, 60> kSentences = {
    u"I've just had the {c} go on my {y} car.",
    u"It started on the way back from {w} last weekend.",
    u"Does anyone know the correct part number for the {c}? The book says {p} but {s} list it as {p}.",
    u"I got mine from {s} for {m}, which seemed fair.",
    u"Don't bother with the cheap pattern ones, they last about {k}.",
    u"The temperature gauge sits at {t} in traffic, which I'm told is normal.",
    u"Set the gap to {g} and it runs much better now.",
    u"Mine did exactly the same thing at {k}.",
    u"Check the {d} while you're in there; it's a five minute job with the {c} out.",
    u"You'll need a {o} and a lot of patience.",
    u"Whatever you do, don't overtighten it: {q} is plenty.",
    u"There's a good write-up in the club magazine, issue {i}.",
    u"{n} had the same problem and fixed it with a {c} from a later car.",
    u"The factory manual is wrong here &amp; the parts list is worse.",
    u"Remove &amp; refit took me about two hours, most of it swearing.",
    u"I'd rather pay {m} once than do the job twice.",
    u"Try {s}; they had three on the shelf last time I looked.",
    u"Nobody seems to make the original {c} any more.",
    u"If it's any help, the {c} from the saloon fits with a bit of filing.",
    u"We're meeting at {w} on the first Sunday of the month if anyone wants to have a look.",
    u"The car's now done {k} without a murmur.",
    u"I measured {g} of end float, which is just within the limit.",
    u"Has anyone tried the uprated {c}?",
    u"Bear in mind the early cars (up to {y}) used a different {c}.",
    u"Photos are in the group's Files section under \"Restoration\".",
    u"My wife says the car gets more attention than she does ;-)",
    u"The previous owner had bodged the {c} with a jubilee clip.",
    u"Part number {p} is the one with the longer thread.",
    u"At {m} a pair it's not worth reconditioning them.",
    u"It's a known weak spot on cars built after {y}.",
    u"Cost me {m} plus a day off work.",
    u"Don't forget to bleed the system afterwards – it's easy to trap air.",
    u"Make sure you get the right hand one; the left hand {c} is a different casting.",
    u"I keep a spare {c} in the boot now, just in case.",
    u"Just back from {w} – 600 miles and not a drop of oil on the drive.",
    u"Torque the bolts to {q} in a diagonal pattern.",
    u"The dealer in {w} wanted {m} just to look at it, so I did it myself.",
    u"A smear of copper grease on the threads saves a lot of grief next time.",
    u"The {c} and the {d} come out together if you take the bracket off first.",
    u"Ordered a new {c} ({p}) this morning, should be here by Friday.",
    u"I wouldn't trust a secondhand {c} on a car that's used every day.",
    u"With the hood down and the sun out it's the best car in the world.",
    u"Zoë at {s} was a great help on the phone.",
    u"I run {u} in the tyres, which seems to suit the car.",
    u"Soak everything in penetrating oil the night before; the {c} bolts are always seized.",
    u"There's a factory bulletin about the {c}, reference {p}.",
    u"It's a two-person job unless you've got long arms.",
    u"Once it was back together the car drove like new.",
    u"I'll bring the old {c} to the next meeting so you can compare.",
    u"Don't do what I did and lose the little spring – it's not listed separately.",
    u"The club's technical officer, {n}, has a jig for this.",
    u"It only happens once the engine's warm, above {t} on the gauge.",
    u"After {k} the old one was worn to nothing.",
    u"Mine came with a note in the box: \"fit with sealant\".",
    u"If in doubt, ask at {s} – they know these cars inside out.",
    u"The rubber on the {c} perishes long before the metal wears.",
    u"Whoever designed the access to the {c} never had to work on one.",
    u"I've got a spare {c} in the garage if anyone's stuck; {m} plus postage.",
    u"The workshop manual's drawing of the {c} is mirrored, by the way.",
    u"A new {c} made a world of difference – it's like driving a different car.",
};
static_assert(kSentences.size() <= 64);

constexpr std::array<QStringView, 16> kPlaces = {
    u"Göteborg", u"Zürich", u"the Nürburgring", u"Brands Hatch", u"Ålesund", u"Montréal",
    u"Köln", u"Leeds", u"Bristol", u"Aarhus", u"Malmö", u"Lyon", u"Düsseldorf", u"Goodwood",
    u"Tromsø", u"São Paulo",
};

constexpr std::array<QStringView, 8> kSuppliers = {
    u"the club spares scheme", u"Veltra Spares &amp; Services", u"Hollis Classic Parts",
    u"Kühn Autoteile", u"Brit Sports Spares", u"the breaker's yard near Leeds",
    u"Østergaard Motor", u"Pryce &amp; Son",
};

constexpr std::array<QStringView, 6> kGaps = {
    u"0.015in", u"0.4 mm", u"0.38 mm", u"0.025in", u"0.5 mm", u"0.018in",
};
constexpr std::array<QStringView, 6> kTorques = {
    u"12 ft-lb", u"45 Nm", u"18 lb ft", u"25 Nm", u"30 ft-lb", u"8 Nm",
};
constexpr std::array<QStringView, 5> kPressures = {
    u"28 psi", u"24 psi front, 26 rear", u"1.8 bar", u"26 psi all round", u"2.0 bar front, 2.2 rear",
};

constexpr std::array<QStringView, 6> kTools = {
    u"10mm socket", u"long extension", u"2 ft breaker bar", u"set of feeler gauges",
    u"hub puller", u"pair of circlip pliers",
};

constexpr std::array<QStringView, 8> kCurrencies = {
    u"£", u"£", u"$", u"€", u"DM&nbsp;", u"SEK&nbsp;", u"NOK&nbsp;", u"FF&nbsp;",
};

constexpr std::array<QStringView, 6> kGreetings = {
    u"Hi all,", u"Hello everyone,", u"Hi folks,", u"All,", u"Evening all,", u"",
};
// {r}: the first name of the sender being answered.
constexpr std::array<QStringView, 5> kReplyGreetings = {
    u"Hi {r},", u"{r},", u"Hello {r},", u"Hi all,", u"",
};

constexpr std::array<QStringView, 6> kSignOffs = {
    u"Cheers,", u"Regards,", u"Thanks,", u"All the best,", u"Happy motoring,", u"",
};

constexpr std::array<QStringView, 12> kMonths = {
    u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec",
};
constexpr std::array<QStringView, 7> kWeekdays = {u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat", u"Sun"};

constexpr QStringView kLead = u"[vclb] ";
constexpr QStringView kBreak = u"<br>\r\n";
constexpr int kWrapColumn = 72;
constexpr int kMaxThreads = 14;

// Shares in 10,000.
constexpr quint32 kGapShare = 40;
constexpr quint32 kFlaggedShare = 100;
constexpr quint32 kIsoDateShare = 300;
constexpr quint32 kNewThreadShare = 3200;
constexpr quint32 kQuoteShare = 6500;
constexpr quint32 kFooterShare = 800;

// Real text.
constexpr int kRealMinWords = 60;
constexpr int kRealMaxWords = 260;
constexpr int kRealMinOwnWords = 30;  // what a reply says besides its quote, at least
constexpr int kRealQuotedLinesKept = 20;
constexpr quint32 kRealQuoteShare = 8000;
constexpr quint32 kRealSubjectShare = 4500; // subjects naming a vocabulary word
constexpr quint32 kRealCommaShare = 700;
constexpr quint32 kRealAsideShare = 1500;

// {v}: a word of the vocabulary, {V}: the same with a capital.
constexpr std::array<QStringView, 24> kRealSubjects = {
    u"Question about the {v}", u"{V}?", u"Anyone know about {v}?", u"Looking for {v} near {w}",
    u"{V} on the {c}", u"Advice needed: {v}", u"For sale: {v}", u"Wanted: {v} for a {y} car",
    u"{V} and {v}", u"Update on the {v}", u"Thoughts on {v}?", u"[Tech] {v} problem", u"OT: {v}",
    u"Photos: {v} at {w}", u"{V} - solved", u"More on {v}", u"Help with the {v} please", u"Cheap {v}",
    u"{V} vs. {v}", u"First drive after the {v}", u"{C} and the {v}", u"The {v} question again",
    u"{V} at {w} this weekend", u"Re-fitting the {v}",
};

template <typename T, std::size_t N>
const T &pick(SplitMix64 &rng, const std::array<T, N> &items)
{
    return items[rng.below(quint32(N))];
}

void appendNumber(QString &out, qint64 value, int width = 0)
{
    const QString digits = QString::number(value);
    for (int i = int(digits.size()); i < width; ++i)
        out += u'0';
    out += digits;
}

void appendDigits(QString &out, SplitMix64 &rng, int count)
{
    for (int i = 0; i < count; ++i)
        out += QChar(u'0' + rng.below(10));
}

struct Thread
{
    QString subject;     // without lead and "Re:"
    int component = -1;  // index into kComponents, or -1
    int lastAuthor = 0;
    QString quote;       // the opening of the latest message, for the next reply to quote
    QStringList lines;   // real text: the latest message's lines, for the next reply to quote
    int repliesLeft = 0;
};

} // namespace

struct MessageGenerator::Private
{
    explicit Private(quint64 seed)
        : rng(seed)
    {
        quint32 total = 0;
        for (const Author &a : kAuthors)
            total += a.weight;
        weightTotal = total;
        for (const Author &a : kAuthors)
            quoteNames.push_back(quoteNameOf(a.display));
    }

    static QString quoteNameOf(QStringView display);
    int pickAuthor();
    QString dateText();
    QString newSubject(int component);
    void expand(QString &out, QStringView pattern);
    QStringView threadComponent();
    void appendPartNumber(QString &out);
    void appendMoney(QString &out);
    QString sentence(QStringView pattern);
    void wrapInto(QStringList &lines, QStringView text);
    void appendWrapped(QString &out, QStringView text, QStringView prefix);
    QStringView freshSentence(quint64 &used);
    void appendParagraph(QString &out, const Author &author, QStringView text);
    QString body(const Author &author, const Thread *repliedTo);
    QStringView subjectWord();
    QString realSubject(int component);
    void appendRealSentence(QString &out, int words);
    QString realBody(const Author &author, const Thread *repliedTo);

    SplitMix64 rng;
    quint32 weightTotal = 0;
    std::vector<QString> quoteNames;
    std::vector<Thread> threads; // oldest first
    qint32 lastNumber = 0;
    qint64 minutes = 0;          // since the archive's first day
    qint64 startDay = QDate(2001, 1, 8).toJulianDay();
    // Context of the message being written, read by expand().
    int component = -1;
    QStringView repliedToName;
    QString quoteOpening;
    // Real text: the words, and the lines of the message just written for the next reply.
    std::shared_ptr<const Vocabulary> vocabulary;
    QStringList messageLines;
};

QStringView MessageGenerator::Private::threadComponent()
{
    return kComponents[component >= 0 ? quint32(component) : rng.below(quint32(kComponents.size()))];
}

QString MessageGenerator::Private::quoteNameOf(QStringView display)
{
    // The archive shortens addresses in quote headers: "Name" <user@e...>
    const qsizetype lt = display.indexOf(u"&lt;");
    QStringView name;
    QStringView address = display;
    if (lt >= 0) {
        name = display.left(lt).trimmed();
        if (name.startsWith(u'"') && name.endsWith(u'"'))
            name = name.mid(1, name.size() - 2);
        address = display.mid(lt + 4);
        address.chop(4);
    }
    const qsizetype at = address.indexOf(u'@');
    QString shortened = address.left(at >= 0 ? at + 2 : address.size()).toString();
    if (at >= 0)
        shortened += u"...";
    if (lt < 0)
        return shortened;
    QString quoted;
    quoted += u'"';
    quoted += name;
    quoted += u"\" &lt;";
    quoted += shortened;
    quoted += u"&gt;";
    return quoted;
}

int MessageGenerator::Private::pickAuthor()
{
    quint32 ticket = rng.below(weightTotal);
    for (int i = 0; i < int(kAuthors.size()); ++i) {
        if (ticket < kAuthors[i].weight)
            return i;
        ticket -= kAuthors[i].weight;
    }
    return 0;
}

QString MessageGenerator::Private::dateText()
{
    const QDate day = QDate::fromJulianDay(startDay + minutes / 1440);
    const int minuteOfDay = int(minutes % 1440);
    const int hour = minuteOfDay / 60;
    const int minute = minuteOfDay % 60;
    QString text;
    text.reserve(28);
    // A stretch of the archive came from an older list server that wrote ISO dates.
    if (rng.chance(kIsoDateShare)) {
        appendNumber(text, day.year());
        text += u'-';
        appendNumber(text, day.month(), 2);
        text += u'-';
        appendNumber(text, day.day(), 2);
        text += u' ';
        appendNumber(text, hour, 2);
        text += u':';
        appendNumber(text, minute, 2);
        return text;
    }
    text += kWeekdays[day.dayOfWeek() - 1];
    text += u' ';
    text += kMonths[day.month() - 1];
    text += u' ';
    appendNumber(text, day.day());
    text += u", ";
    appendNumber(text, day.year());
    text += u' ';
    appendNumber(text, hour % 12 == 0 ? 12 : hour % 12);
    text += u':';
    appendNumber(text, minute, 2);
    text += hour < 12 ? u" am" : u" pm";
    return text;
}

void MessageGenerator::Private::appendPartNumber(QString &out)
{
    switch (rng.below(4)) {
    case 0:
        out += u"VT-";
        appendDigits(out, rng, 4);
        out += u'-';
        appendDigits(out, rng, 3);
        break;
    case 1:
        out += u"14A";
        appendDigits(out, rng, 4);
        break;
    case 2:
        out += u"GVT ";
        appendDigits(out, rng, 3);
        break;
    default:
        appendDigits(out, rng, 2);
        out += u'-';
        appendDigits(out, rng, 4);
        out += u'-';
        out += QChar(u'A' + rng.below(6));
        break;
    }
}

void MessageGenerator::Private::appendMoney(QString &out)
{
    out += pick(rng, kCurrencies);
    appendNumber(out, rng.between(3, 400));
    if (rng.chance(2500))
        out += u".50";
}

void MessageGenerator::Private::expand(QString &out, QStringView pattern)
{
    qsizetype i = 0;
    while (i < pattern.size()) {
        const qsizetype open = pattern.indexOf(u'{', i);
        if (open < 0 || open + 2 >= pattern.size() || pattern[open + 2] != u'}') {
            out += pattern.mid(i);
            return;
        }
        out += pattern.mid(i, open - i);
        switch (pattern[open + 1].unicode()) {
        case u'c':
            out += threadComponent();
            break;
        case u'C': {
            const QStringView name = threadComponent();
            out += name.front().toUpper();
            out += name.mid(1);
            break;
        }
        case u'd':
            out += pick(rng, kComponents);
            break;
        case u'p':
            appendPartNumber(out);
            break;
        case u'm':
            appendMoney(out);
            break;
        case u't':
            if (rng.chance(6000)) {
                appendNumber(out, rng.between(80, 105));
                out += u"°C";
            } else {
                appendNumber(out, rng.between(180, 220));
                out += u"°F";
            }
            break;
        case u'k':
            if (rng.chance(2000)) {
                out += u"about ";
                appendNumber(out, rng.between(5, 90));
                out += u"k miles";
            } else {
                appendNumber(out, rng.between(8, 140));
                out += rng.chance(6500) ? u",000 miles" : u",000 km";
            }
            break;
        case u'g':
            out += pick(rng, kGaps);
            break;
        case u'q':
            out += pick(rng, kTorques);
            break;
        case u'u':
            out += pick(rng, kPressures);
            break;
        case u'w':
            out += pick(rng, kPlaces);
            break;
        case u's':
            out += pick(rng, kSuppliers);
            break;
        case u'n':
            out += kAuthors[pickAuthor()].firstName;
            break;
        case u'r':
            out += repliedToName.isEmpty() ? kAuthors[pickAuthor()].firstName : repliedToName;
            break;
        case u'y':
            appendNumber(out, rng.between(1968, 1979));
            break;
        case u'i':
            appendNumber(out, rng.between(1, 140));
            break;
        case u'o':
            out += pick(rng, kTools);
            break;
        case u'v':
            out += subjectWord();
            break;
        case u'V': {
            const QStringView word = subjectWord();
            out += word.front().toUpper();
            out += word.mid(1);
            break;
        }
        case u'Y':
            appendNumber(out, QDate::fromJulianDay(startDay + minutes / 1440).year());
            break;
        default:
            out += pattern.mid(open, 3);
            break;
        }
        i = open + 3;
    }
}

QString MessageGenerator::Private::sentence(QStringView pattern)
{
    QString s;
    s.reserve(160);
    expand(s, pattern);
    return s;
}

QString MessageGenerator::Private::newSubject(int subjectComponent)
{
    QString subject;
    subject.reserve(64);
    if (subjectComponent >= 0)
        expand(subject, pick(rng, kComponentSubjects));
    else
        expand(subject, pick(rng, kOtherSubjects));
    return subject;
}

void MessageGenerator::Private::wrapInto(QStringList &lines, QStringView text)
{
    // Lines break at blanks only, so an entity such as "&nbsp;" is never cut.
    qsizetype lineStart = 0;
    while (lineStart < text.size()) {
        qsizetype end = text.size();
        if (end - lineStart > kWrapColumn) {
            const qsizetype blank = text.lastIndexOf(u' ', lineStart + kWrapColumn);
            end = blank > lineStart ? blank : text.indexOf(u' ', lineStart + kWrapColumn);
            if (end < 0)
                end = text.size();
        }
        lines << text.mid(lineStart, end - lineStart).toString();
        lineStart = end + 1;
    }
}

void MessageGenerator::Private::appendWrapped(QString &out, QStringView text, QStringView prefix)
{
    QStringList lines;
    wrapInto(lines, text);
    for (const QString &line : std::as_const(lines)) {
        out += prefix;
        out += line;
        out += kBreak;
    }
}

QStringView MessageGenerator::Private::freshSentence(quint64 &used)
{
    constexpr quint64 all = kSentences.size() == 64 ? ~quint64(0) : (quint64(1) << kSentences.size()) - 1;
    if (used == all)
        used = 0;
    for (;;) {
        const quint32 index = rng.below(quint32(kSentences.size()));
        if (!(used & (quint64(1) << index))) {
            used |= quint64(1) << index;
            return kSentences[index];
        }
    }
}

void MessageGenerator::Private::appendParagraph(QString &out, const Author &author, QStringView text)
{
    if (author.htmlMail) {
        out += u"<p>";
        out += text;
        out += u"</p>\r\n";
    } else {
        appendWrapped(out, text, {});
        out += kBreak;
    }
}

QString MessageGenerator::Private::body(const Author &author, const Thread *repliedTo)
{
    QString out;
    out.reserve(4600);
    const int target = rng.between(520, 3500);
    const bool reply = repliedTo != nullptr;

    const QString greeting = sentence(reply ? pick(rng, kReplyGreetings) : pick(rng, kGreetings));
    if (!greeting.isEmpty())
        appendParagraph(out, author, greeting);

    if (reply && !repliedTo->quote.isEmpty() && rng.chance(kQuoteShare)) {
        const QString &from = quoteNames[repliedTo->lastAuthor];
        if (author.htmlMail) {
            out += from;
            out += u" wrote:<br>\r\n<blockquote>";
            out += repliedTo->quote;
            out += u"</blockquote>\r\n";
        } else {
            out += u"--- In veltraclub@y..., ";
            out += from;
            out += u" wrote:";
            out += kBreak;
            appendWrapped(out, repliedTo->quote, u"&gt; ");
            out += kBreak;
        }
    }

    QString opening;
    quint64 used = 0;
    bool first = true;
    while (out.size() < target) {
        QString paragraph;
        const int sentences = rng.between(1, 4);
        for (int s = 0; s < sentences && out.size() + paragraph.size() < target; ++s) {
            QString line = sentence(first ? (reply ? pick(rng, kReplyOpeners) : pick(rng, kNewThreadOpeners))
                                          : freshSentence(used));
            if (author.outlook)
                line.replace(u'\'', u'\u2019');
            if (!paragraph.isEmpty())
                paragraph += u' ';
            paragraph += line;
            if (first || opening.size() < 120) {
                if (!opening.isEmpty())
                    opening += u' ';
                opening += line;
            }
            first = false;
        }
        appendParagraph(out, author, paragraph);
    }
    if (!author.aside.isEmpty() && rng.chance(3000))
        appendParagraph(out, author, author.aside);

    const QStringView signOff = !author.signOff.isEmpty() && rng.chance(7000) ? author.signOff : pick(rng, kSignOffs);
    if (!signOff.isEmpty()) {
        out += signOff;
        out += kBreak;
    }
    out += author.firstName;
    out += kBreak;
    if (rng.chance(5000)) {
        out += u"--";
        out += kBreak;
        out += u"&nbsp;&nbsp;";
        out += author.car;
        out += kBreak;
    }
    if (rng.chance(kFooterShare))
        out += u"<br>\r\n<br>\r\n[Non-text portions of this message have been removed]<br>\r\n";

    // The next reply quotes the opening of this message.
    quoteOpening = opening;
    return out;
}

namespace {

// The words of a line as MessageGenerator::wordCount() counts them.
int lineWords(QStringView line)
{
    int words = 0;
    for (QStringView token : line.tokenize(u' ', Qt::SkipEmptyParts))
        words += token != u"&gt;";
    return words;
}

int linesWords(const QStringList &lines)
{
    int words = 0;
    for (const QString &line : lines)
        words += lineWords(line);
    return words;
}

} // namespace

QStringView MessageGenerator::Private::subjectWord()
{
    // A subject names a thing, not "the" or "of": the most common words are passed over.
    QStringView word;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int rank = vocabulary->draw(rng);
        word = vocabulary->word(rank);
        if (rank >= 50 && word.size() >= 4)
            break;
    }
    return word;
}

QString MessageGenerator::Private::realSubject(int subjectComponent)
{
    if (!rng.chance(kRealSubjectShare))
        return newSubject(subjectComponent);
    QString subject;
    subject.reserve(64);
    expand(subject, pick(rng, kRealSubjects));
    return subject;
}

void MessageGenerator::Private::appendRealSentence(QString &out, int words)
{
    for (int i = 0; i < words; ++i) {
        const QString &word = vocabulary->word(vocabulary->draw(rng));
        if (i > 0)
            out += u' ';
        // "I" and "I'm" keep their capital inside a sentence too.
        const bool capital = i == 0 || (word.front() == u'i' && (word.size() == 1 || word[1] == u'\''));
        if (capital) {
            out += word.front().toUpper();
            out += QStringView(word).mid(1);
        } else {
            out += word;
        }
        if (i + 1 < words && rng.chance(kRealCommaShare))
            out += u',';
    }
    const quint32 end = rng.below(100);
    out += end < 85 ? u'.' : end < 96 ? u'?' : u'!';
}

QString MessageGenerator::Private::realBody(const Author &author, const Thread *repliedTo)
{
    const int total = rng.between(kRealMinWords, kRealMaxWords);

    QStringList closing;
    const QStringView signOff = !author.signOff.isEmpty() && rng.chance(7000) ? author.signOff : pick(rng, kSignOffs);
    if (!signOff.isEmpty())
        closing << signOff.toString();
    closing << author.firstName.toString();

    QStringList opening;
    if (const QString greeting = sentence(repliedTo ? pick(rng, kReplyGreetings) : pick(rng, kGreetings));
        !greeting.isEmpty())
        opening << greeting << QString();

    // The quote: the first lines of the message answered, as many as leave the reply room
    // for its own words.
    QStringList quote;
    if (repliedTo && !repliedTo->lines.isEmpty() && rng.chance(kRealQuoteShare)) {
        quote << QStringLiteral("--- In veltraclub@y..., %1 wrote:").arg(quoteNames[repliedTo->lastAuthor]);
        int room = total - linesWords(closing) - linesWords(opening) - lineWords(quote.front()) - kRealMinOwnWords;
        const int wanted = rng.between(2, 12);
        for (const QString &line : repliedTo->lines) {
            if (quote.size() > wanted || lineWords(line) > room)
                break;
            room -= lineWords(line);
            quote << (line.isEmpty() ? QStringLiteral("&gt;") : QStringLiteral("&gt; ") + line);
        }
        if (quote.size() == 1)
            quote.clear();
        else
            quote << QString();
    }

    int left = total - linesWords(closing) - linesWords(opening) - linesWords(quote);
    QString aside;
    if (!author.aside.isEmpty() && rng.chance(kRealAsideShare) && lineWords(author.aside) + 10 <= left) {
        aside = author.aside.toString();
        left -= lineWords(aside);
    }
    QStringList own;
    QString paragraph;
    while (left > 0) {
        paragraph.clear();
        const int sentences = rng.between(1, 5);
        for (int s = 0; s < sentences && left > 0; ++s) {
            int words = std::min(left, rng.between(4, 18));
            // No sentence of one or two words at the end.
            if (left - words < 3)
                words = left;
            if (!paragraph.isEmpty())
                paragraph += u' ';
            appendRealSentence(paragraph, words);
            left -= words;
        }
        if (!own.isEmpty())
            own << QString();
        wrapInto(own, paragraph);
    }
    if (!aside.isEmpty())
        own << QString() << aside;
    own << QString();

    // Outlook users answer above the quote, everyone else below it.
    QStringList lines = opening;
    if (author.outlook)
        lines << own << closing << QString() << quote;
    else
        lines << quote << own << closing;

    QString out;
    out.reserve(total * 8 + 256);
    for (const QString &line : std::as_const(lines)) {
        out += line;
        out += kBreak;
    }
    // The next reply quotes this message as it reads, earlier quotes included.
    messageLines = author.outlook ? own + quote.mid(1) : quote.mid(1) + own;
    if (messageLines.size() > kRealQuotedLinesKept)
        messageLines.resize(kRealQuotedLinesKept);
    return out;
}

MessageGenerator::MessageGenerator(quint64 seed)
    : d(std::make_unique<Private>(seed))
{
}

MessageGenerator::MessageGenerator(quint64 seed, std::shared_ptr<const Vocabulary> vocabulary)
    : d(std::make_unique<Private>(seed))
{
    // Without one it is the demo archive.
    d->vocabulary = std::move(vocabulary);
}

MessageGenerator::~MessageGenerator() = default;

MessageRecord MessageGenerator::next()
{
    MessageRecord record;
    qint32 number = d->lastNumber + 1;
    if (d->lastNumber > 0 && d->rng.chance(kGapShare) && number < std::numeric_limits<qint32>::max() - 3)
        number += d->rng.between(1, 3);
    d->lastNumber = number;
    record.messnum = number;
    d->minutes += d->rng.between(3, 190);
    // Hardly anyone posts between one and seven in the morning.
    if (const int hour = int(d->minutes % 1440) / 60; hour >= 1 && hour < 7)
        d->minutes += (7 - hour) * 60;

    const int authorIndex = d->pickAuthor();
    const Author &author = kAuthors[authorIndex];

    const bool startThread = d->threads.empty() || d->rng.chance(kNewThreadShare);
    Thread *thread = nullptr;
    if (startThread) {
        if (int(d->threads.size()) >= kMaxThreads)
            d->threads.erase(d->threads.begin());
        Thread fresh;
        fresh.component = d->rng.chance(5500) ? int(d->rng.below(quint32(kComponents.size()))) : -1;
        d->component = fresh.component;
        d->repliedToName = {};
        fresh.subject = d->vocabulary ? d->realSubject(fresh.component) : d->newSubject(fresh.component);
        fresh.repliesLeft = d->rng.between(0, 12);
        d->threads.push_back(std::move(fresh));
        thread = &d->threads.back();
    } else {
        // Recent threads get most of the replies.
        const auto count = quint32(d->threads.size());
        const quint32 back = std::min(d->rng.below(count), d->rng.below(count));
        thread = &d->threads[count - 1 - back];
        d->component = thread->component;
        d->repliedToName = kAuthors[thread->lastAuthor].firstName;
    }

    record.messauthor = author.display.toString();
    const QString date = d->dateText();
    record.messdate = d->rng.chance(kFlaggedShare) ? QStringLiteral("-1") + date : date;

    record.messtitle.reserve(80);
    record.messtitle += kLead;
    if (!startThread)
        record.messtitle += author.outlook ? u"RE: " : u"Re: ";
    record.messtitle += thread->subject;

    d->quoteOpening.clear();
    if (d->vocabulary) {
        record.message = d->realBody(author, startThread ? nullptr : thread);
        thread->lines = std::move(d->messageLines);
    } else {
        record.message = d->body(author, startThread ? nullptr : thread);
        thread->quote = d->quoteOpening;
    }
    thread->lastAuthor = authorIndex;
    if (!startThread && --thread->repliesLeft < 0) {
        const auto index = thread - d->threads.data();
        d->threads.erase(d->threads.begin() + index);
    }
    return record;
}

QList<MessageRecord> MessageGenerator::generate(quint64 seed, qint32 lastNumber,
                                                std::shared_ptr<const Vocabulary> vocabulary)
{
    QList<MessageRecord> records;
    MessageGenerator generator(seed, std::move(vocabulary));
    for (;;) {
        MessageRecord record = generator.next();
        if (record.messnum > lastNumber)
            break;
        const bool last = record.messnum == lastNumber;
        records.append(std::move(record));
        if (last)
            break;
    }
    return records;
}

int MessageGenerator::wordCount(QStringView body)
{
    return lineWords(body.toString().replace(QStringLiteral("<br>"), QStringLiteral(" ")).replace(u'\r', u' ').replace(u'\n', u' '));
}

QString MessageGenerator::subjectLead()
{
    return kLead.toString();
}
