// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/jetlike.h"

#include <QRandomGenerator>
#include <QtTest>

#include <sqlite3.h>

#include <array>
#include <functional>

namespace {

// A plain backtracking matcher over code points, slow but obviously right for the
// alphabet of the random comparison below (no ranges, no characters outside the BMP).
bool referenceMatch(const std::u32string &pattern, const std::u32string &text)
{
    auto fold = [](char32_t c) { return char32_t(QChar::toCaseFolded(c)); };
    std::function<bool(std::size_t, std::size_t)> at = [&](std::size_t p, std::size_t t) -> bool {
        if (p == pattern.size())
            return t == text.size();
        const char32_t c = pattern[p];
        if (c == '*')
            return at(p + 1, t) || (t < text.size() && at(p, t + 1));
        if (t == text.size())
            return false;
        if (c == '?')
            return at(p + 1, t + 1);
        if (c == '#')
            return text[t] >= '0' && text[t] <= '9' && at(p + 1, t + 1);
        if (c == '[') {
            const std::size_t close = pattern.find(U']', p);
            bool negated = pattern[p + 1] == '!' && close > p + 2;
            bool in = false;
            for (std::size_t k = p + 1 + (negated ? 1 : 0); k < close; ++k)
                in = in || fold(pattern[k]) == fold(text[t]);
            return in != negated && at(close + 1, t + 1);
        }
        return fold(c) == fold(text[t]) && at(p + 1, t + 1);
    };
    return at(0, 0);
}

QByteArray bytes(const char *data, int size)
{
    return QByteArray(data, size);
}

} // namespace

class TestJetLike final : public QObject
{
    Q_OBJECT

private slots:
    void matches_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");

