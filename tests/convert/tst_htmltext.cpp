// SPDX-License-Identifier: GPL-3.0-or-later
// The text part of an exported message: the HTML laid out in lines as a browser shows it.
// Each row names the page and the text a mail program must show; the hostile rows are pages
// a careless writer would crash on, lose text of, or write past its buffer for. And the
// subject or author as shown, its references decoded.
#include "convert/htmltext.h"

#include <QTest>

namespace {

QByteArray repeated(const char *piece, int times)
{
    return QByteArray(piece).repeated(times);
}

}

class TestHtmlText : public QObject
{
    Q_OBJECT

private slots:
    void text_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QByteArray>("text");
        // Inline markup and the source's own line breaks.
        QTest::newRow("line breaks, source lines") << QByteArray("<tt>one<br>\ntwo <BR/>three\nfour</tt>")
                                                   << QByteArray("one\ntwo\nthree four\n");
        QTest::newRow("references") << QByteArray("Tom &amp; Sue &lt;ts@x&gt; &eacute;&#233;&#xE9; &#150; &euro;&nbsp;!")
                                    << QByteArray("Tom & Sue <ts@x> \xc3\xa9\xc3\xa9\xc3\xa9 \xe2\x80\x93 \xe2\x82\xac !\n");
        QTest::newRow("unknown and bare") << QByteArray("&bogus; & a<b &#0;") << QByteArray("&bogus; & a<b \xef\xbf\xbd\n");
        QTest::newRow("comments and tags") << QByteArray("<!-- <br> -->a<b>b</b><a href='x'>c</a>") << QByteArray("abc\n");
        QTest::newRow("nothing") << QByteArray("<tt></tt>") << QByteArray();
        QTest::newRow("inline elements join") << QByteArray("a<b>b</b><span>c</span> <i>d</i><font size=2>e</font>")
                                              << QByteArray("abc de\n");
        QTest::newRow("declarations") << QByteArray("<!DOCTYPE html><?xml version='1.0'?>a") << QByteArray("a\n");
        QTest::newRow("blanks collapse") << QByteArray("  a \n\t b  <p>  c  </p>  ") << QByteArray("a b\n\nc\n");
        QTest::newRow("no-break space at a line's end") << QByteArray("a&nbsp;<br>&nbsp;&nbsp;b") << QByteArray("a\n  b\n");

        // Blocks and paragraphs.
        QTest::newRow("paragraphs, block, items")
            << QByteArray("<p>First paragraph.</p><p>Second paragraph.</p><div>Third block</div><li>one</li><li>two</li>")
            << QByteArray("First paragraph.\n\nSecond paragraph.\n\nThird block\n- one\n- two\n");
        QTest::newRow("upper case, attributes") << QByteArray("<P CLASS=x>a</P><Div style='a:b'>b</dIV>c")
                                                << QByteArray("a\n\nb\nc\n");
        QTest::newRow("headings") << QByteArray("<h1>Title</h1>text<H3>Sub</H3>more") << QByteArray("Title\n\ntext\n\nSub\n\nmore\n");
        QTest::newRow("empty blocks add nothing") << QByteArray("<p></p><div> </div>a<p></p><p></p>b<div></div>")
                                                  << QByteArray("a\n\nb\n");
        QTest::newRow("br after a paragraph, one blank line")
            << QByteArray("<p>a</p><br><p>b</p>") << QByteArray("a\n\nb\n");
        QTest::newRow("many br, one blank line") << QByteArray("a<br><br><br><br>b") << QByteArray("a\n\nb\n");
        QTest::newRow("br in an empty block") << QByteArray("a<div><br>x</div>") << QByteArray("a\n\nx\n");
        QTest::newRow("br ending a block") << QByteArray("<div>a<br></div>b") << QByteArray("a\nb\n");
        QTest::newRow("end tag br") << QByteArray("a</br>b") << QByteArray("a\nb\n");
        QTest::newRow("other blocks") << QByteArray("a<address>ad</address>b<center>c</center>d<form>f</form>e")
                                      << QByteArray("a\nad\nb\nc\nd\nf\ne\n");
        QTest::newRow("definition list") << QByteArray("x<dl><dt>T</dt><dd>D</dd></dl>y") << QByteArray("x\n\nT\nD\n\ny\n");
        QTest::newRow("rule") << QByteArray("a<hr>b<hr/>") << QByteArray("a\n" + repeated("-", 40) + "\nb\n" + repeated("-", 40) + "\n");