        // Whole-string matching and case
        QTest::newRow("empty matches empty") << "" << "" << true;
        QTest::newRow("empty pattern, text") << "" << "a" << false;
        QTest::newRow("literal any case") << "abc" << "ABC" << true;
        QTest::newRow("literal is not a prefix") << "abc" << "abcd" << false;
        QTest::newRow("literal is not a suffix") << "abc" << "xabc" << false;
        QTest::newRow("blank counts") << "red car" << "red  car" << false;
        // Star
        QTest::newRow("star alone, empty") << "*" << "" << true;
        QTest::newRow("star alone, text") << "*" << "anything at all" << true;
        QTest::newRow("stars collapse") << "**a**" << "a" << true;
        QTest::newRow("prefix") << "a*" << "a" << true;
        QTest::newRow("prefix mismatch") << "a*" << "ba" << false;
        QTest::newRow("suffix") << "*c" << "abc" << true;
        QTest::newRow("suffix mismatch") << "*c" << "cb" << false;
        QTest::newRow("inner word") << "*word*" << "a sword fight" << true;
        QTest::newRow("inner word any case") << "*WORD*" << "crosswords" << true;
        QTest::newRow("inner word missing") << "*word*" << "wor d" << false;
        QTest::newRow("repeated start of word") << "*aab*" << "aaab" << true;
        QTest::newRow("words in order") << "a*b*c" << "aXXbYYc" << true;
        QTest::newRow("words out of order") << "a*b*c" << "acb" << false;
        QTest::newRow("head and tail may not overlap") << "ab*ba" << "aba" << false;
        QTest::newRow("head and tail side by side") << "ab*ba" << "abba" << true;
        QTest::newRow("inner needs room before tail") << "*ab*ab" << "ab" << false;
        QTest::newRow("inner then tail") << "*ab*ab" << "abab" << true;
        QTest::newRow("inner found before tail") << "*x*yz" << "xyz" << true;
        // ? and #
        QTest::newRow("? one letter") << "a?c" << "abc" << true;
        QTest::newRow("? not none") << "a?c" << "ac" << false;
        QTest::newRow("? is one code point") << "?" << QStringLiteral("é") << true;
        QTest::newRow("?? is not one code point") << "??" << QStringLiteral("é") << false;
        QTest::newRow("? beyond the BMP") << "?" << QString::fromUcs4(U"\U0001F600") << true;
        QTest::newRow("? not empty") << "?" << "" << false;
        QTest::newRow("# digit") << "##-##" << "12-34" << true;
        QTest::newRow("# not a letter") << "#" << "a" << false;
        QTest::newRow("# only 0-9") << "#" << QStringLiteral("٣") << false;
        QTest::newRow("inner ? before letter") << "*?b*" << "ab" << true;
        QTest::newRow("inner ? needs a character") << "*?b*" << "b" << false;
        QTest::newRow("inner # first") << "*#x*" << "ab1x" << true;
        QTest::newRow("tail of ?") << "*??" << QStringLiteral("aéé") << true;
        // Sets
        QTest::newRow("set member other case") << "[abc]" << "B" << true;
        QTest::newRow("set non-member") << "[abc]" << "d" << false;
        QTest::newRow("negated set") << "[!abc]" << "d" << true;
        QTest::newRow("negated set other case") << "[!abc]" << "A" << false;
        QTest::newRow("range other case") << "[a-z]" << "Q" << true;
        QTest::newRow("upper range, lower text") << "[A-Z]" << "q" << true;
        QTest::newRow("range excludes digit") << "[a-z]" << "5" << false;
        QTest::newRow("negated range") << "[!a-z]" << "5" << true;
        QTest::newRow("range and singles") << "[0-9x]" << "X" << true;
        QTest::newRow("inner set first") << "*[xy]z*" << "aYz" << true;
        QTest::newRow("set is one character") << "[ab]" << "ab" << false;
        QTest::newRow("bracketed star") << "[*]" << "*" << true;
        QTest::newRow("bracketed star is not a wildcard") << "[*]" << "x" << false;
        QTest::newRow("bracketed ?") << "a[?]" << "a?" << true;
        QTest::newRow("bracketed ? is not a wildcard") << "[?]" << "a" << false;
        QTest::newRow("bracketed #") << "[#]" << "#" << true;
        QTest::newRow("bracketed # is not a digit") << "[#]" << "1" << false;
        QTest::newRow("bracketed [") << "[[]" << "[" << true;
        QTest::newRow("dash first") << "[-a]" << "-" << true;
        QTest::newRow("dash last") << "[a-]" << "-" << true;
        QTest::newRow("dash last is no range") << "[a-]" << "b" << false;
        QTest::newRow("lone ! is itself") << "[!]" << "!" << true;
        QTest::newRow("close bracket outside a set") << "a]" << "a]" << true;
        QTest::newRow("empty set, empty text") << "[]" << "" << true;
        QTest::newRow("empty set takes nothing") << "a[]b" << "ab" << true;
        QTest::newRow("empty set, a letter") << "[]" << "a" << false;
        // Beyond ASCII
        QTest::newRow("accented other case") << QStringLiteral("é") << QStringLiteral("É") << true;
        QTest::newRow("accent is not dropped") << QStringLiteral("é") << "e" << false;
        QTest::newRow("accent is not added") << "e" << QStringLiteral("é") << false;
        QTest::newRow("inner accented word") << QStringLiteral("*ÉCOLE*") << QStringLiteral("une école") << true;
        QTest::newRow("inner non-ASCII first") << QStringLiteral("*ü*") << QStringLiteral("GRÜN") << true;
        QTest::newRow("tail non-ASCII") << QStringLiteral("*É") << QStringLiteral("café") << true;
        QTest::newRow("sigma forms") << QStringLiteral("ς") << QStringLiteral("Σ") << true;
        QTest::newRow("title-case digraph") << QStringLiteral("*ǆ*") << QStringLiteral("xǅx") << true;
        QTest::newRow("folds to a longer encoding") << QStringLiteral("*ⱥ*") << QStringLiteral("aȺb") << true;
        QTest::newRow("no expansion of sharp s") << QStringLiteral("straße") << "STRASSE" << false;
        QTest::newRow("Kelvin sign is not k") << "k" << QStringLiteral("\u212A") << false;
        QTest::newRow("non-ASCII range other case") << QStringLiteral("[à-ä]") << QStringLiteral("Â") << true;
        QTest::newRow("negated non-ASCII") << QStringLiteral("[!é]") << QStringLiteral("É") << false;
        QTest::newRow("NUL is a character") << "a?b" << QString::fromUtf16(u"a\0b", 3) << true;
    }
    void matches()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QString error;
        const auto compiled = JetLike::compile(pattern, &error);
        QVERIFY2(compiled, qPrintable(error));
        QCOMPARE(compiled->matches(text), expected);
    }

    // The byte-wise shortcut for the forms a search builds, where it could part from the
    // general matcher: characters whose folding leads to ASCII or to another length,
    // sequences split or broken, overlong ones, the word at the very start or end.
    void quickForms_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("expected");
        const auto u8 = [](const char16_t *text) { return QString::fromUtf16(text).toUtf8(); };
        QTest::newRow("empty word, empty text") << "" << QByteArray() << true;
        QTest::newRow("empty word, text") << "" << QByteArray("a") << false;
        QTest::newRow("word at the start") << "*abc*" << QByteArray("ABCx") << true;
        QTest::newRow("word at the end") << "*abc*" << QByteArray("xabC") << true;
        QTest::newRow("word cut at the end") << "*abc*" << QByteArray("xxab") << false;
        QTest::newRow("first and last bytes only") << "*abc*" << QByteArray("axc axc aXc") << false;
        QTest::newRow("past sixteen bytes") << "*needle*" << QByteArray("a haystack of hay, then NEEDLE") << true;
        QTest::newRow("across sixteen bytes") << "*needle*" << QByteArray("0123456789abcneedle") << true;
        QTest::newRow("case bit on a non-letter") << "*@*" << QByteArray("`") << false;
        QTest::newRow("prefix longer than the text") << "abc*" << QByteArray("ab") << false;
        QTest::newRow("suffix not at the end") << "*bc" << QByteArray("bca") << false;
        QTest::newRow("k is not the Kelvin sign") << QStringLiteral("*\u212A*") << QByteArray("k") << false;
        QTest::newRow("Kelvin sign is itself") << QStringLiteral("\u212A*") << u8(u"\u212Aelvin") << true;
        QTest::newRow("long s is not s") << "*s*" << u8(u"\u017F") << false;
        QTest::newRow("s is not long s") << QStringLiteral("*\u017F") << QByteArray("S") << false;
        QTest::newRow("capital sharp s, longer") << QStringLiteral("*stra\u00DFe") << u8(u"STRA\u1E9EE") << true;
        QTest::newRow("dotted capital I is not i") << "*i*" << u8(u"\u0130") << false;
        QTest::newRow("Cyrillic, whole text") << QStringLiteral("\u0440\u0435\u043C\u043E\u043D\u0442")
                                              << u8(u"\u0420\u0415\u041C\u041E\u041D\u0422") << true;
        QTest::newRow("beyond the BMP") << QStringLiteral("*\U0001F697*") << u8(u"car \U0001F697!") << true;
        QTest::newRow("sequence split by a byte") << QStringLiteral("*\u00E9*") << QByteArray("\xC3" "x" "\xA9") << false;
        QTest::newRow("lead byte cut off at the end") << QStringLiteral("*\u00E9") << QByteArray("ab\xC3") << false;
        QTest::newRow("continuation byte alone at the start") << QStringLiteral("\u00E9*") << QByteArray("\xA9" "a") << false;
        QTest::newRow("after stray continuations") << QStringLiteral("*\u00E9") << QByteArray("\x80\x80\xC3\xA9") << true;
        // The decoder reads E0 83 A9 as U+00E9 and E0 81 81 as "A": there only it can tell.
        QTest::newRow("overlong, non-ASCII word") << QStringLiteral("*x\u00E9*") << QByteArray("x\xE0\x83\xA9") << true;
        QTest::newRow("overlong first character") << QStringLiteral("*\u00E9*") << QByteArray("x\xE0\x83\xA9") << false;
        QTest::newRow("overlong ASCII, word outside ASCII") << QStringLiteral("a\u00E9") << QByteArray("\xE0\x81\x81\xC3\xA9")
                                                            << true;
        QTest::newRow("overlong, four bytes") << QStringLiteral("*\u00E9") << QByteArray("\xF0\x80\x83\xA9") << true;
        QTest::newRow("overlong ASCII, ASCII word") << "*a*" << QByteArray("\xE0\x81\x81") << false;
    }
    void quickForms()
    {
        QFETCH(QString, pattern);
        QFETCH(QByteArray, text);
        QFETCH(bool, expected);
        const auto compiled = JetLike::compile(pattern);
        QCOMPARE(compiled->matchesGenerally(text.constData(), std::size_t(text.size())), expected);
        QCOMPARE(compiled->matches(text.constData(), std::size_t(text.size())), expected);
    }

    void quickFormsAgreeOnRandomText()
    {
        // Words in several languages, in either case or in part, against texts of them with
        // broken and overlong sequences among them.
        const QStringList words = QStringLiteral("the Ölwanne straße STRASSE été Ремонт σίσυφος ΣΊΣΥΦΟΣ İstanbul ıi \u212Aelvin "
                                                 "\u017Ftop \uFB01lter \u01C5emal \u2C65\u023A \u1E9E żółć \U0001F697 aab #1")
                                      .split(u' ');
        const QByteArray broken[] = {"\xC3", "\xA9", "\x80", "\xE0\x83\xA9", "\xE0\x81\x81", "\xF0\x80\x81\x81", "\xFF",
                                     "\xED\xA0\x80", "\xF4\x90\x80\x80"};
        QRandomGenerator random(20261209);
        const auto piece = [&] {
            const QString w = words[random.bounded(int(words.size()))];
            const int cut = random.bounded(int(w.size()));
            return std::array{w.toUpper(), w.toLower(), w.mid(cut), w.left(cut), w}[random.bounded(5)];
        };
        const char *const forms[] = {"*%1*", "%1*", "*%1", "%1"};
        for (int round = 0; round < 30000; ++round) {
            QByteArray text;
            for (int i = random.bounded(0, 12); i > 0; --i)
                text += random.bounded(8) ? (piece() + QLatin1Char(' ')).toUtf8() : broken[random.bounded(int(std::size(broken)))];
            const QString pattern = QString::fromLatin1(forms[random.bounded(4)]).arg(piece());
            const auto compiled = JetLike::compile(pattern);
            const bool general = compiled->matchesGenerally(text.constData(), std::size_t(text.size()));
            if (compiled->matches(text.constData(), std::size_t(text.size())) != general)
                QFAIL(qPrintable(QStringLiteral("pattern \"%1\" text %2: expected %3")
                                     .arg(pattern, QString::fromLatin1(text.toHex(' '))).arg(general)));
        }
    }

    // Whole words: a word that only begins or ends a longer one is no hit (the fault of
    // finding "sealant" for "seal"); words are cut as the index cuts them and letters
    // compared as like compares them.
    void wholeWords_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("match");
        QTest::newRow("the word") << "seal" << "a new seal, at last" << true;
        QTest::newRow("a longer word") << "seal" << "sealant and sealed seals" << false;
        QTest::newRow("inside a word") << "seal" << "unsealed" << false;
        QTest::newRow("any case") << "Seal" << "THE SEAL." << true;
        QTest::newRow("non-ASCII case") << "köln" << "back from KÖLN today" << true;
        QTest::newRow("non-ASCII is a word letter") << "koln" << "köln" << false;
        QTest::newRow("punctuation between") << "o-ring" << "an O-ring" << true;
        QTest::newRow("punctuation or blank alike") << "o-ring" << "the o ring" << true;
        QTest::newRow("not followed by more") << "o-ring" << "o-rings" << false;
        QTest::newRow("words in order") << "head gasket" << "the head gasket blew" << true;
        QTest::newRow("apart") << "head gasket" << "head and gasket" << false;
        QTest::newRow("at both ends") << "gasket" << "gasket" << true;
        QTest::newRow("digits are letters") << "2" << "part 2b and 22" << false;
        QTest::newRow("no word character") << "&" << "a & b" << false;
        QTest::newRow("reference in the stored text") << "bolts" << "Nuts &amp;bolts" << true;
        QTest::newRow("empty text") << "seal" << "" << false;
    }
    void wholeWords()
    {
        QFETCH(QString, words);
        QFETCH(QString, text);
        QFETCH(bool, match);
        const auto form = JetLike::wholeWords(words);
        QCOMPARE(form->matches(text), match);
        const QByteArray utf8 = text.toUtf8();
        QCOMPARE(form->matchesGenerally(utf8.constData(), std::size_t(utf8.size())), match);
        QVERIFY(!form->literalText());
    }

    void malformedPatternsAreRefused_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("lone [") << "[";
        QTest::newRow("unclosed set") << "[abc";
        QTest::newRow("unclosed after text") << "*word[";
        QTest::newRow("descending range") << "[z-a]";
        QTest::newRow("descending in negated set") << "*[!b-a]*";
        QTest::newRow("case does not reorder a range") << "[a-Z]";
    }
    void malformedPatternsAreRefused()
    {
        QFETCH(QString, pattern);
        QString error;
        QVERIFY(!JetLike::compile(pattern, &error));
        QVERIFY2(error.startsWith(QStringLiteral("Invalid pattern string")), qPrintable(error));
    }

    void literalTextOnlyForPlainPatterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("plain");
        QTest::newRow("digits") << "120" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("close bracket") << "a]" << true;
        QTest::newRow("star") << "12*" << false;
        QTest::newRow("question mark") << "1?" << false;
        QTest::newRow("hash") << "1#" << false;
        QTest::newRow("bracketed digit") << "[1]20" << false;
    }
    void literalTextOnlyForPlainPatterns()
    {
        QFETCH(QString, pattern);
        QFETCH(bool, plain);
        const auto compiled = JetLike::compile(pattern);
        QVERIFY(compiled);
        QCOMPARE(compiled->literalText().has_value(), plain);
        if (plain)
            QCOMPARE(*compiled->literalText(), pattern);
    }

    void literalHasNoWildcards()
    {
        const auto literal = JetLike::literal(QStringLiteral("a*[b]?#"));
        QVERIFY(literal->matches(QStringLiteral("A*[B]?#")));
        QVERIFY(!literal->matches(QStringLiteral("axbz1")));
        QVERIFY(!literal->matches(QStringLiteral("a*[b]?#x")));
        QVERIFY(JetLike::literal(QString())->matches(QString()));
    }

    void malformedUtf8IsSafe_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("lone lead byte is one character") << "?" << bytes("\xC3", 1) << true;
        QTest::newRow("lone continuation byte") << "?a" << bytes("\x80" "a", 2) << true;
        QTest::newRow("truncated sequence at the end") << "a??" << bytes("a\xE2\x82", 3) << true;
        QTest::newRow("bad bytes before a word") << "*a*" << bytes("\xFF\xFE" "a", 3) << true;
        QTest::newRow("tail after stray continuations") << "*ab" << bytes("\x80\x80\x80\x80" "ab", 6) << true;
        QTest::newRow("star takes anything") << "*" << bytes("\xF4\x90\x80\x80\xC0", 5) << true;
        QTest::newRow("bad byte is no letter") << "?" << bytes("\xC1", 1) << true;
        QTest::newRow("bad byte equals nothing") << QStringLiteral("é") << bytes("\xE9", 1) << false;
    }
    void malformedUtf8IsSafe()
    {
        QFETCH(QString, pattern);
        QFETCH(QByteArray, text);
        QFETCH(bool, expected);
        const auto compiled = JetLike::compile(pattern);
        QVERIFY(compiled);
        QCOMPARE(compiled->matches(text.constData(), std::size_t(text.size())), expected);
    }

    void randomBytesAreSafe()
    {
        // Broken sequences at every position, for the sanitizer builds to check the bounds.
        const char pieces[] = {'a', 'A', '1', '\x80', '\xBF', '\xC3', '\xA9', '\xE2', '\x82', '\xAC', '\xF0', '\x9F', '\xFF'};
        const QString patterns[] = {QStringLiteral("*a*"), QStringLiteral("*\u00e9*"), QStringLiteral("?*a"), QStringLiteral("*[!a]?"),
                                    QStringLiteral("a*#"), QStringLiteral("*\u20ac"), QStringLiteral("*?\u00e9?*"), QStringLiteral("[a-z]*?")};
        QRandomGenerator random(7);
        for (int round = 0; round < 20000; ++round) {
            QByteArray text;
            for (int i = random.bounded(0, 12); i > 0; --i)
                text += pieces[random.bounded(int(sizeof(pieces)))];
            const auto compiled = JetLike::compile(patterns[random.bounded(8)]);
            compiled->matches(text.constData(), std::size_t(text.size()));
            QVERIFY(JetLike::compile(QStringLiteral("*"))->matches(text.constData(), std::size_t(text.size())));
        }
    }

    void agreesWithBacktrackingOnRandomInput()
    {
        // The fast paths (byte-wise literals, anchored heads and tails, leftmost inner
        // segments) against a matcher that simply tries everything.
        const std::u32string textAlphabet = U"aAbB1-\u00e9\u00c9\u03c3\u03a3";
        const std::u32string patternAlphabet = U"aAbB1-\u00e9\u03c3*?#";
        const std::u32string sets[] = {U"[ab]", U"[!a]", U"[\u00e9x]", U"[!\u03a3]"};
        QRandomGenerator random(20240229);
        for (int round = 0; round < 20000; ++round) {
            std::u32string text;
            for (int i = random.bounded(0, 9); i > 0; --i)
                text += textAlphabet[random.bounded(int(textAlphabet.size()))];
            std::u32string pattern;
            for (int i = random.bounded(0, 7); i > 0; --i) {
                if (random.bounded(8) == 0)
                    pattern += sets[random.bounded(4)];
                else
                    pattern += patternAlphabet[random.bounded(int(patternAlphabet.size()))];
            }
            const QString p = QString::fromStdU32String(pattern);
            const QString t = QString::fromStdU32String(text);
            const auto compiled = JetLike::compile(p);
            QVERIFY(compiled);
            if (compiled->matches(t) != referenceMatch(pattern, text))
                QFAIL(qPrintable(QStringLiteral("pattern \"%1\" text \"%2\": expected %3")
                                     .arg(p, t).arg(referenceMatch(pattern, text))));
        }
    }

    void pathologicalInputEnds()
    {
        // Many stars against a long run that almost matches must not backtrack exponentially.
        const auto stars = JetLike::compile(QStringLiteral("*a*a*a*a*a*a*a*a*a*a*a*a*b"));
        QVERIFY(!stars->matches(QString(20000, u'a')));
        const auto sets = JetLike::compile(QStringLiteral("*[a-c]?[!x]#*[ab]*z"));
        QVERIFY(!sets->matches(QString(20000, u'a')));
        const QString longLiteral(10000, u'q');
        QVERIFY(JetLike::compile(u'*' + longLiteral + u'*')->matches(QStringLiteral("x") + longLiteral + QStringLiteral("y")));
        QVERIFY(!JetLike::compile(u'*' + longLiteral + u'*')->matches(QString(9999, u'q')));
    }

    void sqlFunction_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("expected");
        // Rows: 'Hello', NULL, 120, 12.5, '', 'héllo'
        QTest::newRow("text pattern") << "SELECT count(*) FROM t WHERE jetlike('h*o', v)" << 2;
        QTest::newRow("NULL text never matches") << "SELECT count(*) FROM t WHERE jetlike('*', v)" << 5;
        QTest::newRow("NULL pattern never matches") << "SELECT jetlike(NULL, 'x')" << 0;
        QTest::newRow("integer as decimal text") << "SELECT count(*) FROM t WHERE jetlike('12#', v)" << 1;
        QTest::newRow("real as decimal text") << "SELECT count(*) FROM t WHERE jetlike('12.5', v)" << 1;
        QTest::newRow("pattern per row") << "SELECT count(*) FROM t WHERE jetlike(v, v)" << 5;
        QTest::newRow("empty text") << "SELECT count(*) FROM t WHERE jetlike('', v)" << 1;
        QTest::newRow("blob as text") << "SELECT jetlike('a?c', x'614263')" << 1;
    }
    void sqlFunction()
    {
        QFETCH(QString, sql);
        QFETCH(int, expected);
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
        const auto closer = qScopeGuard([db] { sqlite3_close(db); });
        QVERIFY(JetLike::registerSqlFunction(db));
        QCOMPARE(sqlite3_exec(db, "CREATE TABLE t(v); INSERT INTO t VALUES ('Hello'), (NULL), (120), (12.5), (''), ('héllo')",
                              nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_stmt *stmt = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
        QCOMPARE(sqlite3_column_int(stmt, 0), expected);
        sqlite3_finalize(stmt);
    }

    void sqlFunctionReportsMalformedPattern()
    {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
        const auto closer = qScopeGuard([db] { sqlite3_close(db); });
        QVERIFY(JetLike::registerSqlFunction(db));
        char *message = nullptr;
        QCOMPARE(sqlite3_exec(db, "SELECT jetlike('[abc', 'a')", nullptr, nullptr, &message), SQLITE_ERROR);
        QVERIFY2(QByteArray(message).startsWith("Invalid pattern string"), message);
        sqlite3_free(message);
    }
};

QTEST_GUILESS_MAIN(TestJetLike)
#include "tst_jetlike.moc"