        // Lists.
        QTest::newRow("list after a paragraph") << QByteArray("<p>Intro</p><ul><li>a</li><li>b</li></ul>after")
                                                << QByteArray("Intro\n\n- a\n- b\n\nafter\n");
        QTest::newRow("nested lists") << QByteArray("<ul><li>a<ul><li>b<ul><li>c</li></ul></li></ul></li><li>d</li></ul>")
                                      << QByteArray("- a\n  - b\n    - c\n- d\n");
        QTest::newRow("ordered, nested unordered") << QByteArray("<ol><li>x<ul><li>y</li></ul></li><li>z</li></ol>")
                                                   << QByteArray("1. x\n  - y\n2. z\n");
        QTest::newRow("item lines after the first") << QByteArray("<ul><li>one<br>two</li></ul>")
                                                    << QByteArray("- one\n  two\n");
        QTest::newRow("items without end tags") << QByteArray("<ul><li>a<li>b</ul>c") << QByteArray("- a\n- b\n\nc\n");

        // Quotes.
        QTest::newRow("quote lines") << QByteArray("<blockquote>x<br>y</blockquote>") << QByteArray("> x\n> y\n");
        QTest::newRow("quote in a quote")
            << QByteArray("a<blockquote>q1<blockquote>q2</blockquote>q3</blockquote>b")
            << QByteArray("a\n\n> q1\n>\n> > q2\n>\n> q3\n\nb\n");
        QTest::newRow("paragraphs in a quote") << QByteArray("<blockquote><p>p1</p><p>p2</p></blockquote>")
                                               << QByteArray("> p1\n>\n> p2\n");
        QTest::newRow("list in a quote") << QByteArray("<blockquote><ul><li>a</li></ul></blockquote>") << QByteArray("> - a\n");

        // Preformatted text.
        QTest::newRow("pre keeps blanks and lines") << QByteArray("x<pre>\n  a  b\n\n\n\nc\td</pre>y")
                                                    << QByteArray("x\n\n  a  b\n\nc\td\n\ny\n");
        QTest::newRow("pre with CR LF") << QByteArray("<pre>\r\na\r\n b</pre>") << QByteArray("a\n b\n");
        QTest::newRow("pre in a quote") << QByteArray("<blockquote><pre>a\n b</pre></blockquote>") << QByteArray("> a\n>  b\n");
        QTest::newRow("pre, tags and references inside") << QByteArray("<pre><b>x</b> &lt;y&gt;</pre>") << QByteArray("x <y>\n");

        // Tables.
        QTest::newRow("cells and rows") << QByteArray("<table><tr><td>Cell</td><td>A</td></tr><tr><th>B</th></tr></table>")
                                        << QByteArray("Cell\tA\nB\n");
        QTest::newRow("empty cells keep their place") << QByteArray("<tr><td>a</td><td></td><td>b</td><td> </td></tr>")
                                                      << QByteArray("a\t\tb\n");
        QTest::newRow("first cell empty") << QByteArray("<table><tr><td></td><td>b</td></tr></table>") << QByteArray("\tb\n");
        QTest::newRow("layout table") << QByteArray("<table><tr><td><p>one</p><p>two</p></td></tr></table>after")
                                      << QByteArray("one\n\ntwo\n\nafter\n");

        // What is not shown.
        QTest::newRow("head, style, script")
            << QByteArray("<html><head><title>T</title><style>p{color:red}</style></head>"
                          "<body>Hi<script>if(a<b)x('</p>')</script> there</body></html>")
            << QByteArray("Hi there\n");
        QTest::newRow("end tags in any case") << QByteArray("<STYLE>x</Style >y<script>z</SCRIPT>") << QByteArray("y\n");
        QTest::newRow("a longer name is not the end") << QByteArray("<style>a</styles>b</style>c") << QByteArray("c\n");
        // A break or blank written as a reference is laid out as one written plainly, so it
        // cannot leave a line of bare indent or bypass the quote marks.
        QTest::newRow("break references outside pre") << QByteArray("a&#10;&#13;&#x9;b&#32; &#12;c") << QByteArray("a b c\n");
        QTest::newRow("break references in pre") << QByteArray("<blockquote><pre>a&#10;b&#xa;c</pre></blockquote>")
                                                 << QByteArray("> a\n> b\n> c\n");
        QTest::newRow("break reference in a list") << QByteArray("<ul><li><pre>x&#10;&#10;&#10;y</pre></ul>")
                                                   << QByteArray("- x\n\n  y\n");
    }
    void text()
    {
        QFETCH(QByteArray, html);
        QFETCH(QByteArray, text);
        QCOMPARE(HtmlText::toPlainText(html), text);
    }

    // Pages that are no good HTML: nothing may be lost that a browser shows, nothing written
    // past the text's buffer (the text can be longer than the page), and no depth of nesting
    // may make the text grow with the square of the page.
    void hostile_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("lone <") << QByteArray("<") << QByteArray("<\n");
        QTest::newRow("< at the end") << QByteArray("a <") << QByteArray("a <\n");
        QTest::newRow("unclosed tag") << QByteArray("x<p") << QByteArray("x<p\n");
        QTest::newRow("empty end tag") << QByteArray("</>a") << QByteArray("</>a\n");
        QTest::newRow("unclosed comment") << QByteArray("a<!-- b") << QByteArray("a\n");
        QTest::newRow("lone &") << QByteArray("&") << QByteArray("&\n");
        QTest::newRow("ends never begun") << QByteArray("</blockquote></ul></ol></pre></li></table>a<li>b")
                                          << QByteArray("a\n- b\n");
        QTest::newRow("unclosed script hides the rest") << QByteArray("a<script>b<p>c") << QByteArray("a\n");
        QTest::newRow("name too long for any element") << QByteArray("a<blockquotes>b") << QByteArray("ab\n");
        QTest::newRow("10,000 nested quotes")
            << repeated("<blockquote>", 10000) + "x" << repeated("> ", 32) + "x\n";
        QTest::newRow("10,000 nested lists")
            << repeated("<ul><li>", 10000) + "x" << repeated("  ", 31) + "- x\n";
        QByteArray quoteLines = "> x\n";
        for (int depth = 2; depth <= 40; ++depth)
            quoteLines += repeated("> ", std::min(depth - 1, 32) - 1) + ">\n" + repeated("> ", std::min(depth, 32)) + "x\n";
        QTest::newRow("text at every depth") << repeated("<blockquote>x", 40) << quoteLines;
        QByteArray rules;
        for (int k = 0; k < 1000; ++k)
            rules += repeated("-", 40) + '\n';
        QTest::newRow("rules, ten times the page") << repeated("<hr>", 1000) << rules;
        QByteArray numbered;
        for (int k = 1; k <= 20000; ++k)
            numbered += QByteArray::number(k) + ". x\n";
        QTest::newRow("numbers longer than the items") << "<ol>" + repeated("<li>x", 20000) << numbered;
        QTest::newRow("10,000 cells") << "<tr>" + repeated("<td>", 10000) + "x" << repeated("\t", 9999) + "x\n";
        QTest::newRow("huge pre") << "<pre>" + repeated(" a \n", 200000) << repeated(" a\n", 200000);
        QTest::newRow("huge pre of blank lines") << "<pre>a" + repeated("\n \t", 100000) + "b" << QByteArray("a\n\n \tb\n");
        QTest::newRow("only tags") << repeated("<p><div><td><tr><li><blockquote></blockquote>", 5000) << QByteArray();
    }
    void hostile()
    {
        QFETCH(QByteArray, html);
        QFETCH(QByteArray, text);
        const QByteArray shown = HtmlText::toPlainText(html);
        if (shown.size() > 200) {
            // A short report of where they part rather than pages of both.
            qsizetype at = 0;
            while (at < shown.size() && at < text.size() && shown[at] == text[at])
                ++at;
            QVERIFY2(shown == text, qPrintable(QStringLiteral("differ from byte %1 of %2 (expected %3): %4")
                                                   .arg(at)
                                                   .arg(shown.size())
                                                   .arg(text.size())
                                                   .arg(QString::fromUtf8(shown.mid(std::max<qsizetype>(0, at - 20), 60)))));
        } else {
            QCOMPARE(shown, text);
        }
    }

    // Runs of words are taken many bytes at a time: whatever ends a run (markup, a reference,
    // a second blank, a line break, a blank before the end) must end it wherever it falls.
    void runsEndWhereverTheirEndFalls_data()
    {
        QTest::addColumn<QByteArray>("stop");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("tag") << QByteArray("<b>") << QByteArray();
        QTest::newRow("line break tag") << QByteArray("<br>") << QByteArray("\n");
        QTest::newRow("reference") << QByteArray("&amp;") << QByteArray("&");
        QTest::newRow("two blanks") << QByteArray("  ") << QByteArray(" ");
        QTest::newRow("blank and line break") << QByteArray(" \r\n") << QByteArray(" ");
        QTest::newRow("tab") << QByteArray("\t") << QByteArray(" ");
        QTest::newRow("form feed") << QByteArray("\f") << QByteArray(" ");
        QTest::newRow("single blank") << QByteArray(" ") << QByteArray(" ");
    }
    void runsEndWhereverTheirEndFalls()
    {
        QFETCH(QByteArray, stop);
        QFETCH(QByteArray, shown);
        for (int before = 1; before <= 40; ++before) {
            for (const int after : {0, 1, 15, 16, 17, 40}) {
                const QByteArray words = QByteArray(before, 'a') + stop + QByteArray(after, 'b');
                QByteArray expected = QByteArray(before, 'a') + shown + QByteArray(after, 'b');
                while (expected.endsWith(' ') || expected.endsWith('\n'))
                    expected.chop(1);
                QCOMPARE(HtmlText::toPlainText(words), expected + '\n');
            }
        }
    }

    // References the group's pages wrote are decoded for display; what is not a whole
    // reference to a character is shown as written, never dropped.
    void shownFields_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ampersand") << "Nuts &amp; bolts" << "Nuts & bolts";
        QTest::newRow("angles") << "&lt;none&gt;" << "<none>";
        QTest::newRow("quotes") << "&quot;Zed&quot; &#39;z&#39;" << "\"Zed\" 'z'";
        QTest::newRow("numeric, both forms") << "&#233;&#xE9;&#XE9;" << "\u00e9\u00e9\u00e9";
        QTest::newRow("128-159 as Windows-1252") << "a &#150; b &#128;" << "a \u2013 b \u20ac";
        QTest::newRow("named beyond the five") << "caf&eacute; &euro;" << "caf\u00e9 \u20ac";
        QTest::newRow("decoded once") << "&amp;amp;" << "&amp;";
        QTest::newRow("no semicolon") << "Q&amp A &#233 x" << "Q&amp A &#233 x";
        QTest::newRow("not hex") << "&#xZZ;" << "&#xZZ;";
        QTest::newRow("NUL") << "&#0;" << "&#0;";
        QTest::newRow("past the last code point") << "&#1114112;" << "&#1114112;";
        QTest::newRow("surrogate") << "&#xD800;" << "&#xD800;";
        QTest::newRow("unknown name") << "&bogus; &" << "&bogus; &";
        QTest::newRow("no reference") << "plain" << "plain";
    }
    void shownFields()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QCOMPARE(HtmlText::shownField(stored), shown);
        QCOMPARE(HtmlText::shownField(QByteArrayView(stored.toUtf8())), shown);
    }
};

QTEST_GUILESS_MAIN(TestHtmlText)
#include "tst_htmltext.moc"
